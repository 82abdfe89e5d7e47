// pellaro-cli book export: an address book as DXL or vCard.

#include "cli/BookExport.h"
#include "cli/Command.h"
#include "export/BookExport.h"

#include <QFile>

#include <csignal>
#include <cstdio>

#include <unistd.h>

namespace {

using exporting::BookExportError;
using exporting::BookExportOptions;
using exporting::BookExportResult;
using exporting::ExportFormat;

const char ExportUsage[] = "usage: pellaro-cli book export BOOK (--dxl OUT.dxl | --vcard OUT.vcf) [--force]\n"
                           "\n"
                           "  Writes the documents of the address book BOOK to the file OUT.\n"
                           "    --dxl OUT    as DXL (Domino XML) for the DXL importer of a Notes client or\n"
                           "                 Domino server: each document with its form, its items as\n"
                           "                 Notes keeps them and the folders it is filed in.\n"
                           "    --vcard OUT  as vCard 3.0: a card for each Person and each Group document,\n"
                           "                 and one for each list member that is no contact of the book;\n"
                           "                 other documents are left out.\n"
                           "    --force      replace OUT when it exists.\n"
                           "  BOOK is only read. OUT is written as an unnamed file in its folder and gets\n"
                           "  its name when complete: a failed, interrupted or killed export leaves\n"
                           "  nothing.\n"
                           "  Exit status 0, with \"N documents exported\" on stderr; 2 when BOOK is\n"
                           "  missing or not an address book, or OUT exists (without --force) or cannot\n"
                           "  be written; 1 when reading or writing fails on the way, or on interruption.\n";

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int)
{
    stopRequested = 1;
}

// Catches the signals that end a terminal job for the time of one export, so
// the export can stop after the current document and remove its temporary
// file; the previous handlers come back afterwards. A signal the program was
// started with ignored (nohup, a background job) stays ignored.
class StopOnSignals {
public:
    StopOnSignals()
    {
        stopRequested = 0;
        struct sigaction sa { };
        sa.sa_handler = requestStop;
        sigemptyset(&sa.sa_mask);
        for (std::size_t i = 0; i < std::size(Signals); ++i) {
            sigaction(Signals[i], nullptr, &previous_[i]);
            if (previous_[i].sa_handler != SIG_IGN)
                sigaction(Signals[i], &sa, nullptr);
        }
    }
    ~StopOnSignals()
    {
        for (std::size_t i = 0; i < std::size(Signals); ++i)
            sigaction(Signals[i], &previous_[i], nullptr);
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

private:
    static constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous_[std::size(Signals)]{};
};

int usageError(const char* what)
{
    std::fprintf(stderr, "pellaro-cli book export: %s\n\n%s", what, ExportUsage);
    return ExitBadInput;
}

}  // namespace

int runBookExport(const QStringList& args)
{
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(ExportUsage, stdout);
        return ExitOk;
    }
    BookExportOptions options;
    QStringList books;
    int outputs = 0;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--dxl") || a == QLatin1String("--vcard")) {
            if (i + 1 >= args.size())
                return usageError("--dxl and --vcard need a file name");
            options.format = a == QLatin1String("--dxl") ? ExportFormat::Dxl : ExportFormat::VCard;
            options.out = args[++i];
            ++outputs;
        } else if (a == QLatin1String("--design")) {
            // The book's forms and views are no design a Notes database can
            // use; a database gets it from the template it is made from.
            return usageError("--design is not offered: create the Notes database from the Personal Address "
                              "Book template, which brings the forms and views, and import the documents into it");
        } else if (a == QLatin1String("--force")) {
            options.force = true;
        } else if (a.startsWith(u'-') && a.size() > 1) {
            return usageError("unknown option");
        } else {
            books.append(a);
        }
    }
    if (books.size() != 1)
        return usageError("export takes one address book");
    if (outputs != 1)
        return usageError("give one of --dxl OUT and --vcard OUT");
    if (options.out.isEmpty())
        return usageError("the output file name is empty");
    options.book = books.first();

    const bool showProgress = ::isatty(STDERR_FILENO) != 0;
    StopOnSignals stopOnSignals;
    options.stopRequested = &stopRequested;
    BookExportResult result;
    try {
        result = exporting::ExportBook(options, [&](qint64 read) {
            if (showProgress && read % 1000 == 0)
                std::fprintf(stderr, "\r%lld documents read", static_cast<long long>(read));
        });
    } catch (const BookExportError& e) {
        if (showProgress)
            std::fputs("\r\033[K", stderr);
        if (e.kind() == BookExportError::Interrupted)
            std::fprintf(stderr, "pellaro-cli: export interrupted; %s was not written\n",
                         QFile::encodeName(options.out).constData());
        else
            std::fprintf(stderr, "pellaro-cli: %s\n", e.what());
        return e.kind() == BookExportError::BadInput ? ExitBadInput : ExitFailure;
    }
    if (showProgress)
        std::fputs("\r\033[K", stderr);
    if (result.replacedCharacters > 0)
        std::fprintf(stderr,
                     "pellaro-cli: %lld characters that %s cannot hold (control characters, broken surrogate "
                     "pairs) were written as U+FFFD\n",
                     static_cast<long long>(result.replacedCharacters),
                     options.format == ExportFormat::Dxl ? "XML" : "vCard");
    if (result.leftOut > 0)
        std::fprintf(stderr, "pellaro-cli: %lld documents that are neither Person nor Group were left out\n",
                     static_cast<long long>(result.leftOut));
    std::fprintf(stderr, "%lld documents exported\n", static_cast<long long>(result.exported));
    return ExitOk;
}
