// The export window's real controls: captions and arrangement, the enable
// rules, the picks that start a run, and the guard while a run is under way.

#include "app/QtDialogs.h"
#include "app/frmSave.h"
#include "common/values/ProgramValues.h"
#include "export/ConversionDriver.h"
#include "export/ExportLabels.h"
#include "export/ExportMessages.h"
#include "export/DocumentWriters.h"
#include "export/notes/Notes.h"
#include "source/outlook/Outlook.h"
#include "tests/support/ExportFixtures.h"
#include "tests/support/RecordingView.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <memory>

#include <sqlite3.h>

using namespace exporting;
using namespace fixtures;

namespace {

QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

// Clicks an option button on its round mark, where it takes clicks.
void clickOption(QRadioButton* option)
{
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
}

// Lets deferred deletions run, so an unloaded window is really gone.
void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

}  // namespace

class ExportWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        home = std::make_unique<TestHome>();
        dialogs = std::make_unique<ScriptedDialogs>();
        Global::ResetForTests();
    }

    void cleanup()
    {
        if (frmSave::exists())
            delete &frmSave::instance();
        settle();
        dialogs.reset();
        home.reset();
        Global::ResetForTests();
    }

    void endProgramFinishesTheBooksBeingWritten()
    {
        // Documents written, then the program ends at once (File > Exit):
        // the book alone holds them, with nothing left beside it.
        const QString book = home->file(QStringLiteral("book.nsf"));
        makeBook(book);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PELLARO_TEST_END_PROGRAM_BOOK"), book);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), EXIT_SUCCESS);
        QCOMPARE(QDir(home->path()).entryList({QStringLiteral("book.nsf*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("book.nsf")});
        const auto docs = documents(book);
        QCOMPARE(docs.size(), std::size_t(10));
        for (const auto& d : docs)
            QCOMPARE(d.folders, QStringList{QStringLiteral("Outlook Contacts")});
    }

    void designStateCaptionsAndArrangement()
    {
        frmSave& w = frmSave::instance();
        QCOMPARE(w.windowTitle(), QStringLiteral("Export Pellaro"));
        QCOMPARE(w.size(), twips(0, 0, 7350, 4365).size());
        QCOMPARE(w.font().pointSizeF(), 8.25);

        QCOMPARE(w.OptNewNSF->text(), QStringLiteral("Save to New Lotus Notes Address Book "));
        QCOMPARE(w.OptExistingNSF->text(), QStringLiteral("Save in Existing names.nsf file"));
        QVERIFY(w.OptNewNSF->font().bold());
        QCOMPARE(w.CmdNewNSF->text(), QStringLiteral("&Select..."));
        QCOMPARE(w.CmdExistingNSF->text(), QStringLiteral("&Select..."));
        QCOMPARE(w.CmdConversion->text(), QStringLiteral("&Export Mailbox"));
        QCOMPARE(w.ExportFrame->title(), QStringLiteral(" Export Progress Details"));
        QCOMPARE(w.LblSaveHeader->text(), QStringLiteral(" Select saving format"));
        QCOMPARE(w.LblSubject->text(), QStringLiteral("Subject :"));
        QCOMPARE(w.LblFoundLabel->text(), QStringLiteral("Found :"));
        QCOMPARE(w.LblCurrentLabel->text(), QStringLiteral("Current :"));
        QVERIFY(w.LblProcessing->text().isEmpty());
        QVERIFY(w.LblFound->text().isEmpty());
        QVERIFY(w.LblCurrent->text().isEmpty());

        QCOMPARE(w.OptNewNSF->geometry(), twips(120, 240, 7095, 255));
        QCOMPARE(w.txtNSFFileName->geometry(), twips(1560, 600, 4335, 375));
        QCOMPARE(w.CmdExistingNSF->geometry(), twips(6000, 1680, 1215, 375));
        QCOMPARE(w.ExportFrame->geometry(), twips(120, 2400, 7095, 1815));
        // The export button lies below the client area.
        QCOMPARE(w.CmdConversion->geometry(), twips(2640, 4440, 2175, 435));
        QVERIFY(w.CmdConversion->y() > w.height());

        QVERIFY(w.txtNSFFileName->isReadOnly());
        QVERIFY(w.txtExNSFFileName->isReadOnly());
        QVERIFY(!w.OptNewNSF->isChecked());
        QVERIFY(!w.OptExistingNSF->isChecked());
        QVERIFY(!w.CmdNewNSF->isEnabled());
        QVERIFY(!w.CmdExistingNSF->isEnabled());
        QVERIFY(!w.CmdConversion->isEnabled());
        QVERIFY(w.LblSubject->isHidden());
    }

    void optionsSwitchTheirPairsButNotTheExportButton()
    {
        frmSave& w = frmSave::instance();
        w.show();
        clickOption(w.OptExistingNSF);
        QVERIFY(w.OptExistingNSF->isChecked());
        QVERIFY(!w.OptNewNSF->isChecked());
        QVERIFY(w.CmdExistingNSF->isEnabled() && w.txtExNSFFileName->isEnabled());
        QVERIFY(!w.CmdNewNSF->isEnabled() && !w.txtNSFFileName->isEnabled());

        w.txtExNSFFileName->setText(QStringLiteral("/some/book.nsf"));
        QVERIFY(w.CmdConversion->isEnabled());
        clickOption(w.OptNewNSF);
        QVERIFY(w.OptNewNSF->isChecked());
        QVERIFY(!w.OptExistingNSF->isChecked());
        QVERIFY(w.CmdNewNSF->isEnabled() && w.txtNSFFileName->isEnabled());
        QVERIFY(!w.CmdExistingNSF->isEnabled() && !w.txtExNSFFileName->isEnabled());
        QVERIFY(w.CmdConversion->isEnabled());

        // Clicking the selected option again keeps it selected.
        clickOption(w.OptNewNSF);
        QVERIFY(w.OptNewNSF->isChecked());
    }

    void exportButtonFollowsTheTrimmedTextOfTheBoxThatChanged()
    {
        frmSave& w = frmSave::instance();
        w.txtNSFFileName->setText(QStringLiteral("   "));
        QVERIFY(!w.CmdConversion->isEnabled());
        w.txtNSFFileName->setText(QStringLiteral(" /data "));
        QVERIFY(w.CmdConversion->isEnabled());
        // Only the box that changed counts.
        w.txtExNSFFileName->setText(QStringLiteral(" "));
        QVERIFY(!w.CmdConversion->isEnabled());
    }

    void cancelledChoicesStartNothing()
    {
        frmSave& w = frmSave::instance();
        w.OptNewNSF_Click();
        w.txtNSFFileName->setText(QStringLiteral("/earlier"));
        Global::DestinationPath = QStringLiteral("/earlier");
        QTest::mouseClick(w.CmdNewNSF, Qt::LeftButton);
        QCOMPARE(dialogs->folderRequests.size(), 1);
        QCOMPARE(dialogs->folderRequests[0].owner, static_cast<QWidget*>(nullptr));
        QCOMPARE(dialogs->folderRequests[0].filterOrTitle,
                 QStringLiteral("Select Folder to Save Notes Address Book File"));
        QVERIFY(Global::DestinationPath.isEmpty());
        QCOMPARE(w.txtNSFFileName->text(), QStringLiteral("/earlier"));

        w.OptExistingNSF_Click();
        w.txtExNSFFileName->setText(QStringLiteral("/earlier.nsf"));
        QTest::mouseClick(w.CmdExistingNSF, Qt::LeftButton);
        QCOMPARE(dialogs->openFileRequests.size(), 1);
        QCOMPARE(dialogs->openFileRequests[0].owner, static_cast<QWidget*>(&w));
        QCOMPARE(dialogs->openFileRequests[0].filterOrTitle, QStringLiteral("Lotus Notes Address Book (*.nsf)|*.nsf"));
        QVERIFY(w.txtExNSFFileName->text().isEmpty());
        QVERIFY(!w.CmdConversion->isEnabled());

        QVERIFY(dialogs->messages.isEmpty());
        QVERIFY(w.LblSubject->isHidden());
        QVERIFY(frmSave::exists());
    }

    void pickingAFolderRunsTheExportGuardedAndUnloads()
    {
        const QString pst = profileStore();
        const QString picked = home->file(QStringLiteral("picked"));
        QDir().mkpath(picked);
        dialogs->folders = {picked};

        QPointer<frmSave> w = &frmSave::instance();
        w->OptNewNSF_Click();
        w->show();

        // What the window allows at the first yield of the run.
        bool checked = false;
        QTimer::singleShot(0, w, [&] {
            checked = true;
            QVERIFY(!w->OptNewNSF->isEnabled());
            QVERIFY(!w->OptExistingNSF->isEnabled());
            QVERIFY(!w->CmdNewNSF->isEnabled());
            QVERIFY(!w->CmdExistingNSF->isEnabled());
            QVERIFY(w->LblSubject->isVisible());
            QCOMPARE(w->LblSaveHeader->text(), QStringLiteral("Checking Configuration..."));
            // Closing is refused, Escape too, and a second start does nothing.
            QVERIFY(!w->close());
            QTest::keyClick(w, Qt::Key_Escape);
            w->CmdConversion_Click();
            QVERIFY(w->isVisible());
            QVERIFY(dialogs->messages.isEmpty());
        });
        QTest::mouseClick(w->CmdNewNSF, Qt::LeftButton);
        settle();

        QVERIFY(checked);
        QVERIFY(w.isNull());
        QVERIFY(!frmSave::exists());
        QCOMPARE(dialogs->messages.size(), 1);
        QCOMPARE(dialogs->messages[0].icon, MsgIcon::Information);
        QCOMPARE(dialogs->messages[0].title, QStringLiteral("Export Complete"));
        QVERIFY(Global::NewBookPath.startsWith(picked + QStringLiteral("/Lotus Notes Address Book/names")));
        QCOMPARE(Global::DestinationPath, picked + QStringLiteral("/Lotus Notes Address Book/"));
        QVERIFY(dialogs->messages[0].text.endsWith(Global::NewBookPath));
        QVERIFY(Global::SelectedFolders.isEmpty());
        Q_UNUSED(pst);
        // The book is finished: nothing beside it, and the .nsf alone,
        // copied elsewhere, holds every document.
        const QFileInfo book(Global::NewBookPath);
        QCOMPARE(QDir(book.absolutePath()).entryList(QDir::Files | QDir::Hidden), QStringList{book.fileName()});
        const QString copy = home->file(QStringLiteral("copy.nsf"));
        QVERIFY(QFile::copy(book.filePath(), copy));
        QCOMPARE(documents(copy).size(), std::size_t(2));
    }

    void labelsEndOnTheLastItemBesideItsFolder()
    {
        // Enough items for the labels to be repainted less often than set,
        // and an empty folder ticked last.
        pstwriter::PstBuilder b;
        const auto first = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
        const auto second = b.addFolder(b.ipmSubtree(), QStringLiteral("Others"), QStringLiteral("IPF.Contact"));
        b.addFolder(b.ipmSubtree(), QStringLiteral("Empty"), QStringLiteral("IPF.Contact"));
        for (int i = 1; i <= 400; ++i)
            b.addContact(first, person(QStringLiteral("A%1").arg(i), QStringLiteral("B%1").arg(i)));
        for (int i = 1; i <= 150; ++i)
            b.addContact(second, person(QStringLiteral("C%1").arg(i), QStringLiteral("D%1").arg(i)));
        const QString pst = write(b, home->file(QStringLiteral("in.pst")));
        outlook::RDOSession session;
        session.Logon();
        Global::SelectedStoreID = session.AddPSTStore(pst).EntryID();
        session.Logoff();
        Global::SelectedFolders = {reference(pst, QStringLiteral("Contacts")), reference(pst, QStringLiteral("Others")),
                                   reference(pst, QStringLiteral("Empty"))};
        const QString picked = home->file(QStringLiteral("picked"));
        QDir().mkpath(picked);

        // What the labels show while the closing message is up.
        struct Watching : ScriptedDialogs {
            QStringList labels;
            MsgAnswer MsgBox(QObject* owner, const QString& text, MsgButtons buttons, MsgIcon icon,
                             const QString& title, MsgAnswer defaultAnswer) override
            {
                frmSave& w = frmSave::instance();
                labels = {w.LblSaveHeader->text(), w.LblProcessing->text(), w.LblFound->text(), w.LblCurrent->text()};
                return ScriptedDialogs::MsgBox(owner, text, buttons, icon, title, defaultAnswer);
            }
        };
        dialogs.reset();
        Watching watching;
        watching.folders = {picked};
        frmSave& w = frmSave::instance();
        w.OptNewNSF_Click();
        w.show();
        QTest::mouseClick(w.CmdNewNSF, Qt::LeftButton);
        settle();

        QCOMPARE(watching.messages.size(), 1);
        QCOMPARE(watching.labels,
                 (QStringList{QStringLiteral("Others"), QStringLiteral("C150 D150"), QStringLiteral("150"),
                              QStringLiteral("150/150")}));
        QCOMPARE(documents(Global::NewBookPath).size(), std::size_t(550));
    }

    void pickingAFileRunsTheExportIntoIt()
    {
        profileStore();
        const QString book = home->file(QStringLiteral("book.nsf"));
        makeBook(book);
        dialogs->openFiles = {book};

        QPointer<frmSave> w = &frmSave::instance();
        w->OptNewNSF_Click();
        w->show();
        clickOption(w->OptExistingNSF);
        QTest::mouseClick(w->CmdExistingNSF, Qt::LeftButton);
        settle();

        QVERIFY(w.isNull());
        QCOMPARE(Global::DestinationPath, book);
        QCOMPARE(documents(book).size(), std::size_t(2));
        QCOMPARE(dialogs->messages.size(), 1);
        QCOMPARE(dialogs->messages[0].text,
                 QStringLiteral("Outlook Contacts Exported Successfully to Lotus Notes Address Book.\r\n") + book);
    }

    void storeThatCannotBeOpenedClosesTheWindow()
    {
        Global::SelectedStoreID = QStringLiteral("00FF00FF");
        Global::SelectedFolders = {QStringLiteral("1234#Contacts")};
        const QString picked = home->file(QStringLiteral("picked"));
        QDir().mkpath(picked);
        dialogs->folders = {picked};

        QPointer<frmSave> w = &frmSave::instance();
        w->OptNewNSF_Click();
        w->show();
        QTest::mouseClick(w->CmdNewNSF, Qt::LeftButton);
        settle();

        QVERIFY(w.isNull());
        QCOMPARE(dialogs->messages.size(), 1);
        QVERIFY(dialogs->messages[0].text.startsWith(
            QStringLiteral("The Outlook data file could not be opened. Nothing was exported.\r\n")));
        QVERIFY(QDir(picked).isEmpty());
    }

    void bookThatIsNotOursIsRefusedAndTheWindowStaysForAnotherChoice()
    {
        profileStore();
        const QStringList selected = Global::SelectedFolders;
        const QString letter = home->file(QStringLiteral("letter.nsf"));
        QVERIFY(writeAll(letter, "Not an address book.\n"));
        const QString book = home->file(QStringLiteral("book.nsf"));
        makeBook(book);
        dialogs->openFiles = {letter, book};

        QPointer<frmSave> w = &frmSave::instance();
        w->OptNewNSF_Click();
        w->show();
        clickOption(w->OptExistingNSF);
        QTest::mouseClick(w->CmdExistingNSF, Qt::LeftButton);
        settle();

        QVERIFY(!w.isNull());
        QCOMPARE(dialogs->messages.size(), 1);
        const auto& refused = dialogs->messages[0];
        QVERIFY(refused.text.contains(letter));
        QVERIFY(refused.text.contains(QStringLiteral("not an address book")));
        QCOMPARE(refused.icon, MsgIcon::Warning);
        QCOMPARE(refused.owner, static_cast<QWidget*>(w.data()));
        QCOMPARE(readAll(letter), QByteArray("Not an address book.\n"));
        // The choice can be made again, and the same folders are exported.
        QCOMPARE(Global::SelectedFolders, selected);
        QVERIFY(w->CmdExistingNSF->isEnabled() && w->OptNewNSF->isEnabled());

        QTest::mouseClick(w->CmdExistingNSF, Qt::LeftButton);
        settle();
        QVERIFY(w.isNull());
        QCOMPARE(documents(book).size(), std::size_t(2));
        QCOMPARE(dialogs->messages.size(), 2);
        QCOMPARE(dialogs->messages[1].title, QStringLiteral("Export Complete"));
    }

    void newBookFolderThatCannotBeMadeIsNamedAndTheWindowStays()
    {
        profileStore();
        const QString picked = home->file(QStringLiteral("picked"));
        QVERIFY(writeAll(picked + QStringLiteral("/Lotus Notes Address Book"), "a file in the way"));
        dialogs->folders = {picked};

        QPointer<frmSave> w = &frmSave::instance();
        w->OptNewNSF_Click();
        w->show();
        QTest::mouseClick(w->CmdNewNSF, Qt::LeftButton);
        settle();

        QVERIFY(!w.isNull());
        QCOMPARE(dialogs->endProgramCalls, 0);
        QCOMPARE(dialogs->messages.size(), 1);
        const QString folder = picked + QStringLiteral("/Lotus Notes Address Book/");
        QCOMPARE(dialogs->messages[0].text,
                 QStringLiteral("The new Lotus Notes Address Book could not be created in the folder\r\n") + folder
                     + QStringLiteral("\r\na file of that name is in the way: ") + folder.chopped(1));
        QCOMPARE(dialogs->messages[0].title, QStringLiteral("Address Book Not Created"));
        QVERIFY(!Global::SelectedFolders.isEmpty());
        QVERIFY(w->CmdNewNSF->isEnabled());
    }

    void designThatCannotBeFoundEndsTheProgramWithItsMessage()
    {
        profileStore();
        QVERIFY(writeAll(QDir(notes::NotesSession::DataDirectory()).filePath(QStringLiteral("notes.ini")),
                         "NAMES=nowhere.nsf\n"));
        const QString picked = home->file(QStringLiteral("picked"));
        QDir().mkpath(picked);

        frmSave& w = frmSave::instance();
        w.OptNewNSF_Click();
        Global::DestinationPath = picked;
        w.txtNSFFileName->setText(picked);
        bool ended = false;
        try {
            w.CmdConversion_Click();
        } catch (const ProgramEnded&) {
            ended = true;
        }
        QVERIFY(ended);
        QCOMPARE(dialogs->messages.size(), 1);
        QCOMPARE(dialogs->messages[0].text, QStringLiteral("Lotus Notes NOT INSTALLED or CONFIGURED Properly."));
        QCOMPARE(dialogs->messages[0].icon, MsgIcon::Information);
        QCOMPARE(dialogs->messages[0].title, QStringLiteral("Notes Not Installed/Configured"));
        QVERIFY(QDir(picked + QStringLiteral("/Lotus Notes Address Book")).isEmpty());
    }

    void warningNamesTheFirstCause()
    {
        profileStore();
        const QString book = home->file(QStringLiteral("book.nsf"));
        makeBook(book);
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(book).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "CREATE TRIGGER refuse BEFORE INSERT ON notes BEGIN SELECT RAISE(ABORT, 'full'); END",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
        dialogs->openFiles = {book};

        QPointer<frmSave> w = &frmSave::instance();
        w->OptExistingNSF_Click();
        QTest::mouseClick(w->CmdExistingNSF, Qt::LeftButton);
        settle();

        QVERIFY(w.isNull());
        QCOMPARE(dialogs->messages.size(), 1);
        QCOMPARE(dialogs->messages[0].icon, MsgIcon::Warning);
        QCOMPARE(dialogs->messages[0].text,
                 QStringLiteral("Not all Outlook Contacts could be exported to Lotus Notes Address Book.\r\n"
                                "0 Person and 0 Group documents were written; 2 items could not be exported.\r\n"
                                "Contacts #1 (Ann Lee): full (and 1 more)\r\n")
                     + book);
    }

private:
    // A data file with one contact and one list, added to the profile and
    // ticked, as the main window leaves things before the export.
    QString profileStore()
    {
        pstwriter::PstBuilder b;
        const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
        b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
        pstwriter::DistListData list;
        list.name = QStringLiteral("Team");
        b.addDistList(contacts, list);
        const QString pst = write(b, home->file(QStringLiteral("in.pst")));
        outlook::RDOSession session;
        session.Logon();
        Global::SelectedStoreID = session.AddPSTStore(pst).EntryID();
        session.Logoff();
        Global::SelectedFolders = {reference(pst, QStringLiteral("Contacts")), QString()};
        return pst;
    }

    std::unique_ptr<TestHome> home;
    std::unique_ptr<ScriptedDialogs> dialogs;
};

// The child of endProgramFinishesTheBooksBeingWritten: writes documents
// into the book named by the environment, then ends the program the way
// File > Exit and the "not installed" message do.
int writeThenEndProgram(const QString& book)
{
    // A run's writer, left open: its last group is not committed yet.
    BookWriter writer(book);
    PersonFields f;
    for (int i = 0; i < 10; ++i) {
        f.elotus_FirstName = QStringLiteral("N%1").arg(i);
        writer.WritePerson(f);
    }
    if (writer.TakeSettled().oldestUncommitted != 1)
        return 3;  // the documents were to wait in their group
    QtDialogs().EndProgram(EXIT_SUCCESS);
}

int main(int argc, char** argv)
{
    const QString child = qEnvironmentVariable("PELLARO_TEST_END_PROGRAM_BOOK");
    if (!child.isEmpty())
        return writeThenEndProgram(child);
    QApplication app(argc, argv);
    ExportWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ExportWindowTest.moc"
