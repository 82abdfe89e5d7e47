// The address-book store: templates, copies, documents, folders, durability
// and the cache of open books.

#include "export/notes/BookReader.h"
#include "export/notes/Notes.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tests/notes/PrintQt.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

using namespace notes;

namespace {

std::vector<StoredDocument> readAllDocuments(const QString& path, bool withDesign = false)
{
    std::vector<StoredDocument> docs;
    BookReader(path).forEachDocument(withDesign, [&](const StoredDocument& d) { docs.push_back(d); });
    return docs;
}

const StoredItem* findItem(const StoredDocument& d, const QString& name)
{
    for (const StoredItem& i : d.items)
        if (i.name == name)
            return &i;
    return nullptr;
}

// A new empty book from the installed template.
QString newBook(const QString& path)
{
    NotesSession s;
    s.GetDatabase(QString(), QStringLiteral("pernames.ntf"))->CreateCopy(QString(), path);
    return path;
}

void writeDoc(const QString& book, const std::vector<std::pair<QString, QString>>& items, const QString& folder)
{
    NotesSession s;
    auto db = s.GetDatabase(QString(), book);
    auto doc = db->CreateDocument();
    for (const auto& [n, v] : items)
        doc->ReplaceItemValue(n, v);
    doc->Save(false, false);
    if (!folder.isEmpty())
        doc->PutInFolder(folder);
}

void rawExec(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &err);
    EXPECT_EQ(rc, SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);
}

} // namespace

TEST(Template, ShippedTemplateHoldsTheAddressBookDesign)
{
    TestHome home;
    NotesSession s;
    auto db = s.GetDatabase(QString(), QStringLiteral("pernames.ntf"));
    EXPECT_TRUE(db->FilePath().endsWith(QStringLiteral("/templates/pernames.ntf"))) << qPrintable(db->FilePath());

    std::map<QString, StoredDocument> design;
    for (const StoredDocument& d : readAllDocuments(db->FilePath(), true)) {
        EXPECT_TRUE(d.isDesign);
        design[d.form + u':' + findItem(d, QStringLiteral("$TITLE"))->value] = d;
    }
    ASSERT_EQ(design.size(), 4u);
    const StoredDocument& person = design.at(QStringLiteral("form:Person"));
    const QStringList personFields = findItem(person, QStringLiteral("$Fields"))->value.split(u',');
    ASSERT_EQ(personFields.size(), 40);
    EXPECT_EQ(personFields.first(), QStringLiteral("Form"));
    EXPECT_EQ(personFields.last(), QStringLiteral("Type"));
    EXPECT_TRUE(personFields.contains(QStringLiteral("PhoneNumber_6")));
    EXPECT_EQ(findItem(design.at(QStringLiteral("form:Group")), QStringLiteral("$Fields"))->value,
              QStringLiteral("Form,ListName,ListDescription,Members,Type"));
    const StoredDocument& people = design.at(QStringLiteral("view:People"));
    EXPECT_EQ(findItem(people, QStringLiteral("$Columns"))->value,
              QStringLiteral("LastName ascending,FirstName ascending"));
    EXPECT_EQ(findItem(people, QStringLiteral("$Selection"))->value, QStringLiteral("Form = \"Person\""));
    EXPECT_EQ(findItem(design.at(QStringLiteral("view:Groups")), QStringLiteral("$Columns"))->value,
              QStringLiteral("ListName ascending"));
}

TEST(CreateCopy, CopiesTheDesignWithANewReplicaIdAndNoDocuments)
{
    TestHome home;
    NotesSession s;
    auto ntf = s.GetDatabase(QString(), QStringLiteral("pernames.ntf"));
    const QString path = home.file(QStringLiteral("a.nsf"));
    auto copy = ntf->CreateCopy(QString(), path);
    EXPECT_EQ(copy->FilePath(), path);

    const auto designOfTemplate = readAllDocuments(ntf->FilePath(), true);
    const auto designOfCopy = readAllDocuments(path, true);
    ASSERT_EQ(designOfCopy.size(), designOfTemplate.size());
    for (std::size_t i = 0; i < designOfCopy.size(); ++i) {
        EXPECT_TRUE(designOfCopy[i].isDesign);
        EXPECT_EQ(designOfCopy[i].unid, designOfTemplate[i].unid);
        ASSERT_EQ(designOfCopy[i].items.size(), designOfTemplate[i].items.size());
        for (std::size_t j = 0; j < designOfCopy[i].items.size(); ++j) {
            EXPECT_EQ(designOfCopy[i].items[j].name, designOfTemplate[i].items[j].name);
            EXPECT_EQ(designOfCopy[i].items[j].value, designOfTemplate[i].items[j].value);
        }
    }
    EXPECT_TRUE(readAllDocuments(path).empty());

    BookReader t(ntf->FilePath()), c(path);
    EXPECT_EQ(c.title(), t.title());
    EXPECT_EQ(c.replicaId().size(), 16);
    EXPECT_NE(c.replicaId(), t.replicaId());
    EXPECT_NE(BookReader(newBook(home.file(QStringLiteral("b.nsf")))).replicaId(), c.replicaId());

    // A book is kept in WAL mode (header bytes 18 and 19).
    const QByteArray header = readAll(path).left(20);
    EXPECT_EQ(header[18], 2);
    EXPECT_EQ(header[19], 2);
}

TEST(CreateCopy, NeverReplacesAnExistingFile)
{
    TestHome home;
    NotesSession s;
    auto ntf = s.GetDatabase(QString(), QStringLiteral("pernames.ntf"));

    const QString other = home.file(QStringLiteral("other.nsf"));
    const QByteArray bytes("not to be touched\n");
    ASSERT_TRUE(writeAll(other, bytes));
    EXPECT_THROW(ntf->CreateCopy(QString(), other), NotesError);
    EXPECT_EQ(readAll(other), bytes);

    // Nor an address book with documents, nor a dangling link.
    const QString book = newBook(home.file(QStringLiteral("book.nsf")));
    writeDoc(book, {{QStringLiteral("Form"), QStringLiteral("Person")}}, QString());
    EXPECT_THROW(ntf->CreateCopy(QString(), book), NotesError);
    EXPECT_EQ(readAllDocuments(book).size(), 1u);

    const QString link = home.file(QStringLiteral("link.nsf"));
    ASSERT_EQ(::symlink(home.file(QStringLiteral("nowhere.nsf")).toLocal8Bit().constData(), link.toLocal8Bit().constData()), 0);
    EXPECT_THROW(ntf->CreateCopy(QString(), link), NotesError);
    EXPECT_FALSE(QFileInfo::exists(home.file(QStringLiteral("nowhere.nsf"))));

    // A folder that does not exist: nothing is created.
    EXPECT_THROW(ntf->CreateCopy(QString(), home.file(QStringLiteral("missing/x.nsf"))), NotesError);
    EXPECT_FALSE(QFileInfo::exists(home.file(QStringLiteral("missing"))));
}

TEST(Document, ItemsKeepTheirWrittenOrderAndExactValues)
{
    TestHome home;
    const QString book = newBook(home.file(QStringLiteral("b.nsf")));
    const QString lone = QString(QChar(0xD800)) + QStringLiteral("x");  // a lone surrogate, as Outlook may hold
    writeDoc(book,
             {{QStringLiteral("Form"), QStringLiteral("Person")},
              {QStringLiteral("Zeta"), QStringLiteral("  two blanks  ")},
              {QStringLiteral("Alpha"), QString()},
              {QStringLiteral("Quote"), QStringLiteral("O'Brien 'x' ")},
              {QStringLiteral("ALPHA"), QStringLiteral("replaced")},  // same item, other case
              {QStringLiteral("Text"), QStringLiteral("Zoë 日本 \U0001F600\r\nline\ttab")},
              {QStringLiteral("Odd"), lone},
              {QStringLiteral("Type"), QStringLiteral("Person")}},
             QStringLiteral("F"));
    const auto docs = readAllDocuments(book);
    ASSERT_EQ(docs.size(), 1u);
    const StoredDocument& d = docs[0];
    EXPECT_FALSE(d.isDesign);
    EXPECT_EQ(d.form, QStringLiteral("Person"));
    EXPECT_EQ(d.unid.size(), 32);
    EXPECT_GT(d.noteId, 0);
    const std::vector<std::pair<QString, QString>> expected = {
        {QStringLiteral("Form"), QStringLiteral("Person")},
        {QStringLiteral("Zeta"), QStringLiteral("  two blanks  ")},
        {QStringLiteral("ALPHA"), QStringLiteral("replaced")},
        {QStringLiteral("Quote"), QStringLiteral("O'Brien 'x' ")},
        {QStringLiteral("Text"), QStringLiteral("Zoë 日本 \U0001F600\r\nline\ttab")},
        {QStringLiteral("Odd"), lone},
        {QStringLiteral("Type"), QStringLiteral("Person")}};
    ASSERT_EQ(d.items.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(d.items[i].name, expected[i].first) << i;
        EXPECT_EQ(d.items[i].value, expected[i].second) << i;
    }
}

TEST(Document, SavingAgainReplacesTheStoredItems)
{
    TestHome home;
    const QString book = newBook(home.file(QStringLiteral("b.nsf")));
    NotesSession s;
    auto db = s.GetDatabase(QString(), book);
    auto doc = db->CreateDocument();
    doc->ReplaceItemValue(QStringLiteral("A"), QStringLiteral("1"));
    doc->Save(false, false);
    doc->ReplaceItemValue(QStringLiteral("A"), QStringLiteral("2"));
    doc->ReplaceItemValue(QStringLiteral("B"), QStringLiteral("3"));
    doc->Save(false, false);
    const auto docs = readAllDocuments(book);
    ASSERT_EQ(docs.size(), 1u);
    ASSERT_EQ(docs[0].items.size(), 2u);
    EXPECT_EQ(docs[0].items[0].value, QStringLiteral("2"));
    EXPECT_EQ(docs[0].items[1].value, QStringLiteral("3"));
}

TEST(Folders, CreatedOnFirstUseAndOnlyForSavedDocuments)
{
    TestHome home;
    const QString book = newBook(home.file(QStringLiteral("b.nsf")));
    NotesSession s;
    auto db = s.GetDatabase(QString(), book);

    auto unsaved = db->CreateDocument();
    unsaved->ReplaceItemValue(QStringLiteral("Form"), QStringLiteral("Person"));
    EXPECT_THROW(unsaved->PutInFolder(QStringLiteral("Outlook Contacts")), NotesError);
    EXPECT_TRUE(readAllDocuments(book).empty());

    writeDoc(book, {{QStringLiteral("Form"), QStringLiteral("Person")}}, QStringLiteral("Outlook Contacts"));
    writeDoc(book, {{QStringLiteral("Form"), QStringLiteral("Person")}}, QStringLiteral("Outlook Contacts"));
    auto both = db->CreateDocument();
    both->ReplaceItemValue(QStringLiteral("Form"), QStringLiteral("Group"));
    both->Save(false, false);
    both->PutInFolder(QStringLiteral("Outlook Groups"));
    both->PutInFolder(QStringLiteral("Outlook Contacts"));
    both->PutInFolder(QStringLiteral("Outlook Groups"));  // filing twice changes nothing

    const auto docs = readAllDocuments(book);
    ASSERT_EQ(docs.size(), 3u);
    EXPECT_EQ(docs[0].folders, QStringList{QStringLiteral("Outlook Contacts")});
    EXPECT_EQ(docs[1].folders, QStringList{QStringLiteral("Outlook Contacts")});
    EXPECT_EQ(docs[2].folders, (QStringList{QStringLiteral("Outlook Contacts"), QStringLiteral("Outlook Groups")}));
    EXPECT_EQ(docs[2].form, QStringLiteral("Group"));
}

// The writer of the test below, run in a process of its own (a forked copy
// of a test program must not go on using SQLite connections of its parent).
TEST(DurabilityChild, WriteUntilKilled)
{
    const QByteArray book = qgetenv("PELLARO_TEST_WRITER_BOOK");
    if (book.isEmpty())
        GTEST_SKIP() << "only run by Durability.AKilledWriterLosesAtMostTheDocumentInProgress";
    const int out = qEnvironmentVariableIntValue("PELLARO_TEST_WRITER_FD");
    for (int i = 0;; ++i) {
        writeDoc(QString::fromLocal8Bit(book),
                 {{QStringLiteral("Form"), QStringLiteral("Person")}, {QStringLiteral("N"), QString::number(i)}},
                 QStringLiteral("Outlook Contacts"));
        const char c = 1;
        if (::write(out, &c, 1) != 1)
            ::_exit(1);
    }
}

TEST(Durability, AKilledWriterLosesAtMostTheDocumentInProgress)
{
    TestHome home;
    const QString book = newBook(home.file(QStringLiteral("b.nsf")));
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        ::setenv("PELLARO_TEST_WRITER_BOOK", book.toLocal8Bit().constData(), 1);
        ::setenv("PELLARO_TEST_WRITER_FD", QByteArray::number(pipeFds[1]).constData(), 1);
        ::execl("/proc/self/exe", "test_notes", "--gtest_filter=DurabilityChild.WriteUntilKilled", nullptr);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    int confirmed = 0;
    char buf[64];
    while (confirmed < 300) {
        const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
        ASSERT_GT(n, 0) << "the writer stopped early";
        confirmed += int(n);
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(pipeFds[0]);
    EXPECT_TRUE(WIFSIGNALED(status));

    // Every document the writer had confirmed is in the book, in order; only
    // the last one may have died between its save and its filing.
    const auto docs = readAllDocuments(book);
    ASSERT_GE(int(docs.size()), confirmed);
    for (std::size_t i = 0; i < docs.size(); ++i) {
        EXPECT_EQ(findItem(docs[i], QStringLiteral("N"))->value, QString::number(i));
        if (i + 1 < docs.size()) {
            EXPECT_EQ(docs[i].folders, QStringList{QStringLiteral("Outlook Contacts")});
        }
    }
    // And the book takes further documents.
    writeDoc(book, {{QStringLiteral("Form"), QStringLiteral("Person")}}, QStringLiteral("Outlook Contacts"));
    EXPECT_EQ(readAllDocuments(book).size(), docs.size() + 1);
}

TEST(Cache, AFileReplacedOnDiskIsOpenedAfresh)
{
    TestHome home;
    const QString book = newBook(home.file(QStringLiteral("b.nsf")));
    writeDoc(book, {{QStringLiteral("Form"), QStringLiteral("Person")}}, QStringLiteral("Outlook Contacts"));

    // Another book moved over the first one's name.
    const QString other = newBook(home.file(QStringLiteral("other.nsf")));
    ASSERT_EQ(::rename(other.toLocal8Bit().constData(), book.toLocal8Bit().constData()), 0);
    writeDoc(book, {{QStringLiteral("Form"), QStringLiteral("Group")}}, QStringLiteral("Outlook Contacts"));
    auto docs = readAllDocuments(book);
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0].form, QStringLiteral("Group"));

    // A book removed is not found again, and not recreated.
    QFile::remove(book);
    NotesSession s;
    EXPECT_THROW(s.GetDatabase(QString(), book), NotesError);
    EXPECT_FALSE(QFileInfo::exists(book));

    // A new book under the name of a removed one starts empty, and takes
    // nothing of the removed one's log.
    newBook(book);
    EXPECT_TRUE(readAllDocuments(book).empty());
    writeDoc(book, {{QStringLiteral("Form"), QStringLiteral("Person")}}, QStringLiteral("Outlook Contacts"));
    docs = readAllDocuments(book);
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0].form, QStringLiteral("Person"));
}

TEST(Cache, FoldersChangedByAnotherProgramAreLookedUpAgain)
{
    TestHome home;
    const QString book = newBook(home.file(QStringLiteral("b.nsf")));
    writeDoc(book, {{QStringLiteral("Form"), QStringLiteral("Person")}}, QStringLiteral("Outlook Contacts"));

    // Someone else rebuilds the folder under another id.
    rawExec(book, "DELETE FROM folder_entries; DELETE FROM folders; "
                  "INSERT INTO folders(folder_id, name) VALUES(77, 'Outlook Contacts');");
    writeDoc(book, {{QStringLiteral("Form"), QStringLiteral("Person")}}, QStringLiteral("Outlook Contacts"));
    const auto docs = readAllDocuments(book);
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_TRUE(docs[0].folders.isEmpty());
    EXPECT_EQ(docs[1].folders, QStringList{QStringLiteral("Outlook Contacts")});
}
