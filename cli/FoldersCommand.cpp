// pellaro-cli folders: the contact-folder tree the main window shows for a
// data file.

#include "cli/Command.h"
#include "source/FolderTree.h"
#include "source/outlook/Outlook.h"

#include <QFileInfo>

#include <cstdio>

namespace {

const char FoldersUsage[] = "usage: pellaro-cli folders FILE.pst\n"
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
                            "  The file is opened read-only, without adding it to the profile.\n"
                            "  Exit status 0; 2 when FILE.pst is missing, not an Outlook data file,\n"
                            "  damaged or password-protected (one line on stderr).\n";

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

int runFolders(const QStringList& args)
{
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(FoldersUsage, stdout);
        return ExitOk;
    }
    if (args.size() != 1 || args.first().startsWith(u'-')) {
        std::fprintf(stderr, "pellaro-cli folders: expected one data file\n\n%s", FoldersUsage);
        return ExitBadInput;
    }
    const QString file = args.first();
    // Anything else that exists (a folder, a pipe, a device) is refused by the
    // store layer with what it is.
    if (!QFileInfo::exists(file)) {
        std::fprintf(stderr, "pellaro-cli folders: %s: no such file\n", qPrintable(file));
        return ExitBadInput;
    }
    try {
        const outlook::RDOStore store = outlook::RDOSession::OpenPstFile(file);
        PrintingTree tree;
        source::FillFolderTree(store, tree);
    } catch (const outlook::OutlookError& e) {
        std::fflush(stdout);
        // One line, whatever the layer's message holds.
        QString why = QString::fromUtf8(e.what()).simplified();
        if (!why.contains(file))
            why = file + QStringLiteral(": ") + why;
        std::fprintf(stderr, "pellaro-cli folders: %s\n", qPrintable(why));
        return ExitBadInput;
    }
    return ExitOk;
}

const CommandRegistration folders({"folders", "print the contact-folder tree of a .pst file", runFolders});

}  // namespace
