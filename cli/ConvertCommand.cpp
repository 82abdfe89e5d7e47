// pellaro-cli convert: the export run without windows. The data file is opened
// directly (the profile is left alone), the contact folders are chosen as the
// main window's tree would tick them, and the run is the one the export
// window starts.

#include "cli/Command.h"
#include "export/BookCreation.h"
#include "export/ConversionDriver.h"
#include "export/OutputFile.h"
#include "source/FolderTree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char ConvertUsage[] = "usage: pellaro-cli convert FILE.pst (--new-book DIR | --into BOOK) [--folder PATH]...\n"
                            "                           [--report FILE.csv]\n"
                            "\n"
                            "Copies the contacts and distribution lists of the Outlook data file FILE.pst\n"
                            "into an address book: every contact becomes a Person document filed in\n"
                            "\"Outlook Contacts\", every distribution list a Group document filed in\n"
                            "\"Outlook Groups\". The data file is only read; the profile is not touched.\n"
                            "\n"
                            "  --new-book DIR  Creates a new address book in DIR/Lotus Notes Address Book/\n"
                            "                  (made when missing), named names<dd-mm-yyyy-h-m-s>.nsf, and\n"
                            "                  prints its full path on standard output. DIR must exist.\n"
                            "  --into BOOK     Adds the documents to the existing address book BOOK.\n"
                            "  --folder PATH   Converts only the contact folder PATH, written as the folder\n"
                            "                  tree shows it below the top of the store, names joined with\n"
                            "                  \"\\\" (Contacts\\Friends). May be given more than once.\n"
                            "                  Without it every contact folder is converted.\n"
                            "  --report FILE.csv\n"
                            "                  Writes one row for every item walked: folder, position,\n"
                            "                  class, name, outcome (written or failed) and reason, as\n"
                            "                  CSV (RFC 4180, UTF-8, a header row first). FILE.csv is\n"
                            "                  replaced only once the run has walked every folder.\n"
                            "\n"
                            "Progress is drawn on standard error when it is a terminal. At the end one\n"
                            "line on standard error: \"N persons, M groups written, K items failed\",\n"
                            "then one line for each item or folder that failed, with its cause:\n"
                            "\"Contacts\\Friends #12 (Ann Lee): <reason>\" (the first 20, then\n"
                            "\"... and N more\").\n"
                            "\n"
                            "Exit status: 0 when everything was written; 1 when some items could not be\n"
                            "read or written; 2 when the data file or the destination cannot be opened\n"
                            "(nothing is written then; a file that is not an address book is never\n"
                            "changed).\n";

int usageError(const QString& what)
{
    std::fprintf(stderr, "pellaro-cli convert: %s\n\n%s", what.toUtf8().constData(), ConvertUsage);
    return ExitBadInput;
}

int badInput(const QString& what)
{
    std::fprintf(stderr, "pellaro-cli convert: %s\n", what.toUtf8().constData());
    return ExitBadInput;
}

QByteArray display(const QString& path)
{
    return QFile::encodeName(path);
}

// Failure lines printed after the summary; the rest are counted.
constexpr qsizetype FailureLinesShown = 20;

// One field of a CSV row (RFC 4180): quoted when it holds a comma, a quote,
// a line break or blanks at its ends; quotes inside doubled. A text that a
// spreadsheet would take for a formula (starting with = + - @, a tab or a
// carriage return) gets an apostrophe in front, so that a name in a data
// file is shown, never run.
QByteArray csvField(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.isEmpty() && QByteArrayView("=+-@\t\r").contains(bytes.front()))
        bytes.prepend('\'');
    const bool quote = bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r')
        || (!bytes.isEmpty() && (bytes.front() == ' ' || bytes.back() == ' '));
    if (!quote)
        return bytes;
    bytes.replace("\"", "\"\"");
    return '"' + bytes + '"';
}

// The --report file: one row for every item walked, written through an
// unnamed file that takes FILE's name only when the run is complete.
class ItemReportFile {
public:
    // Throws OutputFileError.
    explicit ItemReportFile(const QString& path)
        : file_(path)
    {
        buffer_ = "folder,position,class,name,outcome,reason\r\n";
    }

    // Throws OutputFileError.
    void add(const ItemReport& item)
    {
        const QList<QByteArray> fields = {csvField(item.folder),
                                          QByteArray::number(item.position),
                                          csvField(item.messageClass),
                                          csvField(item.name),
                                          item.written ? QByteArray("written") : QByteArray("failed"),
                                          csvField(item.reason)};
        buffer_ += fields.join(',') + "\r\n";
        if (buffer_.size() >= 64 * 1024) {
            file_.write(buffer_);
            buffer_.clear();
        }
    }

    // Throws OutputFileError.
    void commit()
    {
        file_.write(buffer_);
        buffer_.clear();
        file_.commit(true);
    }

private:
    OutputFile file_;
    QByteArray buffer_;
};

// The run's progress on the command line: a bar on standard error when it is
// a terminal, and the rows of the report when one is asked for.
class ConsoleProgress : public ExportProgress {
public:
    explicit ConsoleProgress(ItemReportFile* report)
        : report_(report)
        , drawing_(::isatty(STDERR_FILENO) == 1)
    {
        clock_.start();
    }

    ~ConsoleProgress() override { Finish(); }

    void FolderStarted(const QString& name) override
    {
        header_ = name;
        Draw(true);
    }
    void ItemStarted(qint64 position, qint64 count, const QString&) override
    {
        if (count < 0)
            return;
        position_ = position;
        count_ = count;
        Draw(position_ == count_);
    }
    void ItemDone(const ItemReport& item) override
    {
        if (!report_ || !reportProblem_.isEmpty())
            return;
        try {
            report_->add(item);
        } catch (const OutputFileError& e) {
            reportProblem_ = QString::fromUtf8(e.what());
        }
    }

    // Why the report could not be written; empty while it can.
    const QString& reportProblem() const { return reportProblem_; }

    // Clears the bar, leaving the terminal's line empty.
    void Finish()
    {
        if (drawing_ && drawn_) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
            drawn_ = false;
        }
    }

private:
    void Draw(bool force)
    {
        if (!drawing_)
            return;
        // A few redraws a second are plenty; the last item of a folder always.
        if (!force && clock_.elapsed() - lastDraw_ < 100)
            return;
        lastDraw_ = clock_.elapsed();
        constexpr int Width = 30;
        const int filled = count_ > 0 ? int(position_ * Width / count_) : 0;
        std::string bar(std::size_t(filled), '#');
        bar.append(std::size_t(Width - filled), '.');
        QString name = header_;
        if (name.size() > 30)
            name = name.left(29) + QChar(0x2026);
        std::fprintf(stderr, "\r\033[K%s [%s] %lld/%lld", name.toUtf8().constData(), bar.c_str(),
                     static_cast<long long>(position_), static_cast<long long>(count_));
        std::fflush(stderr);
        drawn_ = true;
    }

    ItemReportFile* report_;
    QString reportProblem_;
    bool drawing_;
    bool drawn_ = false;
    QString header_;
    qint64 position_ = 0;
    qint64 count_ = 0;
    QElapsedTimer clock_;
    qint64 lastDraw_ = -1000;
};

struct Options {
    QString source;
    QString newBookDir;
    QString intoBook;
    QStringList folders;
    QString report;
};

// The folder the new book will be made in must exist and take new files.
QString checkNewBookFolder(const QString& dir)
{
    const QFileInfo picked(dir);
    if (!picked.isDir())
        return QStringLiteral("%1: no such folder").arg(dir);
    const QFileInfo bookFolder(QDir(dir).filePath(QStringLiteral("Lotus Notes Address Book")));
    if (bookFolder.exists() && !bookFolder.isDir())
        return QStringLiteral("%1: exists and is not a folder").arg(bookFolder.filePath());
    const QFileInfo& target = bookFolder.exists() ? bookFolder : picked;
    if (!target.isWritable())
        return QStringLiteral("%1: cannot create files in this folder").arg(target.filePath());
    return QString();
}

int convert(const QStringList& args)
{
    Options o;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& into) {
            if (i + 1 >= args.size())
                return false;
            into = args[++i];
            return true;
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(ConvertUsage, stdout);
            return ExitOk;
        } else if (a == QLatin1String("--new-book")) {
            if (!o.newBookDir.isEmpty() || !value(o.newBookDir) || o.newBookDir.isEmpty())
                return usageError(QStringLiteral("--new-book takes one folder"));
        } else if (a == QLatin1String("--into")) {
            if (!o.intoBook.isEmpty() || !value(o.intoBook) || o.intoBook.isEmpty())
                return usageError(QStringLiteral("--into takes one address book"));
        } else if (a == QLatin1String("--folder")) {
            QString path;
            if (!value(path) || path.isEmpty())
                return usageError(QStringLiteral("--folder takes a folder path"));
            o.folders.append(path);
        } else if (a == QLatin1String("--report")) {
            if (!o.report.isEmpty() || !value(o.report) || o.report.isEmpty())
                return usageError(QStringLiteral("--report takes one file"));
        } else if (a.startsWith(u'-') && a.size() > 1) {
            return usageError(QStringLiteral("unknown option %1").arg(a));
        } else if (o.source.isEmpty()) {
            o.source = a;
        } else {
            return usageError(QStringLiteral("one data file only"));
        }
    }
    if (o.source.isEmpty())
        return usageError(QStringLiteral("missing the data file"));
    if (o.newBookDir.isEmpty() == o.intoBook.isEmpty())
        return usageError(QStringLiteral("give either --new-book DIR or --into BOOK"));

    // The source first: a file that cannot be read leaves the destination alone.
    std::vector<source::FolderNode> nodes;
    try {
        const outlook::RDOStore store = outlook::RDOSession::OpenPstFile(o.source);
        nodes = source::FolderTreeNodes(store);
    } catch (const outlook::OutlookError& e) {
        return badInput(
            QStringLiteral("%1: cannot open the Outlook data file (%2)").arg(o.source, QString::fromUtf8(e.what())));
    }

    // Every contact folder, as the tree ticks them all, or the ones named,
    // in tree order either way.
    QStringList selected;
    for (const QString& wanted : o.folders) {
        const bool known = std::any_of(nodes.begin(), nodes.end(), [&](const source::FolderNode& n) {
            return !n.reference.isEmpty() && n.path == wanted;
        });
        if (!known)
            return badInput(QStringLiteral("%1: no contact folder %2").arg(o.source, wanted));
    }
    for (const source::FolderNode& n : nodes) {
        if (n.reference.isEmpty())
            continue;
        if (o.folders.isEmpty() || o.folders.contains(n.path))
            selected.append(n.reference);
    }

    const bool newBook = !o.newBookDir.isEmpty();
    // The run takes the existing book's path without leading and trailing
    // blanks: that is the name checked here, and one that differs from the
    // name given is refused rather than another book written to.
    const QString intoBook = newBook ? QString() : QFileInfo(o.intoBook).absoluteFilePath();
    if (!newBook && intoBook.trimmed() != intoBook)
        return badInput(QStringLiteral("%1: an address book name cannot begin or end with a blank").arg(o.intoBook));
    if (!newBook) {
        const QString refused = ExistingBookProblem(intoBook);
        if (!refused.isEmpty())
            return badInput(QStringLiteral("%1: %2").arg(o.intoBook, refused));
    } else if (const QString problem = checkNewBookFolder(o.newBookDir); !problem.isEmpty()) {
        return badInput(problem);
    }

    // The report file is made before anything is written: a report that
    // cannot be written stops the run before it starts.
    std::unique_ptr<ItemReportFile> report;
    if (!o.report.isEmpty()) {
        if (QFileInfo(o.report).isDir())
            return badInput(QStringLiteral("%1: is a folder").arg(o.report));
        try {
            report = std::make_unique<ItemReportFile>(QFileInfo(o.report).absoluteFilePath());
        } catch (const OutputFileError& e) {
            return badInput(QString::fromUtf8(e.what()));
        }
    }

    FileStoreAccess store(o.source);
    ConsoleProgress progress(report.get());
    ExportRequest request;
    request.store = &store;
    request.folders = selected;
    if (newBook)
        request.destination = {ExportDestination::NewBook, QFileInfo(o.newBookDir).absoluteFilePath()};
    else
        request.destination = {ExportDestination::ExistingBook, intoBook};
    request.progress = &progress;
    const ExportOutcome outcome = RunExport(request);
    progress.Finish();

    switch (outcome.stop) {
    case ExportOutcome::Ran:
        break;
    case ExportOutcome::StoreNotOpened:
        return badInput(QStringLiteral("%1: cannot open the Outlook data file (%2)").arg(o.source, outcome.stopReason));
    case ExportOutcome::BookRefused:
        return badInput(QStringLiteral("%1: %2").arg(o.intoBook, outcome.stopReason));
    case ExportOutcome::BookFolderFailed:
        return badInput(QStringLiteral("%1: the address book cannot be created here (%2)")
                            .arg(outcome.bookFolder, outcome.stopReason));
    case ExportOutcome::BookDesignMissing:
        return badInput(booktexts::NotesNotConfigured + QStringLiteral(" (%1)").arg(outcome.stopReason));
    }

    if (newBook)
        std::fprintf(stdout, "%s\n", display(outcome.bookPath).constData());
    std::fflush(stdout);
    std::fprintf(stderr, "%lld persons, %lld groups written, %lld items failed\n",
                 static_cast<long long>(outcome.personsWritten), static_cast<long long>(outcome.groupsWritten),
                 static_cast<long long>(outcome.itemsFailed));
    if (outcome.foldersFailed() > 0)
        std::fprintf(stderr, "%lld folders could not be opened\n", static_cast<long long>(outcome.foldersFailed()));

    // Which folders and items failed, and why: folders first, then items in
    // the order walked.
    QStringList lines;
    for (const FolderFailure& f : outcome.folderFailures)
        lines.append(FailureLine(f));
    for (const ItemReport& item : outcome.failures)
        lines.append(FailureLine(item));
    for (qsizetype i = 0; i < lines.size() && i < FailureLinesShown; ++i)
        std::fprintf(stderr, "%s\n", lines[i].toUtf8().constData());
    if (lines.size() > FailureLinesShown)
        std::fprintf(stderr, "... and %lld more\n", static_cast<long long>(lines.size() - FailureLinesShown));

    if (report) {
        QString problem = progress.reportProblem();
        if (problem.isEmpty()) {
            try {
                report->commit();
            } catch (const OutputFileError& e) {
                problem = QString::fromUtf8(e.what());
            }
        }
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "pellaro-cli convert: the report was not written: %s\n", problem.toUtf8().constData());
            return ExitFailure;
        }
    }
    return outcome.complete() ? ExitOk : ExitFailure;
}

const CommandRegistration registration({"convert", "copy the contacts and lists of a .pst file into an address book",
                                        convert});

}  // namespace
