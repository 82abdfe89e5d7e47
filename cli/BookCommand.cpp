// pellaro-cli book: creating a new address book the way the export does, and
// printing the documents of one.

#include "common/values/ProgramValues.h"
#include "cli/BookExport.h"
#include "cli/Command.h"
#include "cli/ConsoleDialogs.h"
#include "cli/ConsoleView.h"
#include "export/BookCreation.h"
#include "export/FolderCreation.h"
#include "export/notes/BookReader.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <string>

namespace {

const char BookUsage[] = "usage: pellaro-cli book create DIR\n"
                         "       pellaro-cli book dump BOOK [--design]\n"
                         "       pellaro-cli book export BOOK (--dxl OUT.dxl | --vcard OUT.vcf) [--force]\n"
                         "\n"
                         "  create DIR   Prepares the folder DIR/Lotus Notes Address Book/ and creates a\n"
                         "               new, empty address book in it, exactly as an export into a new\n"
                         "               book does: named names<dd-mm-yyyy-h-m-s>.nsf, with the design\n"
                         "               of the first book the NAMES line of notes.ini names, else of\n"
                         "               pernames.ntf. Prints the new file's full path. DIR must exist.\n"
                         "               Exit status 0, or 1 with one line on stderr.\n"
                         "\n"
                         "  dump BOOK    Prints every document of the address book BOOK as one JSON\n"
                         "               object per line, items in their stored order:\n"
                         "               {\"noteid\":N,\"unid\":\"...\",\"form\":\"...\",\"folders\":[...],\n"
                         "                \"items\":[[\"Name\",\"value\"],...]}\n"
                         "    --design   Also prints the design notes (forms and views; their \"form\"\n"
                         "               is their kind).\n"
                         "               BOOK is opened read-only and never changed. Exit status 0;\n"
                         "               2 when BOOK is missing or not an address book; 1 when it\n"
                         "               cannot be read to the end.\n"
                         "\n"
                         "  export BOOK  Writes the documents of BOOK as DXL (Domino XML) or vCard 3.0;\n"
                         "               see 'pellaro-cli book export --help'.\n";

int usageError(const char* what)
{
    std::fprintf(stderr, "pellaro-cli book: %s\n\n%s", what, BookUsage);
    return ExitBadInput;
}

bool wantsHelp(const QStringList& args)
{
    return args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"));
}

void appendJsonString(std::string& out, const QString& s)
{
    static const char hex[] = "0123456789abcdef";
    auto escapeUnit = [&](char16_t u) {
        out += "\\u";
        out += hex[(u >> 12) & 0xF];
        out += hex[(u >> 8) & 0xF];
        out += hex[(u >> 4) & 0xF];
        out += hex[u & 0xF];
    };
    out += '"';
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = s[i].unicode();
        switch (u) {
        case u'"':
            out += "\\\"";
            continue;
        case u'\\':
            out += "\\\\";
            continue;
        case u'\n':
            out += "\\n";
            continue;
        case u'\r':
            out += "\\r";
            continue;
        case u'\t':
            out += "\\t";
            continue;
        case u'\b':
            out += "\\b";
            continue;
        case u'\f':
            out += "\\f";
            continue;
        default:
            break;
        }
        if (u < 0x20) {
            escapeUnit(u);
        } else if (u < 0x80) {
            out += char(u);
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(s[i + 1].unicode())) {
            out += QStringView(s).mid(i, 2).toUtf8().toStdString();
            ++i;
        } else if (QChar::isSurrogate(u)) {
            // A lone half of a pair has no UTF-8 form; JSON can still carry it.
            escapeUnit(u);
        } else {
            out += QStringView(s).mid(i, 1).toUtf8().toStdString();
        }
    }
    out += '"';
}

int create(const QStringList& args)
{
    if (wantsHelp(args)) {
        std::fputs(BookUsage, stdout);
        return ExitOk;
    }
    if (args.size() != 1 || args.first().startsWith(u'-'))
        return usageError("create takes one folder");
    const QString dir = args.first();
    if (!QFileInfo(dir).isDir()) {
        std::fprintf(stderr, "pellaro-cli: %s: no such folder\n", qPrintable(dir));
        return ExitFailure;
    }

    // The destination folder is prepared as the export run prepares it,
    // from the folder as the working directory names it.
    const QString destination = exporting::NewBookFolder(QFileInfo(dir).absoluteFilePath());
    if (!CreateFolderPath(destination)) {
        std::fprintf(stderr, "pellaro-cli: %s: cannot create the folder\n", qPrintable(destination.chopped(1)));
        return ExitFailure;
    }
    Global::DestinationPath = destination;
    Global::NewBookPath = destination;

    ConsoleDialogs console;
    setDialogs(&console);
    ConsoleView view(true);
    CreateNSF(view, console);  // on failure: one line on stderr, exit 1
    setDialogs(nullptr);
    std::fprintf(stdout, "%s\n", QFile::encodeName(Global::NewBookPath).constData());
    return ExitOk;
}

int dump(const QStringList& args)
{
    if (wantsHelp(args)) {
        std::fputs(BookUsage, stdout);
        return ExitOk;
    }
    bool withDesign = false;
    QStringList paths;
    for (const QString& a : args) {
        if (a == QLatin1String("--design"))
            withDesign = true;
        else if (a.startsWith(u'-'))
            return usageError("unknown option");
        else
            paths.append(a);
    }
    if (paths.size() != 1)
        return usageError("dump takes one address book");

    std::unique_ptr<notes::BookReader> reader;
    try {
        reader = std::make_unique<notes::BookReader>(paths.first());
    } catch (const notes::NotesError& e) {
        std::fprintf(stderr, "pellaro-cli: %s\n", e.what());
        return ExitBadInput;
    }
    std::string line;
    try {
        reader->forEachDocument(withDesign, [&](const notes::StoredDocument& d) {
            line.clear();
            line += "{\"noteid\":";
            line += std::to_string(d.noteId);
            line += ",\"unid\":";
            appendJsonString(line, d.unid);
            line += ",\"form\":";
            appendJsonString(line, d.form);
            line += ",\"folders\":[";
            for (qsizetype i = 0; i < d.folders.size(); ++i) {
                if (i)
                    line += ',';
                appendJsonString(line, d.folders[i]);
            }
            line += "],\"items\":[";
            for (std::size_t i = 0; i < d.items.size(); ++i) {
                line += i ? ",[" : "[";
                appendJsonString(line, d.items[i].name);
                line += ',';
                appendJsonString(line, d.items[i].value);
                line += ']';
            }
            line += "]}\n";
            if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size())
                throw notes::NotesError("cannot write to standard output");
        });
    } catch (const notes::NotesError& e) {
        std::fprintf(stderr, "pellaro-cli: %s\n", e.what());
        return ExitFailure;
    }
    if (std::fflush(stdout) != 0) {
        std::fputs("pellaro-cli: cannot write to standard output\n", stderr);
        return ExitFailure;
    }
    return ExitOk;
}

int run(const QStringList& args)
{
    if (args.isEmpty())
        return usageError("missing subcommand");
    QStringList rest = args;
    const QString sub = rest.takeFirst();
    if (sub == QLatin1String("--help") || sub == QLatin1String("-h")) {
        std::fputs(BookUsage, stdout);
        return ExitOk;
    }
    if (sub == QLatin1String("create"))
        return create(rest);
    if (sub == QLatin1String("dump"))
        return dump(rest);
    if (sub == QLatin1String("export"))
        return runBookExport(rest);
    return usageError("unknown subcommand");
}

const CommandRegistration registration({"book", "create a new address book, print or export the documents of one",
                                        run});

}  // namespace
