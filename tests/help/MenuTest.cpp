// The main window's menus: their structure, Exit, Contents and About.

#include "app/HelpViewer.h"
#include "app/MainMenu.h"
#include "app/QtDialogs.h"
#include "app/frmAbout.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempDir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>

namespace {

const QString kBuiltHelp = QStringLiteral(PELLARO_BIN_DIR "/Help.chm");
const char kChildMode[] = "PELLARO_MENUTEST_CHILD";

// Stands in for the main window: a menu bar and a few controls whose state
// must survive the menu commands.
class MainWindow : public QWidget {
public:
    MainWindow()
    {
        setWindowTitle(QStringLiteral("Pellaro v6.7"));
        auto* layout = new QVBoxLayout(this);
        menuTop = new QMenuBar(this);
        layout->setMenuBar(menuTop);
        optOther = new QRadioButton(QStringLiteral("Convert Other PST File"), this);
        layout->addWidget(optOther);
        mailboxes = new QComboBox(this);
        mailboxes->addItems({QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third")});
        layout->addWidget(mailboxes);
        tree = new QTreeWidget(this);
        auto* root = new QTreeWidgetItem(tree, {QStringLiteral("Mailbox")});
        for (const char* name : {"Contacts (3)", "Friends (0)"}) {
            auto* node = new QTreeWidgetItem(root, {QString::fromLatin1(name)});
            node->setCheckState(0, Qt::Checked);
        }
        root->setCheckState(0, Qt::Checked);
        layout->addWidget(tree);
        start = new QPushButton(QStringLiteral("Start Conversion"), this);
        layout->addWidget(start);
        menu = new MainMenu(menuTop, this);
        resize(700, 520);
    }

    // Everything a menu command must leave alone.
    QStringList state() const
    {
        QStringList s{QString::number(isVisible()), QString::number(optOther->isChecked()),
                      QString::number(mailboxes->currentIndex()), QString::number(tree->topLevelItemCount()),
                      QString::number(start->isEnabled())};
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            s << (*it)->text(0) + QString::number((*it)->checkState(0)) + QString::number((*it)->isExpanded());
        return s;
    }

    QMenuBar* menuTop;
    QRadioButton* optOther;
    QComboBox* mailboxes;
    QTreeWidget* tree;
    QPushButton* start;
    MainMenu* menu;
    bool closed = false;

protected:
    void closeEvent(QCloseEvent* e) override
    {
        closed = true;
        std::puts("main window closed");
        std::fflush(stdout);
        QWidget::closeEvent(e);
    }
};

QList<QMessageBox*> messageBoxes()
{
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            boxes.append(box);
    return boxes;
}

// Runs `act` once the modal window `T` is up; closes whatever modal window
// is up when none of that kind came up in time.
template <typename T> void whenModal(std::function<void(T*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, act] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget()); w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            const QPointer<T> modal(w);
            act(w);
            // A check that failed inside `act` left the window open.
            if (modal && modal->isVisible())
                modal->close();
        } else if (++*tries > 500) {
            timer->stop();
            timer->deleteLater();
            // Nothing came up: end whatever is running so the test can fail.
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        }
    });
    timer->start();
}

// Child modes: the real message box, answered from the keyboard, and the
// real end of the program, in a process of their own.
int runChild(const QByteArray& mode)
{
    QtDialogs qtDialogs;
    setDialogs(&qtDialogs);
    MainWindow window;
    window.show();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { std::puts("quit ran"); });
    if (mode == "end-default")
        dialogs().EndProgram();
    whenModal<QMessageBox>([mode](QMessageBox* box) {
        std::printf("text=%s\ntitle=%s\nicon=%d\nbuttons=%d\ndefault=%d\n", qPrintable(box->text()),
                    qPrintable(box->windowTitle()), int(box->icon()), int(box->standardButtons()),
                    int(box->standardButton(box->defaultButton())));
        std::fflush(stdout);
        // Enter takes the default button; Escape takes No.
        QTest::keyClick(box, mode == "exit-enter" ? Qt::Key_Return : Qt::Key_Escape);
    });
    window.menu->mnuExit->trigger();
    std::puts("exit came back");
    std::fflush(stdout);
    return 3;
}

// A click that comes in as the window system's would, so that a modal
// window can hold it back.
void clickThroughWindowSystem(QWidget* target)
{
    QWidget* window = target->window();
    const QPoint at = target->mapTo(window, target->rect().center());
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at);
    QCoreApplication::processEvents();
}

struct ChildResult {
    int exitCode;
    QProcess::ExitStatus status;
    QString output;
};

ChildResult runSelf(const char* mode)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildMode), QString::fromLatin1(mode));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    if (!child.waitForFinished(60000))
        child.kill();
    return {child.exitCode(), child.exitStatus(), QString::fromUtf8(child.readAllStandardOutput())};
}

}  // namespace

class MenuTest : public QObject {
    Q_OBJECT
private slots:
    void menusInTheirOrderWithCaptionsAndIconsOnly();
    void accessKeysOpenTheMenusAndChooseTheItems();
    void exitAnsweredNoLeavesEverythingAsItWas();
    void exitAnsweredYesEndsTheProgramWithSuccess();
    void exitInTheRealMessageBox();
    void aboutTwiceInARowEachModalAndNew();
    void contentsWithoutHelpFileShowsNoMessage();
    void contentsWithDamagedHelpFileShowsNoMessage();
    void contentsOpensTheViewerAtTheDefaultTopic();
    void contentsFindsTheInstalledHelp();
    void renderAboutWindowAndMenus();
};

void MenuTest::menusInTheirOrderWithCaptionsAndIconsOnly()
{
    MainWindow w;
    const QList<QAction*> top = w.menuTop->actions();
    QCOMPARE(top.size(), 2);
    QCOMPARE(top[0]->menu(), w.menu->mnuFileTop);
    QCOMPARE(top[1]->menu(), w.menu->mnuHelpTop);
    QCOMPARE(top[0]->text(), QStringLiteral("&File"));
    QCOMPARE(top[1]->text(), QStringLiteral("&Help"));
    QCOMPARE(w.menu->mnuFileTop->objectName(), QStringLiteral("mnuFileTop"));
    QCOMPARE(w.menu->mnuHelpTop->objectName(), QStringLiteral("mnuHelpTop"));

    QCOMPARE(w.menu->mnuFileTop->actions(), (QList<QAction*>{w.menu->mnuExportBook, w.menu->mnuExit}));
    QCOMPARE(w.menu->mnuHelpTop->actions(), (QList<QAction*>{w.menu->mnuHelp, w.menu->mnuAbout}));
    const QList<std::pair<QAction*, QString>> items{{w.menu->mnuExportBook, QStringLiteral("&Export Address Book...")},
                                                    {w.menu->mnuExit, QStringLiteral("E&xit")},
                                                    {w.menu->mnuHelp, QStringLiteral("Contents")},
                                                    {w.menu->mnuAbout, QStringLiteral("&About...")}};
    for (const auto& [item, caption] : items) {
        QCOMPARE(item->text(), caption);
        QVERIFY(!item->isSeparator());
        QVERIFY(item->isEnabled());
        QVERIFY(!item->menu());
        // A small picture that really shows something, shown in the menu.
        QVERIFY(item->isIconVisibleInMenu());
        const QImage icon = item->icon().pixmap(16, 16).toImage();
        QCOMPARE(icon.size(), QSize(16, 16));
        int drawn = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                drawn += qAlpha(icon.pixel(x, y)) > 0;
        QVERIFY2(drawn > 40, qPrintable(caption));
    }
    QCOMPARE(w.menu->mnuExportBook->objectName(), QStringLiteral("mnuExportBook"));
    QCOMPARE(w.menu->mnuExit->objectName(), QStringLiteral("mnuExit"));
    QCOMPARE(w.menu->mnuHelp->objectName(), QStringLiteral("mnuHelp"));
    QCOMPARE(w.menu->mnuAbout->objectName(), QStringLiteral("mnuAbout"));
    // The four pictures differ from each other.
    const QImage exportBook = w.menu->mnuExportBook->icon().pixmap(16, 16).toImage();
    const QImage exit = w.menu->mnuExit->icon().pixmap(16, 16).toImage();
    const QImage help = w.menu->mnuHelp->icon().pixmap(16, 16).toImage();
    const QImage about = w.menu->mnuAbout->icon().pixmap(16, 16).toImage();
    QVERIFY(exit != help && help != about && exit != about);
    QVERIFY(exportBook != exit && exportBook != help && exportBook != about);
}

void MenuTest::accessKeysOpenTheMenusAndChooseTheItems()
{
    ScriptedDialogs dialogs;
    MainWindow w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));

    // Alt+F opens File; X chooses Exit, whose question is answered No.
    QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY(w.menu->mnuFileTop->isVisible());
    QTest::keyClick(w.menu->mnuFileTop, Qt::Key_X);
    QTRY_COMPARE(dialogs.messages.size(), 1);
    QCOMPARE(dialogs.messages[0].text, QStringLiteral("Are you sure you want to close the software"));
    QTRY_VERIFY(!w.menu->mnuFileTop->isVisible());

    // Alt+H opens Help; A chooses About, closed again by Alt+O (its OK).
    bool aboutShown = false;
    whenModal<frmAbout>([&](frmAbout* about) {
        aboutShown = true;
        QTest::keyClick(about, Qt::Key_O, Qt::AltModifier);
    });
    QTest::keyClick(&w, Qt::Key_H, Qt::AltModifier);
    QTRY_VERIFY(w.menu->mnuHelpTop->isVisible());
    QTest::keyClick(w.menu->mnuHelpTop, Qt::Key_A);
    QTRY_VERIFY(aboutShown);
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QCOMPARE(dialogs.messages.size(), 1);
    QVERIFY(!w.closed);
}

void MenuTest::exitAnsweredNoLeavesEverythingAsItWas()
{
    ScriptedDialogs dialogs;
    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.optOther->setChecked(true);
    w.mailboxes->setCurrentIndex(2);
    w.tree->expandAll();
    w.tree->topLevelItem(0)->child(1)->setCheckState(0, Qt::Unchecked);
    const QStringList before = w.state();
    const QList<QWidget*> windowsBefore = QApplication::topLevelWidgets();

    dialogs.answers = {MsgAnswer::No};
    w.menu->mnuExit->trigger();

    QCOMPARE(dialogs.messages.size(), 1);
    const ScriptedDialogs::Message& m = dialogs.messages[0];
    QCOMPARE(m.owner, &w);
    QCOMPARE(m.text, QStringLiteral("Are you sure you want to close the software"));
    QCOMPARE(m.title, QStringLiteral("Korvane Outlook to Notes"));
    QCOMPARE(m.icon, MsgIcon::Information);
    QCOMPARE(m.buttons, MsgButtons::YesNo);
    QCOMPARE(m.defaultAnswer, MsgAnswer::Yes);
    QCOMPARE(dialogs.endProgramCalls, 0);
    QCOMPARE(w.state(), before);
    QCOMPARE(QApplication::topLevelWidgets(), windowsBefore);
    QVERIFY(!w.closed);
}

void MenuTest::exitAnsweredYesEndsTheProgramWithSuccess()
{
    ScriptedDialogs dialogs;
    MainWindow w;
    dialogs.answers = {MsgAnswer::Yes};
    int status = -1;
    try {
        w.menu->mnuExit_Click();
    } catch (const ProgramEnded& ended) {
        status = ended.status;
    }
    QCOMPARE(dialogs.endProgramCalls, 1);
    QCOMPARE(status, EXIT_SUCCESS);
    // Nothing of the window's own ran on the way out.
    QVERIFY(!w.closed);
}

void MenuTest::exitInTheRealMessageBox()
{
    const QString expected = QStringLiteral("text=Are you sure you want to close the software\n"
                                            "title=Korvane Outlook to Notes\n"
                                            "icon=%1\nbuttons=%2\ndefault=%3\n")
                                 .arg(int(QMessageBox::Information))
                                 .arg(int(QMessageBox::Yes | QMessageBox::No))
                                 .arg(int(QMessageBox::Yes));

    // Enter takes Yes, the default: the program ends at once, successfully,
    // without closing its window or running its quit step.
    const ChildResult yes = runSelf("exit-enter");
    QCOMPARE(yes.status, QProcess::NormalExit);
    QCOMPARE(yes.output, expected);
    QCOMPARE(yes.exitCode, 0);

    // Escape takes No: the command returns and the program goes on.
    const ChildResult no = runSelf("exit-escape");
    QCOMPARE(no.status, QProcess::NormalExit);
    QCOMPARE(no.output, expected + QStringLiteral("exit came back\n"));
    QCOMPARE(no.exitCode, 3);

    // Ending for any other reason is a failure.
    const ChildResult failure = runSelf("end-default");
    QCOMPARE(failure.status, QProcess::NormalExit);
    QCOMPARE(failure.output, QString());
    QCOMPARE(failure.exitCode, EXIT_FAILURE);
}

void MenuTest::aboutTwiceInARowEachModalAndNew()
{
    ScriptedDialogs dialogs;
    MainWindow w;
    w.move(140, 90);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    int clicks = 0;
    connect(w.start, &QPushButton::clicked, [&] { ++clicks; });

    QList<QPointer<frmAbout>> seen;
    for (int round = 0; round < 2; ++round) {
        bool checked = false;
        whenModal<frmAbout>([&, round](frmAbout* about) {
            for (const QPointer<frmAbout>& earlier : seen)
                QVERIFY(!earlier);  // the earlier one is gone
            seen.append(about);
            QCOMPARE(about->parentWidget(), &w);
            QVERIFY(about->isModal());
            QCOMPARE(about->windowModality(), Qt::ApplicationModal);
            QCOMPARE(QApplication::activeModalWidget(), about);
            // The main window takes no input meanwhile.
            clickThroughWindowSystem(w.start);
            QCOMPARE(clicks, 0);

            QCOMPARE(about->windowTitle(), QStringLiteral("About"));
            QCOMPARE(about->size(), QSize(607, 396));
            QCOMPARE(about->minimumSize(), QSize(607, 396));
            QCOMPARE(about->maximumSize(), QSize(607, 396));
            QVERIFY(!(about->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
            const QPoint offset = about->frameGeometry().center() - w.frameGeometry().center();
            QVERIFY2(offset.manhattanLength() <= 2,
                     qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));

            QVERIFY(!about->Image1->pixmap().isNull());
            QCOMPARE(about->Image1->geometry().width(), 607);
            QVERIFY(qAbs(about->Image1->geometry().height() - 396 / 4) <= 10);
            QCOMPARE(about->Label7->text(), QStringLiteral("Korvane"));
            QCOMPARE(about->Label8->text(), QStringLiteral("Pellaro"));
            QVERIFY(about->Label8->font().pointSizeF() > about->Label7->font().pointSizeF());
            QVERIFY(about->Label8->geometry().top() > about->Label7->geometry().top());
            QStringList texts;
            for (QLabel* l : about->findChildren<QLabel*>())
                texts << l->text();
            QVERIFY(texts.contains(QStringLiteral("Version :")));
            QVERIFY(texts.contains(QStringLiteral("6.7")));
            for (const char* caption : {"Company Website", "Support Email", "Company Blog", "Knowledge Base"})
                QVERIFY2(texts.contains(QString::fromLatin1(caption)), caption);
            for (const char* value : frmAbout::ContactValues)
                QVERIFY2(texts.contains(QString::fromLatin1(value)) && QByteArray(value).contains("korvane.example"),
                         value);
            QCOMPARE(about->CmdOk->text(), QStringLiteral("&OK"));
            // Every label lies inside the window, none hides another one's text.
            for (QLabel* l : about->findChildren<QLabel*>())
                QVERIFY2(about->rect().contains(l->geometry()), qPrintable(l->text()));

            checked = true;
            if (round == 0)
                QTest::mouseClick(about->CmdOk, Qt::LeftButton);
            else
                about->close();  // as from the title bar
        });
        w.menu->mnuAbout->trigger();
        // Control is back at the main window only once the window is closed.
        QVERIFY(checked);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(seen.size(), round + 1);
        QTRY_VERIFY(!seen.last());  // unloaded
        QVERIFY(w.findChildren<frmAbout*>().isEmpty());
    }
    QVERIFY(dialogs.messages.isEmpty());
    QCOMPARE(clicks, 0);
    clickThroughWindowSystem(w.start);
    QCOMPARE(clicks, 1);
}

void MenuTest::contentsWithoutHelpFileShowsNoMessage()
{
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("bin")));
    MainWindow w;
    w.show();
    w.menu->programFolder = dir.filePath(QStringLiteral("bin"));
    const QList<QWidget*> windowsBefore = QApplication::topLevelWidgets();
    w.menu->mnuHelp->trigger();
    QTest::qWait(50);
    QVERIFY(dialogs.messages.isEmpty());
    QVERIFY(messageBoxes().isEmpty());
    QVERIFY(w.findChildren<HelpViewer*>().isEmpty());
    QCOMPARE(QApplication::topLevelWidgets(), windowsBefore);
}

void MenuTest::contentsWithDamagedHelpFileShowsNoMessage()
{
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    MainWindow w;
    w.show();
    w.menu->programFolder = dir.path();
    const QByteArray good = readAll(kBuiltHelp);
    QVERIFY(!good.isEmpty());
    // Cut short in its directory, and a folder where the file should be.
    QVERIFY(writeAll(dir.filePath(QStringLiteral("Help.chm")), good.left(good.size() / 8)));
    w.menu->mnuHelp->trigger();
    QVERIFY(QFile::remove(dir.filePath(QStringLiteral("Help.chm"))));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Help.chm")));
    w.menu->mnuHelp->trigger();
    QTest::qWait(50);
    QVERIFY(dialogs.messages.isEmpty());
    QVERIFY(messageBoxes().isEmpty());
    QVERIFY(w.findChildren<HelpViewer*>().isEmpty());
}

void MenuTest::contentsOpensTheViewerAtTheDefaultTopic()
{
    ScriptedDialogs dialogs;
    QTemporaryDir dir;
    QVERIFY(QFile::copy(kBuiltHelp, dir.filePath(QStringLiteral("Help.chm"))));
    MainWindow w;
    w.show();
    w.menu->programFolder = dir.path();
    w.menu->mnuHelp->trigger();

    const QList<HelpViewer*> viewers = w.findChildren<HelpViewer*>();
    QCOMPARE(viewers.size(), 1);
    HelpViewer* viewer = viewers[0];
    QVERIFY(viewer->isWindow());
    QCOMPARE(viewer->parentWidget(), &w);  // owned by the main window
    QVERIFY(viewer->isVisible());
    QVERIFY(!viewer->isModal());
    QCOMPARE(viewer->filePath(), QFileInfo(dir.filePath(QStringLiteral("Help.chm"))).absoluteFilePath());
    QCOMPARE(viewer->browser()->source(), HelpBrowser::urlFor(QStringLiteral("/index.html")));
    QCOMPARE(viewer->browser()->documentTitle(), QStringLiteral("Welcome to Pellaro"));
    QCOMPARE(viewer->windowTitle(), QStringLiteral("Pellaro Help"));

    // Contents again: the same viewer, back at the default topic.
    viewer->browser()->setSource(HelpBrowser::urlFor(QStringLiteral("/messages.html")));
    QCOMPARE(viewer->browser()->documentTitle(), QStringLiteral("Messages"));
    w.menu->mnuHelp->trigger();
    QCOMPARE(w.findChildren<HelpViewer*>(), viewers);
    QCOMPARE(viewer->browser()->source(), HelpBrowser::urlFor(QStringLiteral("/index.html")));

    // The viewer lives on by itself; closing it leaves the main window be.
    const QPointer<HelpViewer> alive(viewer);
    viewer->close();
    QTRY_VERIFY(!alive);
    QVERIFY(w.isVisible());
    QVERIFY(dialogs.messages.isEmpty());
}

void MenuTest::contentsFindsTheInstalledHelp()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("bin")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("share/pellaro")));
    QVERIFY(QFile::copy(kBuiltHelp, dir.filePath(QStringLiteral("share/pellaro/Help.chm"))));
    QCOMPARE(MainMenu::helpFileCandidates(dir.filePath(QStringLiteral("bin"))),
             (QStringList{dir.filePath(QStringLiteral("bin/Help.chm")),
                          dir.filePath(QStringLiteral("share/pellaro/Help.chm"))}));
    MainWindow w;
    w.menu->programFolder = dir.filePath(QStringLiteral("bin"));
    w.menu->mnuHelp->trigger();
    const QList<HelpViewer*> viewers = w.findChildren<HelpViewer*>();
    QCOMPARE(viewers.size(), 1);
    QCOMPARE(viewers[0]->filePath(), dir.filePath(QStringLiteral("share/pellaro/Help.chm")));
    delete viewers[0];
}

void MenuTest::renderAboutWindowAndMenus()
{
    // Pictures for a person to look at, in the build tree.
    const QDir out(QCoreApplication::applicationDirPath());
    frmAbout about(nullptr);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QVERIFY(about.grab().save(out.filePath(QStringLiteral("about.png"))));
    about.close();

    MainWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (QMenu* menu : {w.menu->mnuFileTop, w.menu->mnuHelpTop}) {
        menu->popup(w.mapToGlobal(QPoint(10, 30)));
        QTRY_VERIFY(menu->isVisible());
        QVERIFY(menu->grab().save(out.filePath(menu->objectName() + QStringLiteral(".png"))));
        menu->hide();
    }
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QByteArray mode = qgetenv(kChildMode);
    if (!mode.isEmpty())
        return runChild(mode);
    MenuTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MenuTest.moc"
