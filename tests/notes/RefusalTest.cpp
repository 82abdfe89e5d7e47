// Files that are not address books of ours are refused and left exactly as
// they were: no byte changed, no journal or side file made.

#include "export/notes/BookReader.h"
#include "export/notes/Notes.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tests/support/PrintQt.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace notes;

namespace {

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

void makeSqliteFile(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

struct Case {
    const char* name;
    QByteArray bytes;
};

}  // namespace

TEST(Refusal, FilesNotOursStayByteIdentical)
{
    TestHome home;
    const QString dir = home.file(QStringLiteral("files"));
    ASSERT_TRUE(QDir().mkpath(dir));

    // A file in the shape of a real Notes database: its header starts with
    // the file class word, then the version and the data of the note header.
    QByteArray notesDb(4096, '\0');
    notesDb[0] = 0x1A;
    notesDb[1] = 0x00;
    notesDb[2] = 0x00;
    notesDb[3] = 0x04;
    for (int i = 4; i < notesDb.size(); ++i)
        notesDb[i] = char((i * 7) & 0xFF);

    std::vector<Case> cases = {
        {"empty.nsf", QByteArray()},
        {"text.nsf", QByteArray("names.nsf is not this\n")},
        {"notes.nsf", notesDb},
        {"short-sqlite.nsf", QByteArray("SQLite format 3\0", 16)},
    };
    for (const Case& c : cases)
        ASSERT_TRUE(writeAll(dir + u'/' + QLatin1String(c.name), c.bytes));
    // Another program's SQLite file, one with our mark but another layout
    // version, and one in WAL mode (as our books are) of someone else.
    makeSqliteFile(dir + QStringLiteral("/other.nsf"), "CREATE TABLE t(x); INSERT INTO t VALUES(1);");
    makeSqliteFile(dir + QStringLiteral("/version.nsf"),
                   "PRAGMA application_id=1349402946; PRAGMA user_version=99; CREATE TABLE t(x);");
    makeSqliteFile(dir + QStringLiteral("/wal.nsf"), "PRAGMA journal_mode=WAL; CREATE TABLE t(x);");
    // Our mark, our version and our table names, but other columns.
    makeSqliteFile(dir + QStringLiteral("/columns.nsf"),
                   "PRAGMA application_id=1349402946; PRAGMA user_version=1;"
                   "CREATE TABLE book(key TEXT PRIMARY KEY, value TEXT);"
                   "INSERT INTO book VALUES('kind','book');"
                   "CREATE TABLE notes(id INTEGER PRIMARY KEY, body TEXT);"
                   "CREATE TABLE folders(folder_id INTEGER PRIMARY KEY, name TEXT);"
                   "CREATE TABLE folder_entries(note_id INTEGER, folder_id INTEGER);");

    const QStringList before = filesIn(dir);
    std::map<QString, QByteArray> bytes;
    for (const QString& f : before)
        bytes[f] = readAll(dir + u'/' + f);

    NotesSession s;
    for (const QString& f : before) {
        const QString path = dir + u'/' + f;
        EXPECT_THROW(s.GetDatabase(QString(), path), NotesError) << qPrintable(f);
        EXPECT_THROW(BookReader r(path), NotesError) << qPrintable(f);
    }
    // A directory is not a book either.
    EXPECT_THROW(s.GetDatabase(QString(), dir), NotesError);

    EXPECT_EQ(filesIn(dir), before);
    for (const QString& f : before)
        EXPECT_EQ(readAll(dir + u'/' + f), bytes[f]) << qPrintable(f);
}

TEST(Refusal, MissingFilesAreNeverCreated)
{
    TestHome home;
    NotesSession s;
    const QString missing = home.file(QStringLiteral("missing.nsf"));
    EXPECT_THROW(s.GetDatabase(QString(), missing), NotesError);
    EXPECT_THROW(BookReader r(missing), NotesError);
    EXPECT_THROW(s.GetDatabase(QString(), QStringLiteral("names.nsf")), NotesError);
    EXPECT_THROW(s.GetDatabase(QString(), QString()), NotesError);
    EXPECT_THROW(s.GetDatabase(QStringLiteral("Server/Org"), QStringLiteral("pernames.ntf")), NotesError);
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_TRUE(filesIn(NotesSession::DataDirectory()).isEmpty());
}

TEST(Refusal, ReadingABookChangesNoByte)
{
    TestHome home;
    NotesSession s;
    const QString path = home.file(QStringLiteral("b.nsf"));
    {
        auto db = s.GetDatabase(QString(), QStringLiteral("pernames.ntf"))->CreateCopy(QString(), path);
        auto doc = db->CreateDocument();
        doc->ReplaceItemValue(QStringLiteral("Form"), QStringLiteral("Person"));
        doc->Save(false, false);
        doc->PutInFolder(QStringLiteral("Outlook Contacts"));
    }
    // The writing finished, so the file holds everything; then read it.
    FinishWriting();
    const QByteArray before = readAll(path);
    int n = 0;
    BookReader(path).forEachDocument(true, [&](const StoredDocument&) { ++n; });
    EXPECT_EQ(n, 5);
    EXPECT_EQ(readAll(path), before);
}
