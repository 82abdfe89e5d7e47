// pellaro-cli convert: the export run without windows. The data files are
// opened directly (the profile is left alone), the contact folders of each are
// chosen as the main window's tree would tick them, and each file's run is the
// one the export window starts, all into one book.

#include "cli/Command.h"
#include "cli/DataFiles.h"
#include "export/FolderCreation.h"
#include "export/BookCreation.h"
#include "export/ConversionDriver.h"
#include "export/OutputFile.h"
#include "source/FolderTree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char ConvertUsage[] = "usage: pellaro-cli convert FILE.pst... (--new-book DIR | --into BOOK) [--folder PATH]...\n"
                            "                           [--report FILE.csv] [--password-file FILE] [--codepage CP]\n"
                            "\n"
                            "Copies the contacts and distribution lists of the Outlook data files FILE.pst\n"
                            "into one address book: every contact becomes a Person document filed in\n"
                            "\"Outlook Contacts\", every distribution list a Group document filed in\n"
                            "\"Outlook Groups\". The files are converted in the order given; they are only\n"
                            "read, and the profile is not touched.\n"
                            "\n"
                            "  --new-book DIR  Creates a new address book in DIR/Lotus Notes Address Book/\n"
                            "                  (made when missing), named names<dd-mm-yyyy-h-m-s>.nsf, and\n"
                            "                  prints its full path on standard output. DIR must exist.\n"
                            "  --into BOOK     Adds the documents to the existing address book BOOK.\n"
                            "  --folder PATH   Converts only the contact folder PATH of each file, written\n"
                            "                  as the folder tree shows it below the top of the store, names\n"
                            "                  joined with \"\\\" (Contacts\\Friends). May be given more than\n"
                            "                  once. Without it every contact folder is converted.\n"
                            "  --report FILE.csv\n"
                            "                  Writes one row for every item walked: data file, folder,\n"
                            "                  position, class, name, outcome (written or failed) and reason,\n"
                            "                  as CSV (RFC 4180, UTF-8, a header row first). FILE.csv is\n"
                            "                  replaced only once the run has walked every folder.\n"
                            "  --password-file FILE\n"
                            "                  Passwords of protected data files, one a line; each is tried\n"
                            "                  on each protected file. Without it a protected file's password\n"
                            "                  is asked at the terminal (not shown as it is typed), when\n"
                            "                  standard input is one.\n"
                            "  --codepage CP   The code page of 8-bit text that tells none of its own and\n"
                            "                  whose file names no language (932, cp1251, windows-1253, ...).\n"
                            "\n"
                            "Progress is drawn on standard error when it is a terminal. Contacts and lists\n"
                            "kept in folders that are not contact folders are not converted; a line on\n"
                            "standard error tells how many there are, and where. At the end one line on\n"
                            "standard error: \"N persons, M groups written, K items failed\", then one line\n"
                            "for each item or folder that failed, with its cause:\n"
                            "\"Contacts\\Friends #12 (Ann Lee): <reason>\" (the first 20, then\n"
                            "\"... and N more\"); with several data files each line begins with the file.\n"
                            "\n"
                            "Exit status: 0 when everything was written; 1 when some items could not be\n"
                            "read or written, or one of several data files could not be opened (it is\n"
                            "named with its cause; the others are converted); 2 when the data file (every\n"
                            "one of them) or the destination cannot be opened, or a protected file's\n"
                            "password is missing or wrong (nothing is written then; a file that is not an\n"
                            "address book is never changed).\n";

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
        buffer_ = "file,folder,position,class,name,outcome,reason\r\n";
    }

    // Throws OutputFileError.
    void add(const QString& dataFile, const ItemReport& item)
    {
        const QList<QByteArray> fields = {csvField(dataFile),
                                          csvField(item.folder),
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

    // The data file whose items are told next, as the report names it.
    void SetDataFile(const QString& dataFile) { dataFile_ = dataFile; }

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
            report_->add(dataFile_, item);
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
    QString dataFile_;
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
    QStringList sources;
    QString newBookDir;
    QString intoBook;
    QStringList folders;
    QString report;
    QString passwordFile;
    QString codepage;
};

// One data file of the run, once opened.
struct DataFile {
    QString path;  // as given
    QStringList selected;  // references of the folders to convert, in tree order
};

// The folder the new book will be made in must exist and take new files.
QString checkNewBookFolder(const QString& dir)
{
    const QFileInfo picked(dir);
    if (!picked.isDir())
        return QStringLiteral("%1: no such folder").arg(dir);
    const QFileInfo bookFolder(exporting::NewBookFolder(dir).chopped(1));
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
        } else if (a == QLatin1String("--password-file")) {
            if (!o.passwordFile.isEmpty() || !value(o.passwordFile) || o.passwordFile.isEmpty())
                return usageError(QStringLiteral("--password-file takes one file"));
        } else if (a == QLatin1String("--codepage")) {
            if (!o.codepage.isEmpty() || !value(o.codepage) || o.codepage.isEmpty())
                return usageError(QStringLiteral("--codepage takes one code page"));
        } else if (a.startsWith(u'-') && a.size() > 1) {
            return usageError(QStringLiteral("unknown option %1").arg(a));
        } else {
            o.sources.append(a);
        }
    }
    if (o.sources.isEmpty())
        return usageError(QStringLiteral("missing the data file"));
    if (o.newBookDir.isEmpty() == o.intoBook.isEmpty())
        return usageError(QStringLiteral("give either --new-book DIR or --into BOOK"));
    if (!o.codepage.isEmpty()) {
        QString problem;
        if (!cli::UseCodepage(o.codepage, problem))
            return usageError(problem);
    }
    QStringList passwords;
    if (!o.passwordFile.isEmpty()) {
        QString problem;
        if (!cli::ReadPasswordFile(o.passwordFile, passwords, problem))
            return badInput(problem);
    }
    cli::DataFileOpener opener(o.passwordFile, std::move(passwords));

    // The sources first: nothing is written before every file has been tried.
    // A password missing or wrong stops the run here, so that it can be
    // given; of several files, one that cannot be opened for another cause is
    // named and left out.
    const bool several = o.sources.size() > 1;
    auto lineOf = [several](const QString& path, const QString& what) {
        return several ? path + QStringLiteral(": ") + what : what;
    };
    std::vector<DataFile> files;
    QStringList sourceLines;  // what the opening has to tell, printed once the run goes ahead
    qint64 filesUnopened = 0;
    qint64 foldersMissing = 0;
    QSet<QString> foldersFound;
    for (const QString& path : o.sources) {
        std::vector<source::FolderNode> nodes;
        DataFile file{path, {}};
        try {
            const outlook::RDOStore store = opener.Open(path);
            nodes = source::FolderTreeNodes(store);
            if (nodes.size() <= 1)
                sourceLines.append(
                    lineOf(path, QStringLiteral("holds no contact folders; nothing of it is converted")));
            // Counting what the tree leaves out reads the contents tables of
            // every other folder; a folder that cannot be read there costs
            // the count, not the conversion.
            try {
                const QString stray = source::StrayItemsLine(store.ContactsInOtherFolders());
                if (!stray.isEmpty())
                    sourceLines.append(lineOf(path, stray));
            } catch (const outlook::OutlookError& e) {
                sourceLines.append(lineOf(path,
                                          QStringLiteral("contacts in folders that are not contact folders "
                                                         "could not be counted (%1)")
                                              .arg(QString::fromUtf8(e.what()))));
            }
        } catch (const outlook::OutlookError& e) {
            if (cli::IsPasswordProblem(e))
                return badInput(opener.PasswordProblem(path, e));
            const QString line
                = QStringLiteral("%1: cannot open the Outlook data file (%2)").arg(path, QString::fromUtf8(e.what()));
            if (!several)
                return badInput(line);
            sourceLines.append(QStringLiteral("pellaro-cli convert: ") + line);
            ++filesUnopened;
            continue;
        }
        // Every contact folder, as the tree ticks them all, or the ones
        // named, in tree order either way.
        for (const source::FolderNode& n : nodes) {
            if (n.reference.isEmpty())
                continue;
            if (o.folders.isEmpty() || o.folders.contains(n.path)) {
                file.selected.append(n.reference);
                foldersFound.insert(n.path);
            }
        }
        for (const QString& wanted : o.folders) {
            const bool known = std::any_of(nodes.begin(), nodes.end(), [&](const source::FolderNode& n) {
                return !n.reference.isEmpty() && n.path == wanted;
            });
            if (!known && several) {
                sourceLines.append(QStringLiteral("%1: no contact folder %2").arg(path, wanted));
                ++foldersMissing;
            }
        }
        files.push_back(std::move(file));
    }
    if (files.empty()) {
        for (const QString& line : sourceLines)
            std::fprintf(stderr, "%s\n", line.toUtf8().constData());
        return ExitBadInput;
    }
    for (const QString& wanted : o.folders) {
        if (!foldersFound.contains(wanted))
            return badInput(several ? QStringLiteral("no data file has a contact folder %1").arg(wanted)
                                    : QStringLiteral("%1: no contact folder %2").arg(o.sources.first(), wanted));
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

    for (const QString& line : sourceLines)
        std::fprintf(stderr, "%s\n", line.toUtf8().constData());

    // One run per data file, in the order given, into one book: the first
    // run of a new book makes it, the later ones add to it.
    ConsoleProgress progress(report.get());
    QString book = intoBook;
    bool ran = false;  // a run reached its folders: something may be written
    QString stoppedBy;  // why a later run could not use the book
    qint64 persons = 0;
    qint64 groups = 0;
    qint64 itemsFailed = 0;
    qint64 foldersFailed = 0;
    bool complete = filesUnopened == 0 && foldersMissing == 0;
    QStringList lines;
    for (const DataFile& file : files) {
        FileStoreAccess store(file.path);
        progress.SetDataFile(file.path);
        ExportRequest request;
        request.store = &store;
        request.folders = file.selected;
        if (book.isEmpty())
            request.destination = {ExportDestination::NewBook, QFileInfo(o.newBookDir).absoluteFilePath()};
        else
            request.destination = {ExportDestination::ExistingBook, book};
        request.progress = &progress;
        const ExportOutcome outcome = RunExport(request);
        progress.Finish();

        QString stop;
        switch (outcome.stop) {
        case ExportOutcome::Ran:
            break;
        case ExportOutcome::StoreNotOpened:
            // Opened a moment ago: the file changed or went since.
            stop = QStringLiteral("%1: cannot open the Outlook data file (%2)").arg(file.path, outcome.stopReason);
            if (!several)
                return badInput(stop);
            lines.append(stop);
            complete = false;
            continue;
        case ExportOutcome::BookRefused:
            stop = QStringLiteral("%1: %2").arg(ran ? book : o.intoBook, outcome.stopReason);
            break;
        case ExportOutcome::BookFolderFailed:
            stop = QStringLiteral("%1: the address book cannot be created here (%2)")
                       .arg(outcome.bookFolder, outcome.stopReason);
            break;
        case ExportOutcome::BookDesignMissing:
            stop = booktexts::NotesNotConfigured + QStringLiteral(" (%1)").arg(outcome.stopReason);
            break;
        }
        if (!stop.isEmpty()) {
            // Nothing written yet: the destination cannot be used at all.
            if (!ran)
                return badInput(stop);
            stoppedBy = stop;
            complete = false;
            break;
        }
        ran = true;
        if (book.isEmpty())
            book = outcome.bookPath;
        persons += outcome.personsWritten;
        groups += outcome.groupsWritten;
        itemsFailed += outcome.itemsFailed;
        foldersFailed += outcome.foldersFailed();
        complete = complete && outcome.complete();
        // Which folders and items failed, and why: folders first, then items
        // in the order walked.
        for (const FolderFailure& f : outcome.folderFailures)
            lines.append(lineOf(file.path, FailureLine(f)));
        for (const ItemReport& item : outcome.failures)
            lines.append(lineOf(file.path, FailureLine(item)));
    }

    if (newBook && !book.isEmpty())
        std::fprintf(stdout, "%s\n", display(book).constData());
    std::fflush(stdout);
    if (!stoppedBy.isEmpty())
        std::fprintf(stderr, "pellaro-cli convert: %s\n", stoppedBy.toUtf8().constData());
    std::fprintf(stderr, "%lld persons, %lld groups written, %lld items failed\n", static_cast<long long>(persons),
                 static_cast<long long>(groups), static_cast<long long>(itemsFailed));
    if (foldersFailed > 0)
        std::fprintf(stderr, "%lld folders could not be opened\n", static_cast<long long>(foldersFailed));
    if (filesUnopened > 0)
        std::fprintf(stderr, "%lld data files could not be opened\n", static_cast<long long>(filesUnopened));
    for (qsizetype i = 0; i < lines.size() && i < FailureLinesShown; ++i)
        std::fprintf(stderr, "%s\n", lines[i].toUtf8().constData());
    if (lines.size() > FailureLinesShown)
        std::fprintf(stderr, "... and %lld more\n", static_cast<long long>(lines.size() - FailureLinesShown));

    if (report) {
        QString problem = progress.reportProblem();
        if (problem.isEmpty() && !stoppedBy.isEmpty())
            problem = QStringLiteral("the run stopped before its end");
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
    return complete ? ExitOk : ExitFailure;
}

const CommandRegistration registration({"convert", "copy the contacts and lists of .pst files into an address book",
                                        convert});

}  // namespace
