// Creating a new address book: file name, design source from NAMES, labels,
// and the failure that ends the program without touching anything.

#include "common/values/ProgramValues.h"
#include "export/BookCreation.h"
#include "export/notes/BookReader.h"
#include "export/notes/Notes.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempDir.h"
#include "tests/support/RecordingView.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include "tests/support/PrintQt.h"

#include <gtest/gtest.h>

using namespace notes;

namespace {

// The design notes of a book, as "kind:title".
QStringList designOf(const QString& book)
{
    QStringList titles;
    BookReader(book).forEachDocument(true, [&](const StoredDocument& d) {
        for (const StoredItem& i : d.items)
            if (i.name == QLatin1String("$TITLE"))
                titles.append(d.form + u':' + i.value);
    });
    return titles;
}

class BookCreation : public ::testing::Test {
protected:
    void SetUp() override
    {
        Global::ResetForTests();
        folder = home.file(QStringLiteral("Backup/Lotus Notes Address Book"));
        ASSERT_TRUE(QDir().mkpath(folder));
        Global::NewBookPath = folder + u'/';
    }
    void TearDown() override { Global::ResetForTests(); }

    void setNames(const QByteArray& line)
    {
        ASSERT_TRUE(writeAll(NotesSession::DataDirectory() + QStringLiteral("/notes.ini"), "[Notes]\n" + line + "\n"));
    }

    // names.nsf in the data directory with a design told apart from the
    // template's by one extra view.
    void makeNamesNsf()
    {
        NotesSession s;
        const QString path = NotesSession::DataDirectory() + QStringLiteral("/names.nsf");
        s.GetDatabase(QString(), QStringLiteral("pernames.ntf"))->CreateCopy(QString(), path);
        addMarkerView(path);
    }
    static void addMarkerView(const QString& path);

    // The books in the folder (an open book has its -wal and -shm beside it).
    QStringList filesInFolder() const
    {
        return QDir(folder).entryList({QStringLiteral("*.nsf")}, QDir::Files | QDir::NoDotAndDotDot);
    }

    TestHome home;
    ScriptedDialogs dialogs;
    RecordingView view;
    QString folder;
};

}  // namespace

#include "export/notes/BookFile.h"

using namespace exporting;

void BookCreation::addMarkerView(const QString& path)
{
    using notes::store::Connection;
    auto c = Connection::openExisting(path, Connection::Mode::ReadWrite);
    c->exec("BEGIN");
    c->insertNote(notes::store::ClassView, Connection::newUnid(),
                  {{QStringLiteral("$TITLE"), QStringLiteral("Marker")}});
    c->exec("COMMIT");
}

TEST(NewBookFileName, DayAndMonthTwoDigitsTimeWithoutLeadingZeros)
{
    EXPECT_EQ(NewBookFileName(QDateTime(QDate(2026, 12, 7), QTime(5, 43, 9))),
              QStringLiteral("names07-12-2026-5-43-9.nsf"));
    EXPECT_EQ(NewBookFileName(QDateTime(QDate(2027, 1, 2), QTime(0, 0, 0))),
              QStringLiteral("names02-01-2027-0-0-0.nsf"));
    EXPECT_EQ(NewBookFileName(QDateTime(QDate(2026, 10, 31), QTime(23, 59, 58))),
              QStringLiteral("names31-10-2026-23-59-58.nsf"));
    EXPECT_EQ(NewBookFileName(QDateTime(QDate(2026, 3, 4), QTime(12, 5, 10))),
              QStringLiteral("names04-03-2026-12-5-10.nsf"));
}

TEST(DesignSourceFromNames, FirstEntryUntrimmedElseTheTemplate)
{
    EXPECT_EQ(DesignSourceFromNames(QString()), QStringLiteral("pernames.ntf"));
    EXPECT_EQ(DesignSourceFromNames(QStringLiteral("names.nsf,archive.nsf")), QStringLiteral("names.nsf"));
    EXPECT_EQ(DesignSourceFromNames(QStringLiteral("names.nsf")), QStringLiteral("names.nsf"));
    EXPECT_EQ(DesignSourceFromNames(QStringLiteral(",names.nsf")), QString());
    EXPECT_EQ(DesignSourceFromNames(QStringLiteral(" names.nsf , x")), QStringLiteral(" names.nsf "));
    EXPECT_EQ(DesignSourceFromNames(QStringLiteral(" ")), QStringLiteral(" "));
}

TEST_F(BookCreation, WithoutNamesTheBookGetsTheTemplateDesign)
{
    const QDateTime before = QDateTime::currentDateTime();
    CreateNSF(view, dialogs);
    const QDateTime after = QDateTime::currentDateTime();

    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(view.saveHeader, QStringList{QStringLiteral("Creating Lotus Notes Address Book")});
    EXPECT_EQ(view.processing, QStringList{QStringLiteral("Please Wait...")});
    EXPECT_EQ(view.yields, 2);
    EXPECT_EQ(view.headerAtYield.first(), QStringLiteral("Creating Lotus Notes Address Book"));

    ASSERT_TRUE(Global::NewBookPath.startsWith(folder + u'/'));
    const QString name = Global::NewBookPath.mid(folder.size() + 1);
    static const QRegularExpression pattern(
        QStringLiteral("^names(\\d\\d)-(\\d\\d)-(\\d{4})-(\\d{1,2})-(\\d{1,2})-(\\d{1,2})\\.nsf$"));
    const auto m = pattern.match(name);
    ASSERT_TRUE(m.hasMatch()) << qPrintable(name);
    for (int i = 4; i <= 6; ++i)
        EXPECT_FALSE(m.captured(i).size() == 2 && m.captured(i).startsWith(u'0')) << qPrintable(name);
    EXPECT_TRUE(name == NewBookFileName(before) || name == NewBookFileName(after)
                || name == NewBookFileName(before.addSecs(1)))
        << qPrintable(name);

    EXPECT_EQ(filesInFolder(), QStringList{name});
    EXPECT_EQ(designOf(Global::NewBookPath),
              (QStringList{QStringLiteral("form:Person"), QStringLiteral("form:Group"), QStringLiteral("view:People"),
                           QStringLiteral("view:Groups")}));
    int documents = 0;
    BookReader(Global::NewBookPath).forEachDocument(false, [&](const StoredDocument&) { ++documents; });
    EXPECT_EQ(documents, 0);
}

TEST_F(BookCreation, TheFirstNamesEntryIsTheDesignSource)
{
    makeNamesNsf();
    for (const QByteArray& line : {QByteArray("NAMES=names.nsf,archive.nsf"), QByteArray("NAMES=names.nsf")}) {
        Global::NewBookPath = folder + u'/';
        setNames(line);
        CreateNSF(view, dialogs);
        EXPECT_TRUE(dialogs.messages.isEmpty()) << line.constData();
        EXPECT_TRUE(designOf(Global::NewBookPath).contains(QStringLiteral("view:Marker"))) << line.constData();
        ASSERT_TRUE(QFile::remove(Global::NewBookPath));  // the next one may fall in the same second
    }
}

TEST_F(BookCreation, AnUnusableDesignSourceShowsTheMessageAndEndsTheProgram)
{
    makeNamesNsf();
    // A leading comma names the empty text; an untrimmed first entry names a
    // file that does not exist; and a name that does not exist at all.
    for (const QByteArray& line :
         {QByteArray("NAMES=,names.nsf"), QByteArray("NAMES= names.nsf,x"), QByteArray("NAMES=nothere.nsf")}) {
        dialogs.messages.clear();
        setNames(line);
        EXPECT_THROW(CreateNSF(view, dialogs), ProgramEnded) << line.constData();
        ASSERT_EQ(dialogs.messages.size(), 1);
        const auto& msg = dialogs.messages.first();
        EXPECT_EQ(msg.text, QStringLiteral("Lotus Notes NOT INSTALLED or CONFIGURED Properly."));
        EXPECT_EQ(msg.title, QStringLiteral("Notes Not Installed/Configured"));
        EXPECT_EQ(msg.icon, MsgIcon::Information);
        EXPECT_EQ(msg.buttons, MsgButtons::Ok);
        // Opening the source failed before the name was made: unchanged.
        EXPECT_EQ(Global::NewBookPath, folder + u'/');
        EXPECT_TRUE(filesInFolder().isEmpty());
    }
    EXPECT_EQ(dialogs.endProgramCalls, 3);
}

TEST_F(BookCreation, AFolderThatCannotTakeTheBookNamesTheCauseAndEndsTheProgram)
{
    Global::NewBookPath = home.file(QStringLiteral("nowhere/Lotus Notes Address Book/"));
    EXPECT_THROW(CreateNSF(view, dialogs), ProgramEnded);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Address Book Not Created"));
    EXPECT_TRUE(
        dialogs.messages[0].text.startsWith(QStringLiteral("The new Lotus Notes Address Book could not be created.\r\n")
                                            + home.file(QStringLiteral("nowhere/"))))
        << qPrintable(dialogs.messages[0].text);
    EXPECT_TRUE(dialogs.messages[0].text.endsWith(QStringLiteral(": No such file or directory")))
        << qPrintable(dialogs.messages[0].text);
    EXPECT_FALSE(QFileInfo::exists(home.file(QStringLiteral("nowhere"))));
}

TEST_F(BookCreation, ASecondBookOfTheSameSecondGetsTheNextNumberAndNothingIsReplaced)
{
    // Files holding the name, and its "-2", of every second the creation
    // may fall in: the book gets "-3", and the files stay as they were.
    const QDateTime now = QDateTime::currentDateTime();
    std::map<QString, QByteArray> taken;
    for (int s = -1; s <= 5; ++s) {
        for (int sequence : {1, 2}) {
            const QString path = folder + u'/' + NewBookFileName(now.addSecs(s), sequence);
            taken[path] = QByteArray("earlier book ") + QByteArray::number(s);
            ASSERT_TRUE(writeAll(path, taken[path]));
        }
    }
    CreateNSF(view, dialogs);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_TRUE(Global::NewBookPath.endsWith(QStringLiteral("-3.nsf"))) << qPrintable(Global::NewBookPath);
    EXPECT_EQ(designOf(Global::NewBookPath).size(), 4);
    for (const auto& [path, bytes] : taken)
        EXPECT_EQ(readAll(path), bytes) << qPrintable(path);
    EXPECT_EQ(filesInFolder().size(), taken.size() + 1);

    // And three real creations in a row: three books, none replaced.
    for (const auto& [path, bytes] : taken)
        QFile::remove(path);
    QFile::remove(Global::NewBookPath);
    QStringList made;
    for (int i = 0; i < 3; ++i) {
        Global::NewBookPath = folder + u'/';
        CreateNSF(view, dialogs);
        made.append(Global::NewBookPath);
    }
    EXPECT_TRUE(dialogs.messages.isEmpty());
    made.removeDuplicates();
    EXPECT_EQ(made.size(), 3);
    EXPECT_EQ(filesInFolder().size(), 3);
    for (const QString& book : made)
        EXPECT_EQ(designOf(book).size(), 4) << qPrintable(book);
}
