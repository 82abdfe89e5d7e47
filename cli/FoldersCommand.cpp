// pellaro-cli folders: the contact-folder tree the main window shows for a
// data file.

#include "cli/Command.h"
#include "cli/DataFiles.h"
#include "source/FolderTree.h"
#include "source/outlook/Outlook.h"

#include <QFileInfo>

#include <cstdio>

namespace {

const char FoldersUsage[] = "usage: pellaro-cli folders FILE.pst [--password-file FILE] [--codepage CP]\n"
                            "\n"
                            "  Prints the tree of contact folders the main window shows for the Outlook\n"
                            "  data file FILE.pst: first the store's display name, then one line per\n"
                            "  folder whose class is IPM.Contact, at any depth, indented by two blanks\n"
                            "  per level, with the text of its node and, after a tab, its folder\n"
                            "  reference (entry identifier, \"#\", folder path):\n"
                            "\n"
                            "      Personal Folders\n"
                            "        Contacts (42)\t0000...#Contacts\n"
                            "          Friends (3)\t0000...#Contacts\\Friends\n"
                            "\n"
                            "  Contacts and lists kept in folders that are not contact folders are\n"
                            "  told in one line on stderr, how many and where; the tree and a\n"
                            "  conversion leave them out.\n"
                            "\n"
                            "  --password-file FILE  passwords of a protected file, one a line, each\n"
                            "                        tried; without it the password is asked at the\n"
                            "                        terminal (not shown), when standard input is one\n"
                            "  --codepage CP         the code page of 8-bit text that tells none of its\n"
                            "                        own (932, cp1251, windows-1253, ...)\n"
                            "\n"
                            "  The file is opened read-only, without adding it to the profile.\n"
                            "  Exit status 0; 2 when FILE.pst is missing, not an Outlook data file,\n"
                            "  damaged, or protected and its password missing or wrong (one line on\n"
                            "  stderr).\n";

// Prints each node as the fill adds it, so a large store shows progress and a
// failure part-way leaves the lines read so far.
class PrintingTree : public source::FolderTreeView {
public:
    void Clear() override { count_ = 0; }
    void AddNode(const source::FolderNode& node) override
    {
        ++count_;
        const QString indent(2 * node.depth, u' ');
        QByteArray line = (indent + node.text).toUtf8();
        if (node.depth > 0)
            line += '\t' + node.reference.toUtf8();
        line += '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    }
    int NodeCount() const override { return count_; }
    void SetTicked(int, bool) override { }
    void Yield() override { }

private:
    int count_ = 0;
};

int foldersUsageError(const QString& what)
{
    std::fprintf(stderr, "pellaro-cli folders: %s\n\n%s", what.toUtf8().constData(), FoldersUsage);
    return ExitBadInput;
}

int runFolders(const QStringList& args)
{
    QString file;
    QString passwordFile;
    QString codepage;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& into) {
            if (!into.isEmpty() || i + 1 >= args.size())
                return false;
            into = args[++i];
            return !into.isEmpty();
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(FoldersUsage, stdout);
            return ExitOk;
        } else if (a == QLatin1String("--password-file")) {
            if (!value(passwordFile))
                return foldersUsageError(QStringLiteral("--password-file takes one file"));
        } else if (a == QLatin1String("--codepage")) {
            if (!value(codepage))
                return foldersUsageError(QStringLiteral("--codepage takes one code page"));
        } else if (a.startsWith(u'-') || !file.isEmpty()) {
            return foldersUsageError(QStringLiteral("expected one data file"));
        } else {
            file = a;
        }
    }
    if (file.isEmpty())
        return foldersUsageError(QStringLiteral("expected one data file"));
    if (!codepage.isEmpty()) {
        QString problem;
        if (!cli::UseCodepage(codepage, problem))
            return foldersUsageError(problem);
    }
    QStringList passwords;
    if (!passwordFile.isEmpty()) {
        QString problem;
        if (!cli::ReadPasswordFile(passwordFile, passwords, problem)) {
            std::fprintf(stderr, "pellaro-cli folders: %s\n", qPrintable(problem));
            return ExitBadInput;
        }
    }
    // Anything else that exists (a folder, a pipe, a device) is refused by the
    // store layer with what it is.
    if (!QFileInfo::exists(file)) {
        std::fprintf(stderr, "pellaro-cli folders: %s: no such file\n", qPrintable(file));
        return ExitBadInput;
    }
    cli::DataFileOpener opener(passwordFile, std::move(passwords));
    try {
        const outlook::RDOStore store = opener.Open(file);
        PrintingTree tree;
        source::FillFolderTree(store, tree);
        std::fflush(stdout);
        // The root alone: say so, rather than leave a name with nothing below.
        if (tree.NodeCount() <= 1)
            std::fprintf(stderr, "%s: holds no contact folders\n", qPrintable(file));
        // The tree stands; a folder that cannot be read for the count costs
        // the count alone.
        try {
            const QString stray = source::StrayItemsLine(store.ContactsInOtherFolders());
            if (!stray.isEmpty())
                std::fprintf(stderr, "%s\n", qPrintable(stray));
        } catch (const outlook::OutlookError& e) {
            std::fprintf(stderr, "%s: contacts in folders that are not contact folders could not be counted (%s)\n",
                         qPrintable(file), e.what());
        }
    } catch (const outlook::OutlookError& e) {
        std::fflush(stdout);
        // One line, whatever the layer's message holds.
        QString why
            = cli::IsPasswordProblem(e) ? opener.PasswordProblem(file, e) : QString::fromUtf8(e.what()).simplified();
        if (!why.contains(file))
            why = file + QStringLiteral(": ") + why;
        std::fprintf(stderr, "pellaro-cli folders: %s\n", qPrintable(why));
        return ExitBadInput;
    }
    return ExitOk;
}

const CommandRegistration folders({"folders", "print the contact-folder tree of a .pst file", runFolders});

}  // namespace
