// pellaro-cli convert, run as the user runs it: exit codes, what it prints,
// and destinations it must leave alone.

#include "export/notes/Notes.h"
#include "source/outlook/Outlook.h"
#include "tests/support/RunCli.h"
#include "tests/support/ExportFixtures.h"
#include "tests/support/PrintQt.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>

using namespace fixtures;
using pstwriter::DistListData;
using pstwriter::PstBuilder;

namespace {

struct Result {
    int code = -1;
    QString out, err;
};

Result cli(const QStringList& args)
{
    const CliRun r = runCli(QStringList{QStringLiteral("convert")} + args);
    return {r.status, r.outText(), r.errText()};
}

class Convert : public ::testing::Test {
protected:
    void SetUp() override
    {
        PstBuilder b;
        const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
        const auto work = b.addFolder(contacts, QStringLiteral("Work"), QStringLiteral("IPF.Contact"));
        b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox"), QStringLiteral("IPF.Note"));
        b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
        b.addContact(contacts, person(QStringLiteral("Bob"), QStringLiteral("Stone")));
        DistListData list;
        list.name = QStringLiteral("Team");
        b.addDistList(contacts, list);
        b.addContact(work, person(QStringLiteral("Carl"), QStringLiteral("Weiss")));
        pst = write(b, home.file(QStringLiteral("in.pst")));
        dir = home.file(QStringLiteral("out"));
        QDir().mkpath(dir);
    }

    TestHome home;
    QString pst;
    QString dir;
};

TEST_F(Convert, NewBookPrintsItsPathAndTheSummary)
{
    const Result r = cli({pst, QStringLiteral("--new-book"), dir});

    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QString book = r.out.trimmed();
    EXPECT_TRUE(book.startsWith(dir + QStringLiteral("/Lotus Notes Address Book/names")));
    EXPECT_EQ(r.out, book + u'\n');
    EXPECT_EQ(r.err, QStringLiteral("3 persons, 1 groups written, 0 items failed\n"));
    // The book is finished: the .nsf alone, copied elsewhere, holds every
    // document, and nothing is left beside it.
    EXPECT_EQ(QDir(QFileInfo(book).absolutePath()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QFileInfo(book).fileName()});
    const QString copy = home.file(QStringLiteral("copy.nsf"));
    ASSERT_TRUE(QFile::copy(book, copy));
    const auto docs = documents(copy);
    ASSERT_EQ(docs.size(), 4u);
    EXPECT_EQ(item(docs[3], QStringLiteral("FirstName")), QStringLiteral("Carl"));
    for (const auto& d : docs)
        EXPECT_EQ(d.folders.size(), 1);
    // The file was opened directly: no profile was made.
    EXPECT_FALSE(QFileInfo::exists(outlook::RDOSession::ProfilePath()));

    // A second conversion right away, most likely in the same second: a
    // second book, the first one untouched.
    const QByteArray first = readAll(book);
    const Result again = cli({pst, QStringLiteral("--new-book"), dir});
    ASSERT_EQ(again.code, 0) << again.err.toStdString();
    const QString second = again.out.trimmed();
    EXPECT_NE(second, book);
    EXPECT_EQ(readAll(book), first);
    EXPECT_EQ(documents(second).size(), 4u);
}

TEST_F(Convert, FolderOptionTakesTheNamedFoldersOnly)
{
    const QString book = home.file(QStringLiteral("book.nsf"));
    makeBook(book);

    const Result r
        = cli({pst, QStringLiteral("--into"), book, QStringLiteral("--folder"), QStringLiteral("Contacts\\Work")});

    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.err, QStringLiteral("1 persons, 0 groups written, 0 items failed\n"));
    const auto docs = documents(book);
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(item(docs[0], QStringLiteral("FirstName")), QStringLiteral("Carl"));

    // A folder the tree would not show is refused before anything is written.
    const Result unknown
        = cli({pst, QStringLiteral("--into"), book, QStringLiteral("--folder"), QStringLiteral("Inbox")});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("no contact folder Inbox")));
    EXPECT_EQ(documents(book).size(), 1u);
}

TEST_F(Convert, DestinationThatIsNotOneOfOurBooksStaysByteIdentical)
{
    const QString letter = home.file(QStringLiteral("letter.nsf"));
    const QByteArray text("Not an address book at all.\n");
    ASSERT_TRUE(writeAll(letter, text));
    const QString empty = home.file(QStringLiteral("empty.nsf"));
    ASSERT_TRUE(writeAll(empty, QByteArray()));

    for (const QString& target : {letter, empty, pst}) {
        const QByteArray before = readAll(target);
        const Result r = cli({pst, QStringLiteral("--into"), target});
        EXPECT_EQ(r.code, 2) << target.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("not an address book"))) << r.err.toStdString();
        EXPECT_EQ(readAll(target), before);
        EXPECT_EQ(QDir(home.path()).entryList(QDir::Files),
                  (QStringList{QStringLiteral("empty.nsf"), QStringLiteral("in.pst"), QStringLiteral("letter.nsf")}));
    }

    // A named pipe is refused at once, not waited on.
    const QString pipe = home.file(QStringLiteral("pipe.nsf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const Result piped = cli({pst, QStringLiteral("--into"), pipe});
    EXPECT_EQ(piped.code, 2);
    EXPECT_TRUE(piped.err.contains(QStringLiteral("not a file"))) << piped.err.toStdString();

    // The name checked is the name written: "book.nsf " (a trailing blank)
    // would be written as "book.nsf", another book; it is refused.
    const QString book = home.file(QStringLiteral("book.nsf"));
    makeBook(book);
    const QString blank = book + u' ';
    ASSERT_TRUE(QFile::copy(book, blank));
    const Result trailing = cli({pst, QStringLiteral("--into"), blank});
    EXPECT_EQ(trailing.code, 2);
    EXPECT_TRUE(trailing.err.contains(QStringLiteral("blank"))) << trailing.err.toStdString();
    EXPECT_TRUE(documents(book).empty());
    EXPECT_TRUE(documents(blank).empty());
}

TEST_F(Convert, SourceThatCannotBeOpenedWritesNothing)
{
    const QString notPst = home.file(QStringLiteral("notes.txt"));
    ASSERT_TRUE(writeAll(notPst, "plain text\n"));

    for (const QString& source : {home.file(QStringLiteral("missing.pst")), notPst}) {
        const Result r = cli({source, QStringLiteral("--new-book"), dir});
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.contains(QStringLiteral("cannot open the Outlook data file"))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(QDir(dir).isEmpty());
    }
    const Result noDir = cli({pst, QStringLiteral("--new-book"), home.file(QStringLiteral("nowhere"))});
    EXPECT_EQ(noDir.code, 2);
    EXPECT_FALSE(QFileInfo::exists(home.file(QStringLiteral("nowhere"))));
}

// A book that refuses every new document with the cause "no".
QString refusingBook(const QString& path)
{
    makeBook(path);
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "CREATE TRIGGER refuse BEFORE INSERT ON notes BEGIN SELECT RAISE(ABORT, 'no'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    return path;
}

TEST_F(Convert, ItemsThatCannotBeWrittenAreNamedWithTheirCause)
{
    const QString book = refusingBook(home.file(QStringLiteral("book.nsf")));

    const Result r = cli({pst, QStringLiteral("--into"), book});

    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_EQ(r.err,
              QStringLiteral("0 persons, 0 groups written, 4 items failed\n"
                             "Contacts #1 (Ann Lee): no\n"
                             "Contacts #2 (Bob Stone): no\n"
                             "Contacts #3 (Team): no\n"
                             "Contacts\\Work #1 (Carl Weiss): no\n"));

    // Twenty lines at most, then how many more.
    PstBuilder b;
    const auto many = b.addFolder(b.ipmSubtree(), QStringLiteral("Many"), QStringLiteral("IPF.Contact"));
    for (int i = 1; i <= 23; ++i)
        b.addContact(many, person(QStringLiteral("P%1").arg(i), QStringLiteral("Q")));
    const QString big = write(b, home.file(QStringLiteral("many.pst")));
    const Result m = cli({big, QStringLiteral("--into"), book});
    const QStringList lines = m.err.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 22) << m.err.toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("Many #1 (P1 Q): no"));
    EXPECT_EQ(lines[20], QStringLiteral("Many #20 (P20 Q): no"));
    EXPECT_EQ(lines[21], QStringLiteral("... and 3 more"));
}

TEST_F(Convert, ReportHasOneRowPerItemWalkedAndIsReplacedOnlyWhenComplete)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    const auto odd = b.addFolder(contacts, QStringLiteral("A, \"B\""), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    b.addContact(contacts, person(QStringLiteral("Smith, Jr"), QStringLiteral("O\"Neil")));
    b.addContact(contacts, person(QStringLiteral("Two\nLines"), QStringLiteral("Zoë")));
    b.addContact(contacts, person(QStringLiteral("=HYPERLINK(\"x\")"), QStringLiteral("Formula")));
    pstwriter::ContactData bad = person(QStringLiteral("Bad"), QStringLiteral("One"));
    pstwriter::ExtraProperty brokenBody;  // a compressed RTF body that does not decompress
    brokenBody.lid = 0x1009;
    brokenBody.type = 0x0102;
    brokenBody.binary = QByteArray::fromHex("10000000"
                                            "20000000"
                                            "4C5A4675"
                                            "00000000")
        + QByteArray(16, '\xFF');
    bad.extra.push_back(brokenBody);
    b.addContact(odd, bad);
    DistListData list;
    list.name = QStringLiteral("Team");
    b.addDistList(odd, list);
    const QString mixed = write(b, home.file(QStringLiteral("mixed.pst")));
    const QString report = home.file(QStringLiteral("report.csv"));
    ASSERT_TRUE(writeAll(report, "an earlier report\n"));

    const Result r = cli({mixed, QStringLiteral("--new-book"), dir, QStringLiteral("--report"), report});

    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    // Each row begins with the data file.
    const QString csv
        = QString::fromUtf8(readAll(report)).replace(QStringLiteral("\r\n") + mixed + u',', QStringLiteral("\r\n"));
    const QString expectedStart
        = QStringLiteral("file,folder,position,class,name,outcome,reason\r\n"
                         "Contacts,1,IPM.Contact,Ann Lee,written,\r\n"
                         "Contacts,2,IPM.Contact,\"Smith, Jr O\"\"Neil\",written,\r\n"
                         "Contacts,3,IPM.Contact,\"Two\nLines Zoë\",written,\r\n"
                         "Contacts,4,IPM.Contact,\"'=HYPERLINK(\"\"x\"\") Formula\",written,\r\n"
                         "\"Contacts\\A, \"\"B\"\"\",1,IPM.Contact,Bad One,failed,");
    EXPECT_TRUE(csv.startsWith(expectedStart)) << csv.toStdString();
    EXPECT_TRUE(csv.endsWith(QStringLiteral("\"Contacts\\A, \"\"B\"\"\",2,IPM.DistList,Team,written,\r\n")))
        << csv.toStdString();
    EXPECT_EQ(csv.count(QStringLiteral("\r\n")), 7);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Contacts\\A, \"B\" #1 (Bad One): "))) << r.err.toStdString();

    // A run that stops before its folders leaves the report as it was, and
    // nothing beside it.
    const QByteArray before = readAll(report);
    ASSERT_TRUE(writeAll(QDir(notes::NotesSession::DataDirectory()).filePath(QStringLiteral("notes.ini")),
                         "NAMES=nowhere.nsf\n"));
    const Result stopped = cli({mixed, QStringLiteral("--new-book"), dir, QStringLiteral("--report"), report});
    EXPECT_EQ(stopped.code, 2) << stopped.err.toStdString();
    EXPECT_EQ(readAll(report), before);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("in.pst"), QStringLiteral("mixed.pst"), QStringLiteral("report.csv")}));

    // A folder is no report file: refused before anything is written.
    const QString book = home.file(QStringLiteral("book.nsf"));
    makeBook(book);
    const Result folder = cli({mixed, QStringLiteral("--into"), book, QStringLiteral("--report"), dir});
    EXPECT_EQ(folder.code, 2);
    EXPECT_TRUE(folder.err.contains(QStringLiteral("is a folder"))) << folder.err.toStdString();
    EXPECT_TRUE(documents(book).empty());
}

TEST_F(Convert, UsageMistakesAndHelp)
{
    const Result help = cli({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("usage: pellaro-cli convert FILE.pst")));

    const QStringList wrong[] = {
        {},
        {pst},
        {pst, QStringLiteral("--new-book"), dir, QStringLiteral("--into"), home.file(QStringLiteral("b.nsf"))},
        {pst, QStringLiteral("--new-book")},
        {pst, QStringLiteral("--new-book"), dir, QStringLiteral("--bogus")},
    };
    for (const QStringList& args : wrong) {
        const Result r = cli(args);
        EXPECT_EQ(r.code, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("usage:")));
    }
    EXPECT_TRUE(QDir(dir).isEmpty());
}

}  // namespace
