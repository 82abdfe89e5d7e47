// Filling the contact-folder tree from real data files, and the command line's
// listing of the same tree.

#include "source/FolderTree.h"
#include "source/SourceSide.h"
#include "tests/support/RunCli.h"
#include "tests/support/FolderFixtures.h"
#include "tests/support/TempDir.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

// Remembers what the fill hands over.
class RecordingTree : public source::FolderTreeView {
public:
    QList<source::FolderNode> nodes;
    QList<bool> ticks;
    int clears = 0;
    int yields = 0;

    void Clear() override
    {
        ++clears;
        nodes.clear();
        ticks.clear();
    }
    void AddNode(const source::FolderNode& node) override
    {
        nodes.append(node);
        ticks.append(false);
    }
    int NodeCount() const override { return int(nodes.size()); }
    void SetTicked(int position, bool ticked) override { ticks[position - 1] = ticked; }
    void Yield() override { ++yields; }

    const source::FolderNode* byPath(const QString& path) const
    {
        for (const auto& n : nodes) {
            if (n.path == path)
                return &n;
        }
        return nullptr;
    }
};

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

CliResult folders(const QStringList& args)
{
    const CliRun r = runCli(QStringList{QStringLiteral("folders")} + args);
    return {r.status, r.outText(), r.errText()};
}

}  // namespace

class FolderTreeTest : public QObject {
    Q_OBJECT

private slots:
    void nestedStoreInPreOrder();
    void keysAreEntryIdentifiers();
    void storeWithoutContactFolders();
    void refillStartsFromEmpty();
    void entriesOfTheMailboxList();

    void foldersCommandPrintsTheTree();
    void foldersCommandRefusesBadFiles();
    void foldersCommandHelp();
    void realOutlookFile();
};

void FolderTreeTest::nestedStoreInPreOrder()
{
    TestHome home;
    const QString file = home.file(QStringLiteral("nested.pst"));
    fixtures::writeNested(file);
    RecordingTree tree;
    source::FillFolderTree(outlook::RDOSession::OpenPstFile(file), tree);
    source::TickAllNodes(tree);

    struct Expected {
        const char* text;
        const char* path;
        int depth;
        const char* parentPath;  // "" for a node right below the root
    };
    const Expected expected[] = {
        {"Contacts (4)", "Contacts", 1, ""},
        {"Friends (1)", "Contacts\\Friends", 2, "Contacts"},
        {"A (1)", "A", 1, ""},
        {"B (0)", "A\\B", 2, "A"},
        {"C1 (2)", "A\\B\\C1", 3, "A\\B"},
        {"D (1)", "A\\B\\C1\\D", 4, "A\\B\\C1"},
        {"C2 (1)", "A\\B\\C2", 3, "A\\B"},
        {"Clients (2)", "Inbox\\Clients", 1, ""},
        {"Contacts (1)", "Archive\\Contacts", 1, ""},
    };
    QCOMPARE(tree.NodeCount(), 1 + int(std::size(expected)));

    const source::FolderNode& root = tree.nodes[0];
    QCOMPARE(root.text, QStringLiteral("Personal Folders"));
    QCOMPARE(root.key, QStringLiteral("Personal Folders"));
    QVERIFY(root.parentKey.isEmpty());
    QVERIFY(root.reference.isEmpty());
    QCOMPARE(root.icon, 0);
    QVERIFY(root.hasItems);
    QCOMPARE(root.depth, 0);

    for (size_t i = 0; i < std::size(expected); ++i) {
        const source::FolderNode& n = tree.nodes[int(i) + 1];
        const Expected& e = expected[i];
        QCOMPARE(n.text, QString::fromUtf8(e.text));
        QCOMPARE(n.path, QString::fromUtf8(e.path));
        QCOMPARE(n.depth, e.depth);
        QCOMPARE(n.icon, 61);
        QCOMPARE(n.reference, n.key + u'#' + n.path);
        QCOMPARE(n.hasItems, !n.text.endsWith(QStringLiteral("(0)")));
        const QString parentPath = QString::fromUtf8(e.parentPath);
        if (parentPath.isEmpty()) {
            QCOMPARE(n.parentKey, root.key);
        } else {
            const source::FolderNode* parent = tree.byPath(parentPath);
            QVERIFY(parent);
            QCOMPARE(n.parentKey, parent->key);
        }
    }
    // Calendar, mail, "IPF.contact" and "IPF.Contact.X" folders get no node.
    QVERIFY(!tree.byPath(QStringLiteral("Lower case")));
    QVERIFY(!tree.byPath(QStringLiteral("Quick")));
    QVERIFY(!tree.byPath(QStringLiteral("Inbox")));
    QVERIFY(!tree.byPath(QStringLiteral("Calendar")));

    QCOMPARE(tree.ticks, QList<bool>(tree.NodeCount(), true));
    QVERIFY(tree.yields > 0);
}

void FolderTreeTest::keysAreEntryIdentifiers()
{
    TestHome home;
    const QString file = home.file(QStringLiteral("nested.pst"));
    fixtures::writeNested(file);
    const outlook::RDOStore store = outlook::RDOSession::OpenPstFile(file);
    RecordingTree tree;
    source::FillFolderTree(store, tree);

    // Both folders named Contacts appear, each with its own identifier, and
    // every identifier finds its folder again.
    const source::FolderNode* first = tree.byPath(QStringLiteral("Contacts"));
    const source::FolderNode* second = tree.byPath(QStringLiteral("Archive\\Contacts"));
    QVERIFY(first && second);
    QVERIFY(first->key != second->key);
    QSet<QString> keys;
    for (int i = 1; i < tree.NodeCount(); ++i) {
        const source::FolderNode& n = tree.nodes[i];
        QVERIFY(!n.key.contains(u'#'));
        QCOMPARE(store.GetFolderFromID(n.key).Name(), n.path.section(u'\\', -1));
        keys.insert(n.key);
    }
    QCOMPARE(keys.size(), tree.NodeCount() - 1);
}

void FolderTreeTest::storeWithoutContactFolders()
{
    TestHome home;
    const QString file = home.file(QStringLiteral("mail.pst"));
    fixtures::writeNoContacts(file);
    RecordingTree tree;
    source::FillFolderTree(outlook::RDOSession::OpenPstFile(file), tree);
    source::TickAllNodes(tree);
    QCOMPARE(tree.NodeCount(), 1);
    QCOMPARE(tree.nodes[0].text, QStringLiteral("Mail Only"));
    QCOMPARE(tree.ticks, QList<bool>{true});
}

void FolderTreeTest::refillStartsFromEmpty()
{
    TestHome home;
    const QString nested = home.file(QStringLiteral("nested.pst"));
    const QString abc = home.file(QStringLiteral("abc.pst"));
    fixtures::writeNested(nested);
    fixtures::writeAbc(abc);
    RecordingTree tree;
    source::FillFolderTree(outlook::RDOSession::OpenPstFile(nested), tree);
    source::FillFolderTree(outlook::RDOSession::OpenPstFile(abc), tree);
    QCOMPARE(tree.clears, 2);
    QStringList texts;
    for (const auto& n : tree.nodes)
        texts << n.text;
    QCOMPARE(texts, (QStringList{"ABC Folders", "A (2)", "B (2)", "C (2)"}));
}

void FolderTreeTest::entriesOfTheMailboxList()
{
    const QString entry = source::MailboxEntry(QStringLiteral("Personal Folders"), QStringLiteral("00AB"));
    QCOMPARE(entry, QStringLiteral("Personal Folders") + QString(300, u' ') + QStringLiteral("#00AB"));
    QCOMPARE(source::StoreIdOfEntry(entry), QStringLiteral("00AB"));
    // A display name holding "#" still yields the identifier.
    QCOMPARE(source::StoreIdOfEntry(source::MailboxEntry(QStringLiteral("Team #2 #b"), QStringLiteral("FF01"))),
             QStringLiteral("FF01"));
    QCOMPARE(source::StoreIdOfEntry(QStringLiteral("no identifier")), QString());
}

void FolderTreeTest::foldersCommandPrintsTheTree()
{
    TestHome home;
    const QString file = home.file(QStringLiteral("nested.pst"));
    fixtures::writeNested(file);
    const CliResult r = folders({file});
    QCOMPARE(r.exitCode, 0);
    // The contacts of the folders whose class is nearly a contact class are
    // told, not listed.
    QCOMPARE(r.err,
             QStringLiteral("2 contacts in folders that are not contact folders were not converted: "
                            "Lower case (1), Quick (1)\n"));

    RecordingTree tree;
    source::FillFolderTree(outlook::RDOSession::OpenPstFile(file), tree);
    QStringList expected;
    for (const auto& n : tree.nodes) {
        QString line = QString(2 * n.depth, u' ') + n.text;
        if (n.depth > 0)
            line += u'\t' + n.reference;
        expected << line;
    }
    QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts), expected);
    QVERIFY(r.out.contains(QStringLiteral("\n      C1 (2)\t")));
    QVERIFY(r.out.contains(QStringLiteral("#Inbox\\Clients\n")));

    // The file was opened without adding it to the profile.
    QVERIFY(!QFileInfo::exists(outlook::RDOSession::ProfilePath()));
}

void FolderTreeTest::foldersCommandRefusesBadFiles()
{
    TestHome home;
    const QString random = home.file(QStringLiteral("random.pst"));
    QByteArray bytes(64 * 1024, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7919 + 13) & 0xff);
    QVERIFY(writeAll(random, bytes));
    const QString empty = home.file(QStringLiteral("empty.pst"));
    QVERIFY(writeAll(empty, QByteArray()));
    const QString locked = home.file(QStringLiteral("locked.pst"));
    {
        pstwriter::PstBuilder b;
        b.setPassword(QStringLiteral("secret"));
        fixtures::contacts(b, b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact")), 2,
                           QStringLiteral("Hidden"));
        b.write(locked);
    }
    const QString truncated = home.file(QStringLiteral("truncated.pst"));
    {
        fixtures::writeNested(truncated);
        QVERIFY(writeAll(truncated, readAll(truncated).left(700)));
    }

    // A named pipe is refused for what it is, never waited on.
    const QString pipe = home.file(QStringLiteral("pipe.pst"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);

    for (const QString& file : {random, empty, locked, truncated, home.file(QStringLiteral("missing.pst")), pipe}) {
        const CliResult r = folders({file});
        if (file == pipe)
            QVERIFY2(r.err.contains(QStringLiteral("named pipe")), qPrintable(r.err));
        QVERIFY2(r.exitCode == 2, qPrintable(file + QStringLiteral(": exit ") + QString::number(r.exitCode)));
        QCOMPARE(r.err.count(u'\n'), 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("pellaro-cli folders: ")), qPrintable(r.err));
        QVERIFY2(!r.out.contains(QStringLiteral("Hidden")), qPrintable(r.out));
    }

    const CliResult noArgs = folders({});
    QCOMPARE(noArgs.exitCode, 2);
}

void FolderTreeTest::foldersCommandHelp()
{
    const CliResult r = folders({QStringLiteral("--help")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.startsWith(QStringLiteral("usage: pellaro-cli folders FILE.pst")));
}

void FolderTreeTest::realOutlookFile()
{
    const QString sample = QStringLiteral(PELLARO_SHARED_DIR "/samples/empty-unicode.pst");
    if (!QFileInfo::exists(sample))
        QSKIP("the sample Outlook file is not present");
    TestHome home;
    const CliResult r = folders({sample});
    QCOMPARE(r.exitCode, 0);
    // No contacts in it: the root line alone, or its default contact folder.
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    QVERIFY(!lines.first().startsWith(u' '));
    for (int i = 1; i < lines.size(); ++i)
        QVERIFY2(lines[i].contains(QStringLiteral(" (0)\t")), qPrintable(lines[i]));
}

QTEST_GUILESS_MAIN(FolderTreeTest)
#include "FolderTreeTest.moc"
