#pragma once
// The main window's menus: File > Export Address Book... and Exit, Help >
// Contents and About.

#include "app/ExportBookCommand.h"

#include <QIcon>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

class MainMenu : public QObject {
    Q_OBJECT
public:
    // Fills `menuTop` (the main window's menu bar) with the menus;
    // `mainWindow` owns the help viewer and the about window.
    MainMenu(QMenuBar* menuTop, QWidget* mainWindow);

    QMenu* mnuFileTop = nullptr;
    QAction* mnuExportBook = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuHelpTop = nullptr;
    QAction* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;

    // The folder the help file is looked for in: the program's own folder.
    // Tests point it elsewhere.
    QString programFolder;

    // What File > Export Address Book... runs.
    ExportBookCommand exportBook;

    void mnuExportBook_Click();
    void mnuExit_Click();
    void mnuHelp_Click();
    void mnuAbout_Click();

    // Where "Help.chm" may lie, in the order they are tried: the program's
    // folder (the build tree, or an install that keeps everything together),
    // then ../share/pellaro beside it (an installed program in bin/).
    static QStringList helpFileCandidates(const QString& programFolder);

    // Opens Help.chm, looked for as helpFileCandidates(programFolder) says, at
    // `topic` (its default topic when empty) in a viewer owned by `owner`.
    // Gives no message when there is no help file or it cannot be read.
    static void showHelp(QWidget* owner, const QString& programFolder, const QString& topic = QString());

    // F1 in `window` opens the help at the page `topic()` names, in a viewer
    // owned by `window`. The help file is looked for where the menus of
    // `window` or of the window owning it look, else in the program's folder.
    static void addHelpKey(QWidget* window, std::function<QString()> topic);

    // The small pictures beside the menu items.
    static QIcon exportIcon();
    static QIcon exitIcon();
    static QIcon helpIcon();
    static QIcon aboutIcon();

private:
    QWidget* mainWindow_;
};
