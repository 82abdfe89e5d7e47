#include "app/MainMenu.h"

#include "app/DrawnIcon.h"
#include "app/HelpViewer.h"
#include "app/frmAbout.h"
#include "common/dialogs/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>

#include <cstdlib>

namespace {

const QString kHelpFileName = QStringLiteral("Help.chm");

// A round badge with a letter: the help and about pictures.
void drawBadge(QPainter& p, const QColor& light, const QColor& dark, const QString& letter)
{
    QRadialGradient fill(QPointF(6, 5), 10);
    fill.setColorAt(0, light);
    fill.setColorAt(1, dark);
    p.setPen(QPen(dark.darker(140), 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(10);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(1.5, 1.5, 13, 13), Qt::AlignCenter, letter);
}

}  // namespace

MainMenu::MainMenu(QMenuBar* menuTop, QWidget* mainWindow)
    : QObject(menuTop)
    , programFolder(QCoreApplication::applicationDirPath())
    , exportBook(mainWindow)
    , mainWindow_(mainWindow)
{
    mnuFileTop = menuTop->addMenu(QStringLiteral("&File"));
    mnuFileTop->setObjectName(QStringLiteral("mnuFileTop"));
    mnuExportBook = mnuFileTop->addAction(exportIcon(), QStringLiteral("&Export Address Book..."));
    mnuExportBook->setObjectName(QStringLiteral("mnuExportBook"));
    mnuExit = mnuFileTop->addAction(exitIcon(), QStringLiteral("E&xit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    mnuHelpTop = menuTop->addMenu(QStringLiteral("&Help"));
    mnuHelpTop->setObjectName(QStringLiteral("mnuHelpTop"));
    mnuHelp = mnuHelpTop->addAction(helpIcon(), QStringLiteral("Contents"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuAbout = mnuHelpTop->addAction(aboutIcon(), QStringLiteral("&About..."));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    // The pictures show on every desktop, also where menus hide icons by default.
    for (QAction* item : {mnuExportBook, mnuExit, mnuHelp, mnuAbout})
        item->setIconVisibleInMenu(true);
    connect(mnuExportBook, &QAction::triggered, this, &MainMenu::mnuExportBook_Click);
    connect(mnuExit, &QAction::triggered, this, &MainMenu::mnuExit_Click);
    connect(mnuHelp, &QAction::triggered, this, &MainMenu::mnuHelp_Click);
    connect(mnuAbout, &QAction::triggered, this, &MainMenu::mnuAbout_Click);
}

void MainMenu::mnuExportBook_Click()
{
    exportBook.run();
}

void MainMenu::mnuExit_Click()
{
    const MsgAnswer answer = dialogs().MsgBox(
        mainWindow_, QStringLiteral("Are you sure you want to close the software"), MsgButtons::YesNo,
        MsgIcon::Information, QStringLiteral("Korvane Outlook to Notes"), MsgAnswer::Yes);
    if (answer == MsgAnswer::Yes)
        dialogs().EndProgram(EXIT_SUCCESS);
}

QStringList MainMenu::helpFileCandidates(const QString& programFolder)
{
    const QDir folder(programFolder);
    return {folder.filePath(kHelpFileName),
            QDir::cleanPath(folder.filePath(QStringLiteral("../share/pellaro/") + kHelpFileName))};
}

void MainMenu::showHelp(QWidget* owner, const QString& programFolder, const QString& topic)
{
    // A missing or unreadable help file gives no message: the viewer then
    // simply does not open.
    for (const QString& candidate : helpFileCandidates(programFolder)) {
        if (QFileInfo(candidate).isFile()) {
            HelpViewer::showHelp(owner, candidate, topic);
            return;
        }
    }
}

void MainMenu::mnuHelp_Click()
{
    showHelp(mainWindow_, programFolder);
}

void MainMenu::addHelpKey(QWidget* window, std::function<QString()> topic)
{
    auto* key = new QShortcut(QKeySequence::HelpContents, window);
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, window, [window, topic = std::move(topic)] {
        QString folder = QCoreApplication::applicationDirPath();
        for (const QWidget* w = window; w; w = w->parentWidget()) {
            if (const auto* menu = w->findChild<MainMenu*>()) {
                folder = menu->programFolder;
                break;
            }
        }
        showHelp(window, folder, topic());
    });
}

void MainMenu::mnuAbout_Click()
{
    // A new about window each time, gone again once it is closed.
    frmAbout about(mainWindow_);
    about.exec();
}

QIcon MainMenu::exportIcon()
{
    return drawnIcon([](QPainter& p) {
        // An address card with an arrow leading away from it.
        p.setPen(QPen(QColor(0x4a, 0x5a, 0x6e), 1));
        p.setBrush(QColor(0xf4, 0xf1, 0xe6));
        p.drawRect(QRectF(1.5, 2.5, 10, 11));
        p.setBrush(QColor(0x6f, 0x8f, 0xb8));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(3, 4.5, 3.5, 3.5));
        p.drawRect(QRectF(3, 9, 6.5, 1.5));
        p.drawRect(QRectF(3, 11, 5, 1));
        p.setPen(QPen(QColor(0x1f, 0x8a, 0x3b), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(8.5, 8), QPointF(14.5, 8));
        p.drawLine(QPointF(12, 5.5), QPointF(14.5, 8));
        p.drawLine(QPointF(12, 10.5), QPointF(14.5, 8));
    });
}

QIcon MainMenu::exitIcon()
{
    return drawnIcon([](QPainter& p) {
        // An open door with an arrow leading out.
        p.setPen(QPen(QColor(0x6b, 0x4a, 0x2b), 1));
        p.setBrush(QColor(0xc8, 0x8f, 0x55));
        p.drawRect(QRectF(2.5, 1.5, 7, 13));
        p.setBrush(QColor(0x8a, 0x5a, 0x2e));
        QPainterPath leaf;
        leaf.moveTo(2.5, 1.5);
        leaf.lineTo(6.5, 3);
        leaf.lineTo(6.5, 15.5);
        leaf.lineTo(2.5, 14.5);
        leaf.closeSubpath();
        p.drawPath(leaf);
        p.setPen(QPen(QColor(0xc0, 0x1f, 0x1f), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(8, 8), QPointF(14, 8));
        p.drawLine(QPointF(11.5, 5.5), QPointF(14, 8));
        p.drawLine(QPointF(11.5, 10.5), QPointF(14, 8));
    });
}

QIcon MainMenu::helpIcon()
{
    return drawnIcon(
        [](QPainter& p) { drawBadge(p, QColor(0x6f, 0xa8, 0xf0), QColor(0x1f, 0x5e, 0xb8), QStringLiteral("?")); });
}

QIcon MainMenu::aboutIcon()
{
    return drawnIcon(
        [](QPainter& p) { drawBadge(p, QColor(0x7c, 0xd0, 0x8a), QColor(0x23, 0x85, 0x3b), QStringLiteral("i")); });
}
