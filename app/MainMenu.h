#pragma once
// The main window's menus: File > Exit, Help > Contents and About.

#include <QObject>

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
    QAction* mnuExit = nullptr;
    QMenu* mnuHelpTop = nullptr;
    QAction* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;

    void mnuExit_Click();
    void mnuHelp_Click();
    void mnuAbout_Click();

private:
    QWidget* mainWindow_;
};
