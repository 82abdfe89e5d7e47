// The Person and Group writers: item names, values and order, the folder,
// the destination chosen at every call, and failures that skip without a
// message but are reported to the caller.

#include "common/values/ProgramValues.h"
#include "export/DocumentWriters.h"
#include "export/notes/BookReader.h"
#include "export/notes/Notes.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempDir.h"
#include "tests/support/RecordingView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tests/support/PrintQt.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <optional>
#include <set>

using namespace exporting;
using namespace notes;

namespace {

const char* const PersonItemNames[] = {"Form",
                                       "FirstName",
                                       "MiddleName",
                                       "LastName",
                                       "Suffix",
                                       "Title",
                                       "MailAddress",
                                       "CompanyName",
                                       "JobTitle",
                                       "OfficeStreetAddress",
                                       "OfficeCity",
                                       "OfficeZIP",
                                       "OfficeState",
                                       "OfficeCountry",
                                       "Location",
                                       "WebSite",
                                       "Department",
                                       "Manager",
                                       "Assistant",
                                       "OfficePhoneNumber",
                                       "OfficeFAXPhoneNumber",
                                       "CellPhoneNumber",
                                       "PhoneNumber_6",
                                       "MiscPhone1",
                                       "MiscPhone2",
                                       "MiscPhone3",
                                       "StreetAddress",
                                       "City",
                                       "Zip",
                                       "State",
                                       "Country",
                                       "Spouse",
                                       "Children",
                                       "PhoneNumber",
                                       "HomeFAXPhoneNumber",
                                       "Birthday",
                                       "Anniversary",
                                       "Comment",
                                       "Categories",
                                       "Type"};

void rawExec(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(db);
}

std::vector<StoredDocument> documents(const QString& path)
{
    std::vector<StoredDocument> docs;
    BookReader(path).forEachDocument(false, [&](const StoredDocument& d) { docs.push_back(d); });
    return docs;
}

class Writers : public ::testing::Test {
protected:
    void SetUp() override
    {
        Global::ResetForTests();
        NotesSession s;
        auto ntf = s.GetDatabase(QString(), QStringLiteral("pernames.ntf"));
        bookA = home.file(QStringLiteral("a.nsf"));
        bookB = home.file(QStringLiteral("b.nsf"));
        ntf->CreateCopy(QString(), bookA);
        ntf->CreateCopy(QString(), bookB);
    }
    void TearDown() override
    {
        EXPECT_TRUE(dialogs.messages.isEmpty()) << "a writer showed a message";
        Global::ResetForTests();
    }

    TestHome home;
    ScriptedDialogs dialogs;
    RecordingView view;
    QString bookA, bookB;
};

}  // namespace

TEST_F(Writers, PersonHoldsTheFortyItemsInOrderFiledInOutlookContacts)
{
    PersonFields f;
    for (std::size_t i = 0; i < PersonItems.size(); ++i)
        f.*PersonItems[i].field = QStringLiteral("value %1").arg(i + 1);
    f.elotus_FirstName = QStringLiteral("  Seán  ");
    f.elotus_LastName = QStringLiteral("O'Neill");
    f.elotus_Comments = QStringLiteral("line one\r\nline two ");

    Global::NewBookPath = bookA;
    bool saveIt = true;
    EXPECT_TRUE(SaveNotesContacts(f, saveIt, view));

    const auto docs = documents(bookA);
    ASSERT_EQ(docs.size(), 1u);
    const StoredDocument& d = docs[0];
    EXPECT_EQ(d.form, QStringLiteral("Person"));
    EXPECT_EQ(d.folders, QStringList{QStringLiteral("Outlook Contacts")});
    ASSERT_EQ(d.items.size(), 40u);
    for (std::size_t i = 0; i < 40; ++i)
        EXPECT_EQ(d.items[i].name, QLatin1String(PersonItemNames[i])) << i;
    EXPECT_EQ(d.items.front().value, QStringLiteral("Person"));
    EXPECT_EQ(d.items.back().value, QStringLiteral("Person"));
    for (std::size_t i = 0; i < 38; ++i)
        EXPECT_EQ(d.items[i + 1].value, f.*PersonItems[i].field) << PersonItemNames[i + 1];
    // The fields that do not go to the item of the same name.
    EXPECT_EQ(d.items[22].value, QStringLiteral("value 22"));  // pager -> PhoneNumber_6
    EXPECT_EQ(d.items[23].value, QStringLiteral("value 23"));  // other e-mail 1 -> MiscPhone1
    EXPECT_EQ(d.items[1].value, QStringLiteral("  Seán  "));
    EXPECT_EQ(d.items[3].value, QStringLiteral("O'Neill"));
}

TEST_F(Writers, EmptyPersonStillSavedWithAllItemsAndSaveItIsNotConsulted)
{
    Global::NewBookPath = bookA;
    bool saveIt = false;
    EXPECT_TRUE(SaveNotesContacts(PersonFields{}, saveIt, view));
    EXPECT_FALSE(saveIt);
    const auto docs = documents(bookA);
    ASSERT_EQ(docs.size(), 1u);
    ASSERT_EQ(docs[0].items.size(), 40u);
    for (std::size_t i = 1; i < 39; ++i) {
        EXPECT_TRUE(docs[0].items[i].value.isEmpty()) << i;
        EXPECT_EQ(docs[0].items[i].name, QLatin1String(PersonItemNames[i]));
    }
    EXPECT_EQ(docs[0].folders, QStringList{QStringLiteral("Outlook Contacts")});
}

TEST_F(Writers, GroupHoldsFiveItemsDescriptionBeforeMembers)
{
    Global::NewBookPath = bookA;
    bool saveIt = true;
    QString members;
    for (int i = 0; i < 20000; ++i)
        members += QStringLiteral("'member %1 <m%1@example.com>' ").arg(i);
    EXPECT_TRUE(SaveNotesGroups(QStringLiteral(" Team's list "), members, QStringLiteral("desc"), saveIt, view));
    EXPECT_TRUE(SaveNotesGroups(QStringLiteral("Empty"), QString(), QString(), saveIt, view));

    const auto docs = documents(bookA);
    ASSERT_EQ(docs.size(), 2u);
    const std::vector<std::pair<QString, QString>> expected
        = {{QStringLiteral("Form"), QStringLiteral("Group")},
           {QStringLiteral("ListName"), QStringLiteral(" Team's list ")},
           {QStringLiteral("ListDescription"), QStringLiteral("desc")},
           {QStringLiteral("Members"), members},
           {QStringLiteral("Type"), QStringLiteral("Group")}};
    ASSERT_EQ(docs[0].items.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(docs[0].items[i].name, expected[i].first);
        EXPECT_EQ(docs[0].items[i].value, expected[i].second) << qPrintable(expected[i].first);
    }
    EXPECT_EQ(docs[0].folders, QStringList{QStringLiteral("Outlook Groups")});
    ASSERT_EQ(docs[1].items.size(), 5u);
    EXPECT_TRUE(docs[1].items[2].value.isEmpty());
    EXPECT_TRUE(docs[1].items[3].value.isEmpty());
    EXPECT_EQ(docs[1].form, QStringLiteral("Group"));
}

TEST_F(Writers, DestinationFollowsTheModeAtEveryCall)
{
    Global::NewBookPath = bookA;
    Global::DestinationPath = bookB;
    bool saveIt = true;
    PersonFields f;

    view.newBookMode = true;
    f.elotus_FirstName = QStringLiteral("new 1");
    EXPECT_TRUE(SaveNotesContacts(f, saveIt, view));
    EXPECT_TRUE(SaveNotesGroups(QStringLiteral("new group"), QString(), QString(), saveIt, view));

    view.newBookMode = false;
    f.elotus_FirstName = QStringLiteral("existing");
    EXPECT_TRUE(SaveNotesContacts(f, saveIt, view));
    EXPECT_TRUE(SaveNotesGroups(QStringLiteral("existing group"), QString(), QString(), saveIt, view));

    view.newBookMode = true;
    f.elotus_FirstName = QStringLiteral("new 2");
    EXPECT_TRUE(SaveNotesContacts(f, saveIt, view));

    const auto a = documents(bookA);
    const auto b = documents(bookB);
    ASSERT_EQ(a.size(), 3u);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(a[0].items[1].value, QStringLiteral("new 1"));
    EXPECT_EQ(a[1].items[1].value, QStringLiteral("new group"));
    EXPECT_EQ(a[2].items[1].value, QStringLiteral("new 2"));
    EXPECT_EQ(b[0].items[1].value, QStringLiteral("existing"));
    EXPECT_EQ(b[1].items[1].value, QStringLiteral("existing group"));
}

TEST_F(Writers, ADestinationThatCannotBeOpenedWritesNothingAndReportsFailure)
{
    bool saveIt = true;
    PersonFields f;
    f.elotus_FirstName = QStringLiteral("x");

    // Missing file, empty path, a file that is not an address book, a folder.
    const QString notABook = home.file(QStringLiteral("letter.nsf"));
    const QByteArray bytes("Dear Sir,\n");
    ASSERT_TRUE(writeAll(notABook, bytes));
    const QStringList destinations = {home.file(QStringLiteral("missing.nsf")), QString(), notABook, home.path()};
    for (const QString& dest : destinations) {
        Global::NewBookPath = dest;
        Global::DestinationPath = dest;
        view.newBookMode = true;
        EXPECT_FALSE(SaveNotesContacts(f, saveIt, view)) << qPrintable(dest);
        EXPECT_FALSE(SaveNotesGroups(QStringLiteral("g"), QString(), QString(), saveIt, view));
        view.newBookMode = false;
        EXPECT_FALSE(SaveNotesContacts(f, saveIt, view));
    }
    EXPECT_FALSE(QFileInfo::exists(home.file(QStringLiteral("missing.nsf"))));
    EXPECT_EQ(readAll(notABook), bytes);
    EXPECT_TRUE(documents(bookA).empty());
    EXPECT_TRUE(documents(bookB).empty());
}

TEST_F(Writers, AFailedSaveOrFilingIsReportedWithoutAMessage)
{
    // A book that refuses new documents, then one that refuses filing: each
    // document is told lost, with the cause, and is not in the book.
    PersonFields f;
    auto writeBoth = [&] {
        BookWriter w(bookB);
        const qint64 person = w.WritePerson(f).number;
        const qint64 group = w.WriteGroup(QStringLiteral("g"), QString(), QString()).number;
        EXPECT_EQ(person, 1);
        EXPECT_EQ(group, 2);
        return w.Finish();
    };
    rawExec(bookB, "CREATE TRIGGER refuse BEFORE INSERT ON notes BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    DocumentsSettled settled = writeBoth();
    ASSERT_EQ(settled.lost.size(), 2u);
    EXPECT_EQ(settled.lost[0].number, 1);
    EXPECT_EQ(settled.lost[1].number, 2);
    EXPECT_TRUE(settled.lost[0].reason.contains(QStringLiteral("disk full"))) << qPrintable(settled.lost[0].reason);
    EXPECT_TRUE(documents(bookB).empty());

    rawExec(bookB,
            "DROP TRIGGER refuse; CREATE TRIGGER refuse BEFORE INSERT ON folder_entries "
            "BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    settled = writeBoth();
    ASSERT_EQ(settled.lost.size(), 2u);
    EXPECT_TRUE(settled.lost[1].reason.contains(QStringLiteral("disk full"))) << qPrintable(settled.lost[1].reason);
    // A document whose filing fails is taken out again: it is never in the
    // book without its folder.
    EXPECT_TRUE(documents(bookB).empty());

    rawExec(bookB, "DROP TRIGGER refuse;");
    settled = writeBoth();
    EXPECT_TRUE(settled.lost.empty());
    const auto docs = documents(bookB);
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_EQ(docs[0].folders, QStringList{QStringLiteral("Outlook Contacts")});
    EXPECT_EQ(docs[1].folders, QStringList{QStringLiteral("Outlook Groups")});
}

TEST_F(Writers, OnAFullDiskTheDocumentsCountedWrittenAreThoseInTheBook)
{
    // A file size limit stands in for a full disk: the book (or its log)
    // cannot grow past 2.5 MB, so some group cannot be committed, nor any
    // later one. Where groups close depends on the clock, so only the book's
    // agreement with the counts is certain. Both ways of writing: a book
    // this program made, and an existing one.
    for (const bool madeHere : {true, false}) {
        SCOPED_TRACE(madeHere ? "book made here" : "existing book");
        std::unique_ptr<BookWriter> writer;
        if (madeHere) {
            NotesSession s;
            writer = std::make_unique<BookWriter>(s.GetDatabase(QString(), QStringLiteral("pernames.ntf"))
                                                      ->CreateCopy(QString(), home.file(QStringLiteral("made.nsf"))));
        } else {
            writer = std::make_unique<BookWriter>(bookA);
        }
        const QString book = writer->path();
        PersonFields f;
        f.elotus_Comments = QString(900, u'x');  // about 1 KB a document
        std::optional<FileSizeLimit> full(2500 * 1024);
        qint64 reported = 0;
        std::set<qint64> lost;
        auto settle = [&](const DocumentsSettled& settled) {
            for (const auto& l : settled.lost) {
                EXPECT_TRUE(lost.insert(l.number).second) << "told lost twice: " << l.number;
                EXPECT_FALSE(l.reason.isEmpty());
            }
        };
        for (int i = 0; i < 4500; ++i) {
            reported += writer->WritePerson(f).written ? 1 : 0;
            settle(writer->TakeSettled());
        }
        const DocumentsSettled last = writer->Finish();
        settle(last);
        EXPECT_EQ(last.oldestUncommitted, 0);
        full.reset();

        // Groups were lost after their documents had been reported written.
        EXPECT_GT(lost.size(), 0u);
        const qint64 written = reported - qint64(lost.size());
        EXPECT_GT(written, 0);
        EXPECT_LT(written, 4500);
        const auto docs = documents(book);
        EXPECT_EQ(qint64(docs.size()), written);
        for (const auto& d : docs)
            ASSERT_EQ(d.folders, QStringList{QStringLiteral("Outlook Contacts")});
        EXPECT_FALSE(QFileInfo::exists(book + QStringLiteral("-journal")));
        EXPECT_FALSE(QFileInfo::exists(book + QStringLiteral("-wal")));
    }
}
