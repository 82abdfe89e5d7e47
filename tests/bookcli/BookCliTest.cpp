// pellaro-cli book create and book dump, run as the user runs them.

#include "common/values/ProgramValues.h"
#include "export/DocumentWriters.h"
#include "tests/support/RunCli.h"
#include "tests/support/TempDir.h"
#include "tests/support/RecordingView.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/mount.h>
#include <sys/stat.h>

namespace {

// Runs pellaro-cli; `shell` runs it through /bin/sh with that text before
// the command (limits, traps), `workingDir` in that folder.
CliRun cli(const QStringList& args, const QString& workingDir = QString(), const QString& shell = QString())
{
    // What this test wrote is finished, so another process sees all of it.
    FinishDocumentWrites();
    CliOptions options;
    options.workingDir = workingDir;
    options.shell = shell;
    options.timeoutMs = 60000;
    return runCli(args, options);
}

QList<QJsonObject> jsonLines(const QByteArray& out)
{
    QList<QJsonObject> docs;
    for (const QByteArray& line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError e;
        const QJsonDocument d = QJsonDocument::fromJson(line, &e);
        EXPECT_EQ(e.error, QJsonParseError::NoError) << line.constData();
        docs.append(d.object());
    }
    return docs;
}

QString createBook(const TestHome& home)
{
    const CliRun r = cli({"book", "create", home.path()});
    EXPECT_EQ(r.status, 0) << r.err.constData();
    return QString::fromUtf8(r.out).trimmed();
}

class BookCli : public ::testing::Test {
protected:
    TestHome home;
    void TearDown() override { Global::ResetForTests(); }
};

TEST_F(BookCli, CreatePreparesTheFolderAndPrintsTheNewBook)
{
    const QString book = createBook(home);
    const QFileInfo info(book);
    EXPECT_TRUE(info.isFile());
    EXPECT_EQ(info.absolutePath(), QDir(home.path()).filePath("Lotus Notes Address Book"));
    EXPECT_TRUE(QRegularExpression("^names\\d\\d-\\d\\d-\\d{4}-\\d{1,2}-\\d{1,2}-\\d{1,2}\\.nsf$")
                    .match(info.fileName())
                    .hasMatch())
        << info.fileName().toStdString();

    // A new book holds its design and nothing else.
    const CliRun dump = cli({"book", "dump", book});
    EXPECT_EQ(dump.status, 0);
    EXPECT_TRUE(dump.out.isEmpty());
    const QList<QJsonObject> design = jsonLines(cli({"book", "dump", book, "--design"}).out);
    QStringList titles;
    for (const QJsonObject& o : design)
        titles.append(o["items"].toArray().first().toArray().at(1).toString());
    EXPECT_TRUE(titles.contains("Person"));
    EXPECT_TRUE(titles.contains("Group"));
}

TEST_F(BookCli, CreateFailsWithOneLineForAMissingFolder)
{
    const CliRun r = cli({"book", "create", home.file("absent")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
    EXPECT_FALSE(QFileInfo::exists(home.file("absent")));
}

TEST_F(BookCli, DumpPrintsDocumentsWithItemsInStoredOrder)
{
    const QString book = createBook(home);
    RecordingView view;
    view.newBookMode = false;
    Global::DestinationPath = book;
    PersonFields f;
    f.elotus_FirstName = " Ann-Marie ";
    f.elotus_LastName = QString::fromUtf8("O'Brien \"Ж\"\n2");
    bool saveIt = true;
    ASSERT_TRUE(SaveNotesContacts(f, saveIt, view));
    ASSERT_TRUE(SaveNotesGroups("Friends", "'a@b.example' ", "", saveIt, view));

    const CliRun r = cli({"book", "dump", book});
    ASSERT_EQ(r.status, 0) << r.err.constData();
    const QList<QJsonObject> docs = jsonLines(r.out);
    ASSERT_EQ(docs.size(), 2);

    EXPECT_EQ(docs[0]["form"].toString(), "Person");
    EXPECT_EQ(docs[0]["folders"].toArray(), QJsonArray({"Outlook Contacts"}));
    const QJsonArray items = docs[0]["items"].toArray();
    ASSERT_EQ(items.size(), 40);
    EXPECT_EQ(items[0].toArray(), QJsonArray({"Form", "Person"}));
    EXPECT_EQ(items[1].toArray(), QJsonArray({"FirstName", " Ann-Marie "}));
    EXPECT_EQ(items[3].toArray(), QJsonArray({"LastName", QString::fromUtf8("O'Brien \"Ж\"\n2")}));
    EXPECT_EQ(items[39].toArray(), QJsonArray({"Type", "Person"}));
    EXPECT_GT(docs[0]["noteid"].toInteger(), 0);
    EXPECT_EQ(docs[0]["unid"].toString().size(), 32);

    EXPECT_EQ(docs[1]["form"].toString(), "Group");
    EXPECT_EQ(docs[1]["folders"].toArray(), QJsonArray({"Outlook Groups"}));
    EXPECT_EQ(docs[1]["items"].toArray().size(), 5);
}

TEST_F(BookCli, DumpRefusesWhatIsNotOneOfOurBooksAndLeavesItAlone)
{
    const QString random = home.file("random.nsf");
    QByteArray bytes;
    for (int i = 0; i < 4096; ++i)
        bytes.append(char((i * 131) & 0xFF));
    ASSERT_TRUE(writeAll(random, bytes));

    for (const QString& path : {random, home.file("missing.nsf")}) {
        const CliRun r = cli({"book", "dump", path});
        EXPECT_EQ(r.status, 2) << path.toStdString();
        EXPECT_FALSE(r.err.isEmpty());
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_EQ(readAll(random), bytes);
    EXPECT_FALSE(QFileInfo::exists(home.file("missing.nsf")));
    EXPECT_FALSE(QFileInfo::exists(random + "-wal"));
}

TEST_F(BookCli, CreateTakesRelativeFoldersFromTheWorkingDirectoryAndNamesTheCauseOfAFailure)
{
    ASSERT_TRUE(QDir(home.path()).mkdir("same"));
    const CliRun r = cli({"book", "create", "same"}, home.path());
    ASSERT_EQ(r.status, 0) << r.err.constData();
    const QString book = QString::fromUtf8(r.out).trimmed();
    EXPECT_EQ(QFileInfo(book).absolutePath(), home.file("same/Lotus Notes Address Book"));
    EXPECT_TRUE(QFileInfo(book).isFile());

    // A disk that takes no more (a file size limit stands in for it): the
    // message names the cause, not a missing Notes.
    ASSERT_TRUE(QDir(home.path()).mkdir("full"));
    const CliRun full = cli({"book", "create", home.file("full")}, QString(), "trap '' XFSZ; ulimit -f 4");
    EXPECT_EQ(full.status, 1);
    EXPECT_TRUE(full.err.contains("could not be created")) << full.err.constData();
    EXPECT_FALSE(full.err.contains("NOT INSTALLED")) << full.err.constData();
    EXPECT_TRUE(QDir(home.file("full/Lotus Notes Address Book")).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(BookCli, ReadingLeavesNothingBesideTheBookAndRefusesPipesAtOnce)
{
    const QString book = createBook(home);
    const QString folder = QFileInfo(book).absolutePath();
    const QStringList alone{QFileInfo(book).fileName()};
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), alone);
    EXPECT_EQ(cli({"book", "dump", book}).status, 0);
    EXPECT_EQ(cli({"book", "export", book, "--vcard", home.file("out.vcf")}).status, 0);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), alone);

    // A book still marked for the log, with no log beside it, is read
    // without making one.
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(book).constData(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    ASSERT_EQ(readAll(book).at(18), 2);
    EXPECT_EQ(cli({"book", "dump", book, "--design"}).status, 0);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), alone);

    const QString pipe = home.file("pipe.nsf");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QStringList& args :
         {QStringList{"book", "dump", pipe}, QStringList{"book", "export", pipe, "--dxl", home.file("out.dxl")}}) {
        const CliRun r = cli(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("not a file")) << r.err.constData();
    }
}

TEST_F(BookCli, ABookOnAReadOnlyFileSystemIsDumped)
{
    const QString mountPoint = home.file("ro");
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    const QByteArray where = QFile::encodeName(mountPoint);
    if (::mount("pellaro-test", where.constData(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here (needs root)";
    const QString book = createBook(home);
    const QString copy = mountPoint + "/book.nsf";
    const bool copied = QFile::copy(book, copy);
    const bool readOnly = ::mount("pellaro-test", where.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=4m") == 0;
    const CliRun r = cli({"book", "dump", copy, "--design"});
    const QStringList after = QDir(mountPoint).entryList(QDir::Files | QDir::Hidden);
    ::umount(where.constData());
    ASSERT_TRUE(copied && readOnly);
    EXPECT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(jsonLines(r.out).size(), 4);
    EXPECT_EQ(after, QStringList{"book.nsf"});
}

TEST_F(BookCli, HelpAndUsage)
{
    for (const QStringList& args : {QStringList{"book", "create", "--help"}, QStringList{"book", "dump", "--help"}}) {
        const CliRun r = cli(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.out.contains("usage: pellaro-cli book"));
    }
    EXPECT_EQ(cli({"book", "dump"}).status, 2);
}

}  // namespace
