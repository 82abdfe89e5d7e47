// The main window driven through its real controls: start-up state, the
// source mode switch, the mailbox list, the other-PST flow, the folder tree
// and the start of the conversion.

#include "app/FolderTreeWidget.h"
#include "app/HelpViewer.h"
#include "app/Look.h"
#include "app/MainMenu.h"
#include "app/PasswordDialog.h"
#include "app/QtDialogs.h"
#include "app/SmallIcons.h"
#include "app/frmAbout.h"
#include "app/frmMain.h"
#include "app/frmSave.h"
#include "common/values/ProgramValues.h"
#include "export/notes/BookReader.h"
#include "source/outlook/Outlook.h"
#include "tests/support/FolderFixtures.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempDir.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QString NotConfigured = QStringLiteral("Outlook NOT installed or configured properly.");
const QString OutlookTitle = QStringLiteral("Korvane Outlook to Notes");

QString pngPath(const QString& name)
{
    return QStringLiteral(PELLARO_BIN_DIR "/../tests/") + name;
}

// A protected data file whose password is "secret": two contacts, Hidden1
// and Hidden2, in Contacts.
void writeLocked(const QString& path)
{
    pstwriter::PstBuilder b;
    b.setPassword(QStringLiteral("secret"));
    fixtures::contacts(b, b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact")), 2,
                       QStringLiteral("Hidden"));
    b.write(path);
}

const QString PasswordTitle = QStringLiteral("Outlook Data File Password");
const QString PasswordAsked = QStringLiteral("Type the password of the Outlook data file:\r\n");
const QString PasswordWrong
    = QStringLiteral("The password is not right. Type the password of the Outlook data file:\r\n");

// The first names of the Person documents of `book`, in stored order.
QStringList personNames(const QString& book)
{
    QStringList names;
    notes::BookReader reader(book);
    reader.forEachDocument(false, [&](const notes::StoredDocument& doc) {
        if (doc.form != QStringLiteral("Person"))
            return;
        for (const auto& item : doc.items) {
            if (item.name == QStringLiteral("FirstName"))
                names << item.value;
        }
    });
    return names;
}

QString where(const QWidget* w)
{
    return QStringLiteral("%1 \"%2\"").arg(w->objectName(), w->property("text").toString());
}

// What of `window` does not fit, measured in the fonts the controls have:
// a one-line caption narrower or lower than its text, a wrapped one lower
// than its lines, a button or option button smaller than it needs for its
// caption, a frame narrower than its title, a control reaching out of the
// control that holds it. `beyond` may lie outside the window.
QStringList unfit(QWidget* window, const QList<QWidget*>& beyond = {})
{
    QStringList bad;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || beyond.contains(w))
            continue;
        w->ensurePolished();
        const QFontMetrics fm(w->font());
        if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
            const QRect room = label->contentsRect().marginsRemoved(
                QMargins(label->margin(), label->margin(), label->margin(), label->margin()));
            if (label->wordWrap() ? label->heightForWidth(label->width()) > label->height()
                                  : fm.horizontalAdvance(label->text()) > room.width() || fm.height() > room.height())
                bad << QStringLiteral("label ") + where(w);
        } else if (qobject_cast<QPushButton*>(w) || qobject_cast<QRadioButton*>(w)) {
            const QSize need = w->sizeHint();
            if (need.width() > w->width() || need.height() > w->height())
                bad << QStringLiteral("button ") + where(w);
        } else if (auto* frame = qobject_cast<QGroupBox*>(w)) {
            if (fm.horizontalAdvance(frame->title()) + 2 * fm.averageCharWidth() > frame->width())
                bad << QStringLiteral("frame ") + frame->title();
        }
        if (w->parentWidget() && !w->isWindow() && !w->parentWidget()->rect().contains(w->geometry()))
            bad << QStringLiteral("outside ") + where(w);
    }
    return bad;
}

// Presses F1 in `window`, which must be the active window for it.
void pressF1(QWidget* window)
{
    window->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), window);
    QTest::keyClick(window, Qt::Key_F1);
}

// The page the help viewer owned by `owner` shows; the number of viewers
// when there is not exactly one.
QString helpPageOf(QWidget* owner)
{
    const QList<HelpViewer*> viewers = owner->findChildren<HelpViewer*>(Qt::FindDirectChildrenOnly);
    if (viewers.size() != 1)
        return QString::number(viewers.size());
    return viewers[0]->isVisible() ? viewers[0]->browser()->source().path() : QStringLiteral("hidden");
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestHome> home_;
    std::unique_ptr<ScriptedDialogs> dialogs_;

    frmMain& window()
    {
        frmMain& w = frmMain::instance();
        if (!w.isVisible()) {
            w.show();
            if (!QTest::qWaitForWindowExposed(&w))
                qWarning("main window not exposed");
        }
        return w;
    }

    QString file(const QString& name) const { return home_->file(name); }

    void writeProfile(const QStringList& paths)
    {
        QVERIFY(writeAll(outlook::RDOSession::ProfilePath(), paths.join(u'\n').toUtf8() + '\n'));
    }

    // Option buttons take clicks on their circle and caption only.
    static void click(QAbstractButton* button)
    {
        const QPoint at
            = qobject_cast<QRadioButton*>(button) ? QPoint(8, button->height() / 2) : button->rect().center();
        QTest::mouseClick(button, Qt::LeftButton, {}, at);
    }

    // Opens `path` through the other-file controls as the user would.
    void openOther(frmMain& w, const QString& path)
    {
        click(w.OptOtherPST);
        dialogs_->openFiles << path;
        click(w.CmdBrowse);
        click(w.CmdExportOther);
    }

    // Picks entry `index` of the mailbox list from its drop-down.
    static void pickMailbox(frmMain& w, int index)
    {
        QComboBox* list = w.CmbOutlookStores;
        list->showPopup();
        QAbstractItemView* view = list->view();
        QTRY_VERIFY(view->isVisible());
        const QRect rect = view->visualRect(view->model()->index(index, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
        QTRY_VERIFY(!view->isVisible());
    }

    static QStringList nodeTexts(const frmMain& w)
    {
        QStringList texts;
        for (int i = 1; i <= w.OutlookFoldersTree->NodeCount(); ++i)
            texts << w.OutlookFoldersTree->Node(i)->text(0);
        return texts;
    }

    static QTreeWidgetItem* nodeWithText(const frmMain& w, const QString& text)
    {
        for (int i = 1; i <= w.OutlookFoldersTree->NodeCount(); ++i) {
            if (w.OutlookFoldersTree->Node(i)->text(0) == text)
                return w.OutlookFoldersTree->Node(i);
        }
        return nullptr;
    }

    // Unticks a node with the keyboard, as the user would.
    static void toggle(frmMain& w, QTreeWidgetItem* node)
    {
        w.OutlookFoldersTree->setFocus();
        w.OutlookFoldersTree->setCurrentItem(node);
        QTest::keyClick(w.OutlookFoldersTree, Qt::Key_Space);
    }

    // Runs `inspect` on the export window once it is shown modally, then
    // closes it; returns whether it was shown.
    bool startAndInspect(frmMain& w, const std::function<void(frmSave&)>& inspect)
    {
        bool shown = false;
        QTimer::singleShot(0, this, [&] {
            if (!frmSave::exists())
                return;
            frmSave& save = frmSave::instance();
            shown = save.isVisible();
            inspect(save);
            save.close();
        });
        click(w.CmdStartConversion);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return shown;
    }

private slots:
    void init()
    {
        home_ = std::make_unique<TestHome>();
        dialogs_ = std::make_unique<ScriptedDialogs>();
        Global::ResetForTests();
        outlook::ForgetPasswords();
    }

    void cleanup()
    {
        frmMain::unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        dialogs_.reset();
        home_.reset();
    }

    void startUpState();
    void iconList();
    void sourceModeSwitch();
    void browseCancelled();
    void otherPstWithBlanksAroundThePath();
    void fileThatIsNoStoreIsNamedWithItsCause();
    void protectedFileAsksForItsPassword();
    void protectedMailboxAsksWhenPicked();
    void passwordQuestionIsMaskedAndOwned();
    void otherItemsAreToldBelowTheTree();
    void configuredMailboxes();
    void logonFailure();
    void mailboxThatCannotBeRead();
    void startWithOnlyTheRoot();
    void startWithSomeFoldersUnticked();
    void rootTickChangesNothing();
    void renderWindow();
    void captionsFitInEveryFace();
    void f1OpensTheHelpOfTheWindow();
    void endToEndIntoANewBook();
};

void MainWindowTest::startUpState()
{
    frmMain& w = window();
    QCOMPARE(w.windowTitle(), QStringLiteral("Pellaro v6.7"));
    QCOMPARE(w.size(), QSize(696, 584));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w.styleSheet(), frmMain::MainFormSkin);

    QCOMPARE(w.Label7->text(), QStringLiteral("Korvane"));
    QVERIFY(w.Label7->font().bold());
    QCOMPARE(w.Label8->text(), QStringLiteral("Pellaro"));
    QVERIFY(w.Label8->font().bold() && w.Label8->font().pointSizeF() > w.Label7->font().pointSizeF());
    QCOMPARE(w.Label9->text(), QStringLiteral("Migrate Pellaro Address Book"));
    QVERIFY(!w.Image3->pixmap().isNull());
    QVERIFY(w.MenuTop->actions().size() >= 2);

    QCOMPARE(w.NotesTab->count(), 2);
    QCOMPARE(w.NotesTab->tabText(0), QStringLiteral(" Select File"));
    QCOMPARE(w.NotesTab->tabText(1), QStringLiteral(" Mailbox Preview"));
    QVERIFY(!w.NotesTab->tabIcon(1).isNull());
    QCOMPARE(w.NotesTab->currentIndex(), 0);
    QVERIFY(!w.NotesTab->isTabEnabled(1));
    // Clicking the disabled tab does nothing.
    QTabBar* bar = w.NotesTab->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    QCOMPARE(w.NotesTab->currentIndex(), 0);

    QCOMPARE(w.SourceFrame->title(), QStringLiteral(" Select Outlook  (.pst) file to convert"));
    QCOMPARE(w.OptConfiguredPST->text(), QStringLiteral("  Convert Configured Outlook Mailboxes"));
    QCOMPARE(w.OptOtherPST->text(), QStringLiteral("  Convert Other PST File"));
    QCOMPARE(w.OtherPSTFrame->title(), QStringLiteral(" Select Outlook File (.pst) "));
    QCOMPARE(w.CmdExportConfigured->text(), QStringLiteral("Export Mailbox"));
    QCOMPARE(w.CmdBrowse->text(), QStringLiteral("Browse..."));
    QCOMPARE(w.CmdExportOther->text(), QStringLiteral("Export Mailbox"));
    QCOMPARE(w.HelpFrame->title(), QStringLiteral(" Help"));
    QCOMPARE(w.SupportedVersionsLabel->text(), QStringLiteral("Supports Outlook 2010, 2007, 2003, 2002(XP), 2000 "));
    QCOMPARE(w.Label5->text(), QStringLiteral("Please select a available configured Outlook mailbox"));
    QCOMPARE(w.Label3->text(),
             QStringLiteral("Select contact folders you need to convert to Lotus Notes Address Book"));
    QCOMPARE(w.CmdStartConversion->text(), QStringLiteral("Start Conversion"));
    QCOMPARE(w.OutlookFoldersTree->headerItem()->text(0), QStringLiteral("Mailbox Folders"));

    QVERIFY(w.OptConfiguredPST->isChecked());
    QVERIFY(!w.OptOtherPST->isChecked());
    QVERIFY(w.OptConfiguredPST->font().bold() && w.OptOtherPST->font().bold());
    QVERIFY(!w.OtherPSTFrame->isEnabled());
    QVERIFY(!w.txtNotesDatabaseFile->isEnabled());
    QVERIFY(w.txtNotesDatabaseFile->isReadOnly());
    QVERIFY(!w.CmdBrowse->isEnabled());
    QVERIFY(!w.CmdExportOther->isEnabled());
    QVERIFY(w.CmdExportConfigured->isEnabled());
    QVERIFY(w.LblHelp->text().startsWith(QStringLiteral("This Option allows you to convert default Outlook mailbox")));
    QCOMPARE(w.OutlookFoldersTree->NodeCount(), 0);
    QCOMPARE(w.CmbOutlookStores->count(), 0);
    QCOMPARE(w.CmbOutlookStores->placeholderText(), QStringLiteral("---- Select a Outlook Mailbox ----"));
    QVERIFY(!w.CmbOutlookStores->isEditable());

    // Each control belongs to one tab.
    QCOMPARE(w.NotesTab->indexOf(w.SourceFrame->parentWidget()), 0);
    QCOMPARE(w.NotesTab->indexOf(w.OutlookFoldersTree->parentWidget()), 1);
    QCOMPARE(w.NotesTab->indexOf(w.CmbOutlookStores->parentWidget()), 1);

    QCOMPARE(w.StatusPanels.size(), 3);
    QCOMPARE(w.StatusPanels[0]->text(), QStringLiteral("Korvane"));
    QVERIFY(w.StatusPanels[0]->font().bold());
    QCOMPARE(w.StatusPanels[1]->text(), QStringLiteral("Email: support@korvane.example"));
    QCOMPARE(w.StatusPanels[2]->text(), QStringLiteral("https://www.korvane.example"));
    QVERIFY(w.StatusPanels[2]->font().bold());

    QVERIFY(dialogs_->messages.isEmpty());
    QVERIFY(!QFileInfo::exists(outlook::RDOSession::ProfilePath()));
}

void MainWindowTest::iconList()
{
    const SmallIcons& icons = SmallIcons::list();
    QCOMPARE(icons.count(), 76);
    const QHash<int, QString> keys = {
        {3, "Notesico"},  {56, "Contact"},  {57, "264"},     {58, "tasks"},  {59, "mail"},
        {60, "cal"},      {61, "contacts"}, {62, "journal"}, {63, "Help"},   {64, "Load"},
        {65, "OpenFile"}, {66, "Preview"},  {68, "Abouts"},  {69, "drafts"}, {70, "trash"},
        {71, "inbox"},    {72, "junk"},     {73, "outbox"},  {74, "email"},  {75, "follow-up"},
    };
    for (int i = 0; i < 76; ++i) {
        QCOMPARE(icons.key(i), keys.value(i));
        QVERIFY(!icons.icon(i).pixmap(16, 16).isNull());
    }
    QCOMPARE(icons.indexOf(QStringLiteral("contacts")), 61);
    QVERIFY(icons.icon(76).isNull());
    QCOMPARE(window().OutlookFoldersTree->ImageList(), &icons);
}

void MainWindowTest::sourceModeSwitch()
{
    frmMain& w = window();
    fixtures::writeAbc(file(QStringLiteral("abc.pst")));
    openOther(w, file(QStringLiteral("abc.pst")));
    const QStringList tree = nodeTexts(w);
    QCOMPARE(tree.size(), 4);

    click(w.OptOtherPST);
    QVERIFY(w.OtherPSTFrame->isEnabled());
    QVERIFY(w.CmdBrowse->isEnabled());
    QVERIFY(!w.CmdExportOther->isEnabled());
    QVERIFY(!w.CmdExportConfigured->isEnabled());
    QCOMPARE(
        w.LblHelp->text(),
        QStringLiteral("This Option allows you to select a Outlook PST file to be converted to Lotus Notes mailbox."));

    click(w.OptConfiguredPST);
    QVERIFY(w.OptConfiguredPST->isChecked() && !w.OptOtherPST->isChecked());
    QVERIFY(!w.OtherPSTFrame->isEnabled());
    QVERIFY(!w.CmdExportOther->isEnabled());
    QVERIFY(w.CmdExportConfigured->isEnabled());
    QVERIFY(w.LblHelp->text().startsWith(QStringLiteral("This Option allows you to convert default")));

    // Back again: the path stays, its "Export Mailbox" waits for a new path;
    // the tab and the tree are untouched.
    click(w.OptOtherPST);
    QCOMPARE(w.txtNotesDatabaseFile->text(), file(QStringLiteral("abc.pst")));
    QVERIFY(!w.CmdExportOther->isEnabled());
    QVERIFY(w.NotesTab->isTabEnabled(1));
    QCOMPARE(nodeTexts(w), tree);
}

void MainWindowTest::browseCancelled()
{
    frmMain& w = window();
    fixtures::writeAbc(file(QStringLiteral("abc.pst")));
    openOther(w, file(QStringLiteral("abc.pst")));
    QVERIFY(w.NotesTab->isTabEnabled(1));

    QCOMPARE(dialogs_->openFileRequests.size(), 1);
    QCOMPARE(dialogs_->openFileRequests[0].owner, &w);
    QCOMPARE(dialogs_->openFileRequests[0].fileName, QString());
    QCOMPARE(dialogs_->openFileRequests[0].filterOrTitle, QStringLiteral("Outlook Mailbox (*.pst)|*.pst"));

    w.NotesTab->setCurrentIndex(0);
    click(w.CmdBrowse);  // nothing scripted: the dialog is cancelled
    QCOMPARE(w.txtNotesDatabaseFile->text(), QString());
    QVERIFY(!w.CmdExportOther->isEnabled());
    QVERIFY(!w.NotesTab->isTabEnabled(1));
    QVERIFY(dialogs_->messages.isEmpty());
}

void MainWindowTest::otherPstWithBlanksAroundThePath()
{
    frmMain& w = window();
    const QString path = file(QStringLiteral("nested.pst"));
    fixtures::writeNested(path);
    click(w.OptOtherPST);
    dialogs_->openFiles << QStringLiteral("  ") + path + QStringLiteral("  ");
    click(w.CmdBrowse);
    QCOMPARE(w.txtNotesDatabaseFile->text(), QStringLiteral("  ") + path + QStringLiteral("  "));
    QVERIFY(w.CmdExportOther->isEnabled());
    click(w.CmdExportOther);

    QVERIFY(dialogs_->messages.isEmpty());
    QCOMPARE(w.NotesTab->currentIndex(), 1);
    QVERIFY(w.NotesTab->isTabEnabled(1));
    QVERIFY(w.CmdStartConversion->isEnabled());
    QVERIFY(!w.CmbOutlookStores->isEnabled());
    // The file was opened by its trimmed path and joined the profile.
    QCOMPARE(QString::fromUtf8(readAll(outlook::RDOSession::ProfilePath())).trimmed(), path);
    QCOMPARE(Global::SelectedStoreID, outlook::RDOSession::OpenPstFile(path).EntryID());

    QCOMPARE(nodeTexts(w),
             (QStringList{"Personal Folders", "Contacts (4)", "Friends (1)", "A (1)", "B (0)", "C1 (2)", "D (1)",
                          "C2 (1)", "Clients (2)", "Contacts (1)"}));
    FolderTreeWidget* tree = w.OutlookFoldersTree;
    QTreeWidgetItem* root = tree->Node(1);
    QCOMPARE(tree->topLevelItemCount(), 1);
    QCOMPARE(root->icon(0).cacheKey(), SmallIcons::list().icon(0).cacheKey());
    for (int i = 1; i <= tree->NodeCount(); ++i) {
        QTreeWidgetItem* node = tree->Node(i);
        QCOMPARE(tree->TickState(i), 1);
        if (i > 1)
            QCOMPARE(node->icon(0).cacheKey(), SmallIcons::list().icon(61).cacheKey());
        const bool empty = node->text(0).endsWith(QStringLiteral("(0)"));
        QCOMPARE(FolderTreeWidget::HasItems(node), !empty);
        QCOMPARE(node->font(0).bold(), !empty);
    }
    // Placement: C1 and C2 below B below A; Clients and the second Contacts
    // below the root, their references naming the whole path.
    QTreeWidgetItem* c1 = nodeWithText(w, QStringLiteral("C1 (2)"));
    QTreeWidgetItem* c2 = nodeWithText(w, QStringLiteral("C2 (1)"));
    QCOMPARE(c1->parent()->text(0), QStringLiteral("B (0)"));
    QCOMPARE(c2->parent(), c1->parent());
    QCOMPARE(c1->parent()->parent()->text(0), QStringLiteral("A (1)"));
    QVERIFY(tree->Reference(6).endsWith(QStringLiteral("#A\\B\\C1")));
    QVERIFY(tree->Reference(8).endsWith(QStringLiteral("#A\\B\\C2")));
    QCOMPARE(nodeWithText(w, QStringLiteral("Clients (2)"))->parent(), root);
    QVERIFY(tree->Reference(9).endsWith(QStringLiteral("#Inbox\\Clients")));
    QCOMPARE(nodeWithText(w, QStringLiteral("Contacts (1)"))->parent(), root);
    QVERIFY(tree->Reference(10).endsWith(QStringLiteral("#Archive\\Contacts")));
    QVERIFY(tree->Reference(2).section(u'#', 0, 0) != tree->Reference(10).section(u'#', 0, 0));
    QVERIFY(tree->Reference(1).isEmpty());
}

void MainWindowTest::fileThatIsNoStoreIsNamedWithItsCause()
{
    frmMain& w = window();
    fixtures::writeAbc(file(QStringLiteral("abc.pst")));

    QByteArray junk(8192, 'x');
    QVERIFY(writeAll(file(QStringLiteral("notes.pst")), junk));
    QVERIFY(writeAll(file(QStringLiteral("empty.pst")), QByteArray()));
    QVERIFY(writeAll(file(QStringLiteral("damaged.pst")), readAll(file(QStringLiteral("abc.pst"))).left(700)));
    const struct {
        QString path;
        QString cause;
    } cases[] = {
        {file(QStringLiteral("notes.pst")), QStringLiteral("It is not an Outlook data file.")},
        {file(QStringLiteral("empty.pst")), QStringLiteral("It is not an Outlook data file.")},
        {file(QStringLiteral("gone.pst")), QStringLiteral("It does not exist.")},
        {file(QStringLiteral("damaged.pst")), QStringLiteral("It is damaged.")},
    };
    for (const auto& c : cases) {
        // Another file's folders are on show when the choice fails.
        openOther(w, file(QStringLiteral("abc.pst")));
        QVERIFY(nodeTexts(w).size() > 1);
        dialogs_->messages.clear();

        w.NotesTab->setCurrentIndex(0);
        dialogs_->openFiles << c.path;
        click(w.CmdBrowse);
        click(w.CmdExportOther);

        QCOMPARE(dialogs_->messages.size(), 1);
        QCOMPARE(dialogs_->messages[0].text,
                 QStringLiteral("The file could not be opened as an Outlook data file:\r\n") + c.path
                     + QStringLiteral("\r\n") + c.cause);
        QCOMPARE(dialogs_->messages[0].icon, MsgIcon::Warning);
        QCOMPARE(dialogs_->messages[0].title, OutlookTitle);
        QCOMPARE(w.NotesTab->currentIndex(), 1);
        QVERIFY(nodeTexts(w).isEmpty());
        QVERIFY(!w.CmdStartConversion->isEnabled());
        QVERIFY(Global::SelectedStoreID.isEmpty());
    }
    // Only the data file joined the profile.
    QVERIFY(!QString::fromUtf8(readAll(outlook::RDOSession::ProfilePath())).contains(QStringLiteral("notes.pst")));

    // No permission to read (not to be made so here while the tests run as
    // root, who reads everything), in the user's words; a cause without
    // words of its own is told by the error's text.
    QCOMPARE(source::StoreOpenCause(outlook::OutlookError(Cause::NoPermission, "x.pst: Permission denied")),
             QStringLiteral("There is no permission to read it."));
    QCOMPARE(source::StoreOpenCause(outlook::OutlookError(Cause::FormatNotRead, "x.pst: pages of 4 KiB")),
             QStringLiteral("x.pst: pages of 4 KiB"));
}

void MainWindowTest::protectedFileAsksForItsPassword()
{
    frmMain& w = window();
    const QString abc = file(QStringLiteral("abc.pst"));
    const QString locked = file(QStringLiteral("locked.pst"));
    fixtures::writeAbc(abc);
    writeLocked(locked);

    // Cancelled: the file stays unopened and the tree empty, though another
    // file's folders were on show.
    openOther(w, abc);
    QVERIFY(nodeTexts(w).size() > 1);
    w.NotesTab->setCurrentIndex(0);
    dialogs_->openFiles << locked;
    click(w.CmdBrowse);
    click(w.CmdExportOther);
    QCOMPARE(dialogs_->passwordRequests.size(), 1);
    QCOMPARE(dialogs_->passwordRequests[0].owner, &w);
    QCOMPARE(dialogs_->passwordRequests[0].text, PasswordAsked + locked);
    QCOMPARE(dialogs_->passwordRequests[0].title, PasswordTitle);
    QVERIFY(dialogs_->messages.isEmpty());
    QCOMPARE(w.NotesTab->currentIndex(), 1);
    QVERIFY(nodeTexts(w).isEmpty());
    QVERIFY(!w.CmdStartConversion->isEnabled());
    QVERIFY(Global::SelectedStoreID.isEmpty());

    // A wrong password is told and asked again; the right one opens it.
    dialogs_->passwords << QStringLiteral("wrong") << QStringLiteral("secret");
    w.NotesTab->setCurrentIndex(0);
    click(w.CmdExportOther);
    QCOMPARE(dialogs_->passwordRequests.size(), 3);
    QCOMPARE(dialogs_->passwordRequests[1].text, PasswordAsked + locked);
    QCOMPARE(dialogs_->passwordRequests[2].text, PasswordWrong + locked);
    QCOMPARE(dialogs_->passwordRequests[2].owner, &w);
    QVERIFY(dialogs_->messages.isEmpty());
    QCOMPARE(nodeTexts(w), (QStringList{"Personal Folders", "Contacts (2)"}));
    QVERIFY(w.CmdStartConversion->isEnabled());
    QCOMPARE(Global::SelectedStoreID, outlook::RDOSession::OpenPstFile(locked).EntryID());

    // Opened again and exported in the same run of the program: no more
    // questions.
    w.NotesTab->setCurrentIndex(0);
    click(w.CmdExportOther);
    QCOMPARE(nodeTexts(w), (QStringList{"Personal Folders", "Contacts (2)"}));
    const QString destination = file(QStringLiteral("books"));
    QVERIFY(QDir().mkpath(destination));
    dialogs_->folders << destination;
    QVERIFY(startAndInspect(w, [](frmSave& save) { QTest::mouseClick(save.CmdNewNSF, Qt::LeftButton); }));
    QCOMPARE(dialogs_->passwordRequests.size(), 3);
    QCOMPARE(dialogs_->messages.size(), 1);
    QVERIFY2(dialogs_->messages[0].text.startsWith(QStringLiteral("Outlook Contacts Exported Successfully")),
             qPrintable(dialogs_->messages[0].text));
    const QString book = dialogs_->messages[0].text.section(QStringLiteral("\r\n"), 1).trimmed();
    QCOMPARE(personNames(book), (QStringList{"Hidden1", "Hidden2"}));

    // The profile keeps the path alone; no password is written anywhere.
    QCOMPARE(QString::fromUtf8(readAll(outlook::RDOSession::ProfilePath())).split(u'\n', Qt::SkipEmptyParts),
             (QStringList{abc, locked}));
    QDirIterator files(home_->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString written = files.next();
        const QByteArray bytes = readAll(written);
        for (const QString& password : {QStringLiteral("secret"), QStringLiteral("wrong")}) {
            const QByteArray utf16(reinterpret_cast<const char*>(password.utf16()), password.size() * 2);
            QVERIFY2(!bytes.contains(password.toUtf8()) && !bytes.contains(utf16), qPrintable(written));
        }
    }
}

void MainWindowTest::protectedMailboxAsksWhenPicked()
{
    const QString locked = file(QStringLiteral("locked.pst"));
    const QString abc = file(QStringLiteral("abc.pst"));
    writeLocked(locked);
    fixtures::writeAbc(abc);
    writeProfile({locked, abc});
    frmMain& w = window();

    // Listing asks nothing; the protected mailbox is listed all the same.
    click(w.CmdExportConfigured);
    QCOMPARE(w.CmbOutlookStores->count(), 2);
    QVERIFY(dialogs_->passwordRequests.isEmpty());
    QCOMPARE(w.CmbOutlookStores->itemData(0, Qt::ToolTipRole).toString(), locked);

    // Picking it asks; cancelled, nothing is opened.
    pickMailbox(w, 0);
    QCOMPARE(dialogs_->passwordRequests.size(), 1);
    QCOMPARE(dialogs_->passwordRequests[0].owner, &w);
    QCOMPARE(dialogs_->passwordRequests[0].text, PasswordAsked + locked);
    QVERIFY(nodeTexts(w).isEmpty());
    QVERIFY(Global::SelectedStoreID.isEmpty());
    QVERIFY(!w.CmdStartConversion->isEnabled());
    QVERIFY(w.CmbOutlookStores->isEnabled());
    QVERIFY(dialogs_->messages.isEmpty());

    dialogs_->passwords << QStringLiteral("secret");
    pickMailbox(w, 0);
    QCOMPARE(dialogs_->passwordRequests.size(), 2);
    QCOMPARE(nodeTexts(w), (QStringList{"Personal Folders", "Contacts (2)"}));
    QCOMPARE(Global::SelectedStoreID, outlook::RDOSession::OpenPstFile(locked).EntryID());
    QVERIFY(w.CmdStartConversion->isEnabled());

    // Another mailbox and back: asked once in the run.
    pickMailbox(w, 1);
    QCOMPARE(nodeTexts(w).first(), QStringLiteral("ABC Folders"));
    pickMailbox(w, 0);
    QCOMPARE(nodeTexts(w), (QStringList{"Personal Folders", "Contacts (2)"}));
    QCOMPARE(dialogs_->passwordRequests.size(), 2);
    QVERIFY(dialogs_->messages.isEmpty());
}

void MainWindowTest::passwordQuestionIsMaskedAndOwned()
{
    frmMain& w = window();
    QtDialogs qtDialogs;
    const QString text = PasswordAsked + file(QStringLiteral("locked.pst"));

    // Typed and confirmed; then typed and cancelled.
    for (bool confirm : {true, false}) {
        bool masked = false;
        QWidget* owner = nullptr;
        QString shownText;
        QStringList bad;
        QTimer::singleShot(0, this, [&] {
            auto* question = qobject_cast<PasswordDialog*>(QApplication::activeModalWidget());
            if (!question)
                return;
            masked = question->txtPassword->echoMode() == QLineEdit::Password;
            owner = question->parentWidget();
            shownText = question->LblPassword->text();
            QTest::keyClicks(question->txtPassword, QStringLiteral("se cret"));
            bad = unfit(question);
            question->grab().save(pngPath(QStringLiteral("mainwin-password.png")));
            QTest::mouseClick(confirm ? question->CmdOK : question->CmdCancel, Qt::LeftButton);
        });
        const std::optional<QString> answer = qtDialogs.AskPassword(&w, text, PasswordTitle);
        QVERIFY(masked);
        QCOMPARE(owner, &w);
        QCOMPARE(shownText, text);
        QVERIFY2(bad.isEmpty(), qPrintable(bad.join(u',')));
        if (confirm)
            QCOMPARE(answer, std::optional<QString>(QStringLiteral("se cret")));
        else
            QVERIFY(!answer);
    }
}

void MainWindowTest::otherItemsAreToldBelowTheTree()
{
    frmMain& w = window();
    const QString mail = file(QStringLiteral("mail.pst"));
    const QString abc = file(QStringLiteral("abc.pst"));
    fixtures::writeNoContacts(mail);
    fixtures::writeAbc(abc);

    openOther(w, mail);
    QCOMPARE(nodeTexts(w), QStringList{"Mail Only"});
    QVERIFY(w.LblOtherItems->isVisible());
    QCOMPARE(w.LblOtherItems->text(),
             QStringLiteral("1 contact in a folder that is not a contact folder is not converted: Inbox (1)"));
    QVERIFY(dialogs_->messages.isEmpty());

    // Another file without such contacts: the line goes.
    w.NotesTab->setCurrentIndex(0);
    dialogs_->openFiles << abc;
    click(w.CmdBrowse);
    click(w.CmdExportOther);
    QCOMPARE(nodeTexts(w).size(), 4);
    QVERIFY(!w.LblOtherItems->isVisible());
}

void MainWindowTest::configuredMailboxes()
{
    const QString nested = file(QStringLiteral("nested.pst"));
    const QString abc = file(QStringLiteral("abc.pst"));
    fixtures::writeNested(nested, QStringLiteral("Team #2 Folders"));
    fixtures::writeAbc(abc);
    writeProfile({nested, file(QStringLiteral("gone.pst")), abc});
    frmMain& w = window();

    click(w.CmdExportConfigured);
    QVERIFY(dialogs_->messages.isEmpty());
    QCOMPARE(w.NotesTab->currentIndex(), 1);
    QVERIFY(w.CmbOutlookStores->isEnabled());
    QVERIFY(!w.CmdStartConversion->isEnabled());
    QCOMPARE(w.OutlookFoldersTree->NodeCount(), 0);
    // The store whose file is missing is left out.
    const QString nestedId = outlook::RDOSession::OpenPstFile(nested).EntryID();
    const QString abcId = outlook::RDOSession::OpenPstFile(abc).EntryID();
    const QString blanks(300, u' ');
    QCOMPARE(w.CmbOutlookStores->count(), 2);
    QCOMPARE(w.CmbOutlookStores->itemText(0), QStringLiteral("Team #2 Folders") + blanks + u'#' + nestedId);
    QCOMPARE(w.CmbOutlookStores->itemText(1), QStringLiteral("ABC Folders") + blanks + u'#' + abcId);
    // Each entry tells its data file beside its text, and so does the list
    // for the entry it shows.
    QCOMPARE(w.CmbOutlookStores->itemData(0, Qt::ToolTipRole).toString(), nested);
    QCOMPARE(w.CmbOutlookStores->itemData(1, Qt::ToolTipRole).toString(), abc);

    // A second click appends the same stores again.
    w.NotesTab->setCurrentIndex(0);
    click(w.CmdExportConfigured);
    QCOMPARE(w.CmbOutlookStores->count(), 4);
    QCOMPARE(w.CmbOutlookStores->itemText(3), w.CmbOutlookStores->itemText(1));

    // Picking a mailbox fills its tree; a name holding "#" still finds its store.
    pickMailbox(w, 0);
    QCOMPARE(Global::SelectedStoreID, nestedId);
    QCOMPARE(w.OutlookFoldersTree->NodeCount(), 10);
    QCOMPARE(w.OutlookFoldersTree->Node(1)->text(0), QStringLiteral("Team #2 Folders"));
    QVERIFY(w.CmdStartConversion->isEnabled());
    QVERIFY(w.CmbOutlookStores->isEnabled());
    QCOMPARE(w.CmbOutlookStores->currentIndex(), 0);

    QCOMPARE(w.CmbOutlookStores->toolTip(), nested);
    pickMailbox(w, 1);
    QCOMPARE(w.CmbOutlookStores->toolTip(), abc);
    QCOMPARE(Global::SelectedStoreID, abcId);
    QCOMPARE(nodeTexts(w), (QStringList{"ABC Folders", "A (2)", "B (2)", "C (2)"}));
    QCOMPARE(w.CmbOutlookStores->currentIndex(), 1);
    QVERIFY(dialogs_->messages.isEmpty());
    // Listing and picking read the profile; they never write it.
    QCOMPARE(QString::fromUtf8(readAll(outlook::RDOSession::ProfilePath())).split(u'\n', Qt::SkipEmptyParts).size(), 3);
}

void MainWindowTest::logonFailure()
{
    writeProfile({QStringLiteral("not an absolute path")});
    frmMain& w = window();
    click(w.CmdExportConfigured);
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].text, NotConfigured);
    QCOMPARE(dialogs_->messages[0].title, OutlookTitle);
    QCOMPARE(dialogs_->messages[0].icon, MsgIcon::Information);
    QCOMPARE(dialogs_->messages[0].buttons, MsgButtons::Ok);
    QCOMPARE(w.NotesTab->currentIndex(), 0);
    QVERIFY(!w.NotesTab->isTabEnabled(1));
    QVERIFY(!w.CmdStartConversion->isEnabled());
    QCOMPARE(w.CmbOutlookStores->count(), 0);

    fixtures::writeAbc(file(QStringLiteral("abc.pst")));
    openOther(w, file(QStringLiteral("abc.pst")));
    QCOMPARE(dialogs_->messages.size(), 2);
    QCOMPARE(dialogs_->messages[1].text, NotConfigured);
    QCOMPARE(w.NotesTab->currentIndex(), 0);
    QVERIFY(!w.CmdStartConversion->isEnabled());
    QCOMPARE(w.OutlookFoldersTree->NodeCount(), 0);
}

void MainWindowTest::mailboxThatCannotBeRead()
{
    const QString abc = file(QStringLiteral("abc.pst"));
    fixtures::writeAbc(abc);
    writeProfile({abc});
    frmMain& w = window();
    click(w.CmdExportConfigured);
    QCOMPARE(w.CmbOutlookStores->count(), 1);

    // The file goes away between listing and picking.
    QVERIFY(QFile::remove(abc));
    pickMailbox(w, 0);
    QCOMPARE(dialogs_->messages.size(), 1);
    QVERIFY(dialogs_->messages[0].text.startsWith(QStringLiteral("The mailbox could not be read completely.")));
    QCOMPARE(dialogs_->messages[0].title, OutlookTitle);
    // The window stays usable.
    QVERIFY(w.CmbOutlookStores->isEnabled());
    QVERIFY(w.CmdStartConversion->isEnabled());
}

void MainWindowTest::startWithOnlyTheRoot()
{
    frmMain& w = window();
    fixtures::writeNoContacts(file(QStringLiteral("mail.pst")));
    openOther(w, file(QStringLiteral("mail.pst")));
    QCOMPARE(nodeTexts(w), QStringList{"Mail Only"});
    QCOMPARE(w.OutlookFoldersTree->TickState(1), 1);

    Global::SelectedFolders = {QStringLiteral("stale")};
    const bool shown = startAndInspect(w, [](frmSave&) {});
    QVERIFY(!shown);
    QVERIFY(!frmSave::exists());
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].text, QStringLiteral("Please Select Folders to Export"));
    QCOMPARE(dialogs_->messages[0].title, QStringLiteral("Export Outlook Folders to Lotus Notes"));
    QCOMPARE(dialogs_->messages[0].icon, MsgIcon::Information);
    QCOMPARE(dialogs_->messages[0].buttons, MsgButtons::Ok);
    QCOMPARE(Global::SelectedFolders, QStringList(2, QString()));
}

void MainWindowTest::startWithSomeFoldersUnticked()
{
    frmMain& w = window();
    fixtures::writeAbc(file(QStringLiteral("abc.pst")));
    openOther(w, file(QStringLiteral("abc.pst")));
    FolderTreeWidget* tree = w.OutlookFoldersTree;
    const QString refA = tree->Reference(2);
    const QString refC = tree->Reference(4);
    toggle(w, tree->Node(3));
    QCOMPARE(tree->TickState(3), 0);

    bool firstNewMode = false;
    QVERIFY(startAndInspect(w, [&](frmSave& save) {
        firstNewMode = save.OptNewNSF->isChecked() && !save.OptExistingNSF->isChecked()
            && save.txtNSFFileName->isEnabled() && save.CmdNewNSF->isEnabled() && !save.txtExNSFFileName->isEnabled()
            && !save.CmdExistingNSF->isEnabled();
        QCOMPARE(save.parentWidget(), &w);
        QVERIFY(save.isModal());
        save.grab().save(pngPath(QStringLiteral("mainwin-export-window.png")));
        // The user turns to an existing book, then closes the window.
        click(save.OptExistingNSF);
    }));
    QVERIFY(firstNewMode);
    QCOMPARE(Global::SelectedFolders, (QStringList{refA, refC, QString(), QString(), QString()}));
    QVERIFY(!frmSave::exists());

    // Opened again: new-book mode is chosen once more. The ticks stand as the
    // user left them.
    bool secondNewMode = false;
    QVERIFY(startAndInspect(w, [&](frmSave& save) {
        secondNewMode = save.OptNewNSF->isChecked() && !save.OptExistingNSF->isChecked() && save.CmdNewNSF->isEnabled()
            && !save.CmdExistingNSF->isEnabled();
    }));
    QVERIFY(secondNewMode);
    QCOMPARE(tree->TickState(3), 0);
    QCOMPARE(Global::SelectedFolders, (QStringList{refA, refC, QString(), QString(), QString()}));
    QVERIFY(dialogs_->messages.isEmpty());
}

void MainWindowTest::rootTickChangesNothing()
{
    frmMain& w = window();
    fixtures::writeAbc(file(QStringLiteral("abc.pst")));
    openOther(w, file(QStringLiteral("abc.pst")));
    FolderTreeWidget* tree = w.OutlookFoldersTree;

    // Unticking the root leaves the folders ticked, and they are exported.
    toggle(w, tree->Node(1));
    QCOMPARE(tree->TickState(1), 0);
    for (int i = 2; i <= 4; ++i)
        QCOMPARE(tree->TickState(i), 1);
    QVERIFY(startAndInspect(w, [](frmSave&) {}));
    QCOMPARE(Global::SelectedFolders.mid(0, 3),
             (QStringList{tree->Reference(2), tree->Reference(3), tree->Reference(4)}));

    // Only the root ticked: nothing to export.
    toggle(w, tree->Node(1));
    for (int i = 2; i <= 4; ++i)
        toggle(w, tree->Node(i));
    QCOMPARE(tree->TickState(1), 1);
    QVERIFY(!startAndInspect(w, [](frmSave&) {}));
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].text, QStringLiteral("Please Select Folders to Export"));
    QCOMPARE(Global::SelectedFolders, QStringList(5, QString()));
}

void MainWindowTest::renderWindow()
{
    const QString path = file(QStringLiteral("nested.pst"));
    fixtures::writeNested(path);
    fixtures::writeAbc(file(QStringLiteral("abc.pst")));
    writeProfile({path, file(QStringLiteral("abc.pst"))});
    frmMain& w = window();
    QVERIFY(w.grab().save(pngPath(QStringLiteral("mainwin-start.png"))));

    click(w.CmdExportConfigured);
    w.CmbOutlookStores->showPopup();
    QTRY_VERIFY(w.CmbOutlookStores->view()->isVisible());
    // The drop-down is as wide as the list, not as the entries' blanks.
    QVERIFY(w.CmbOutlookStores->view()->window()->width() <= w.CmbOutlookStores->width());
    QVERIFY(w.CmbOutlookStores->view()->window()->grab().save(pngPath(QStringLiteral("mainwin-mailboxes.png"))));
    w.CmbOutlookStores->hidePopup();
    pickMailbox(w, 0);
    toggle(w, nodeWithText(w, QStringLiteral("Contacts (1)")));
    QCoreApplication::processEvents();
    const QImage image = w.grab().toImage();
    QCOMPARE(image.size(), QSize(696, 584));
    QVERIFY(image.save(pngPath(QStringLiteral("mainwin-tree.png"))));
}

void MainWindowTest::captionsFitInEveryFace()
{
    // Tahoma, wherever it comes from, lays out its lines by its hhea ascent
    // and descent (2049 and 423 of 2048 units), as everywhere else.
    if (look::hasTahoma()) {
        const QFont tahoma = look::font();
        const qreal line = (2049.0 + 423.0) / 2048.0 * QFontInfo(tahoma).pixelSize();
        const qreal height = QFontMetricsF(tahoma).height();
        QVERIFY2(qAbs(height - line) < 0.5, qPrintable(QString::number(height)));
    }

    // The face chosen (Tahoma where there is one), then a wider fallback.
    for (const QString& family : {QString(), QStringLiteral("DejaVu Sans")}) {
        look::useFamilyForTests(family);
        frmSave& save = frmSave::instance();
        save.show();
        QVERIFY(QTest::qWaitForWindowExposed(&save));
        save.ShowSubject();
        save.SetFound(QStringLiteral("25/25"));
        save.SetCurrent(QStringLiteral("25"));
        const QString face = QFontInfo(save.font()).family();
        QVERIFY2(family.isEmpty() || face == family, qPrintable(face));
        QCOMPARE(save.size(), QSize(490, 291));
        save.grab().save(pngPath(QStringLiteral("mainwin-export-%1.png").arg(face).replace(u' ', u'-')));
        const QStringList bad = unfit(&save, {save.CmdConversion});
        QVERIFY2(bad.isEmpty(), qPrintable(face + u':' + bad.join(u',')));
        // Bold captions, as large as their values, beside them.
        const QList<std::pair<QLabel*, QWidget*>> pairs = {{save.LblSubject, save.LblProcessing},
                                                           {save.LblFoundLabel, save.LblFound},
                                                           {save.LblCurrentLabel, save.LblCurrent}};
        for (const auto& [caption, value] : pairs) {
            QVERIFY2(caption->font().bold() && QFontInfo(caption->font()).bold(), qPrintable(caption->text()));
            QCOMPARE(caption->font().pointSizeF(), value->font().pointSizeF());
            // Its text ends a few pixels before the value starts.
            QVERIFY2(caption->x() + QFontMetrics(caption->font()).horizontalAdvance(caption->text()) + 3 <= value->x(),
                     qPrintable(face + caption->text()));
        }
        delete &save;
    }
    look::useFamilyForTests(QString());

    frmMain& w = window();
    for (int tab : {0, 1}) {
        w.NotesTab->setTabEnabled(1, true);
        w.NotesTab->setCurrentIndex(tab);
        QVERIFY2(unfit(&w).isEmpty(), qPrintable(unfit(&w).join(u',')));
    }
    frmAbout about(&w);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QVERIFY2(unfit(&about).isEmpty(), qPrintable(unfit(&about).join(u',')));

    // A message box is as wide as its title, which is longer than its text.
    QtDialogs qtDialogs;
    setDialogs(&qtDialogs);
    QStringList boxUnfit;
    int boxWidth = 0;
    QTimer::singleShot(0, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxUnfit = unfit(box);
            boxWidth = box->width();
            box->done(0);
        }
    });
    const QString title = QStringLiteral("Export Outlook Folders to Lotus Notes");
    qtDialogs.MsgBox(&w, QStringLiteral("Please Select Folders to Export"), MsgButtons::Ok, MsgIcon::Information, title,
                     MsgAnswer::Ok);
    setDialogs(dialogs_.get());
    QVERIFY2(boxUnfit.isEmpty(), qPrintable(boxUnfit.join(u',')));
    QFont titleFont = look::font();
    titleFont.setBold(true);
    QVERIFY2(boxWidth > QFontMetrics(titleFont).horizontalAdvance(title) + 100, qPrintable(QString::number(boxWidth)));
}

void MainWindowTest::f1OpensTheHelpOfTheWindow()
{
    fixtures::writeAbc(file(QStringLiteral("abc.pst")));
    frmMain& w = window();
    w.Menus->programFolder = QStringLiteral(PELLARO_BIN_DIR);

    pressF1(&w);
    QCOMPARE(helpPageOf(&w), QStringLiteral("/sources.html"));
    openOther(w, file(QStringLiteral("abc.pst")));
    pressF1(&w);  // the same viewer turns to the page of the tab shown
    QCOMPARE(helpPageOf(&w), QStringLiteral("/folders.html"));

    QString exportPage;
    QVERIFY(startAndInspect(w, [&](frmSave& save) {
        pressF1(&save);
        exportPage = helpPageOf(&save);
    }));
    QCOMPARE(exportPage, QStringLiteral("/destinations.html"));

    frmAbout about(&w);
    about.show();
    pressF1(&about);
    QCOMPARE(helpPageOf(&about), QStringLiteral("/menus.html"));
    QVERIFY(dialogs_->messages.isEmpty());
}

void MainWindowTest::endToEndIntoANewBook()
{
    const QString pst = file(QStringLiteral("nested.pst"));
    fixtures::writeNested(pst);
    writeProfile({pst});
    const QString destination = file(QStringLiteral("books"));
    QVERIFY(QDir().mkpath(destination));
    frmMain& w = window();

    click(w.CmdExportConfigured);
    pickMailbox(w, 0);
    QCOMPARE(w.OutlookFoldersTree->NodeCount(), 10);
    // Everything but the old contacts kept in the archive.
    toggle(w, nodeWithText(w, QStringLiteral("Contacts (1)")));

    dialogs_->folders << destination;
    QVERIFY(startAndInspect(w, [](frmSave& save) {
        QVERIFY(save.OptNewNSF->isChecked());
        QTest::mouseClick(save.CmdNewNSF, Qt::LeftButton);
    }));
    QVERIFY(!frmSave::exists());
    QVERIFY(w.isEnabled() && w.isVisible());
    QVERIFY(Global::SelectedFolders.isEmpty());

    QCOMPARE(dialogs_->messages.size(), 1);
    const ScriptedDialogs::Message& done = dialogs_->messages[0];
    QCOMPARE(done.title, QStringLiteral("Export Complete"));
    QVERIFY2(
        done.text.startsWith(QStringLiteral("Outlook Contacts Exported Successfully to Lotus Notes Address Book.")),
        qPrintable(done.text));
    const QString book = done.text.section(QStringLiteral("\r\n"), 1).trimmed();
    QCOMPARE(QFileInfo(book).absolutePath(), destination + QStringLiteral("/Lotus Notes Address Book"));
    QVERIFY(QFileInfo(book).fileName().startsWith(QStringLiteral("names")));

    QStringList people;
    QStringList groups;
    notes::BookReader reader(book);
    reader.forEachDocument(false, [&](const notes::StoredDocument& doc) {
        auto value = [&](const QString& name) {
            for (const auto& item : doc.items) {
                if (item.name == name)
                    return item.value;
            }
            return QString();
        };
        if (doc.form == QStringLiteral("Person")) {
            QCOMPARE(doc.folders, QStringList{"Outlook Contacts"});
            people << value(QStringLiteral("FirstName"));
        } else if (doc.form == QStringLiteral("Group")) {
            QCOMPARE(doc.folders, QStringList{"Outlook Groups"});
            groups << value(QStringLiteral("ListName"));
        }
    });
    // In tree order: the folders as ticked, their items by position.
    QCOMPARE(people,
             (QStringList{"Person1", "Person2", "Person3", "Friend1", "Alpha1", "Gamma1", "Gamma2", "Delta1", "Two1",
                          "Client1", "Client2"}));
    QCOMPARE(groups, QStringList{"Team"});
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
