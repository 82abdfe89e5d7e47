#include "app/MainMenu.h"

#include <QMenuBar>

// First version: the menu structure only; the commands follow.
MainMenu::MainMenu(QMenuBar* menuTop, QWidget* mainWindow)
    : QObject(menuTop)
    , mainWindow_(mainWindow)
{
    mnuFileTop = menuTop->addMenu(QStringLiteral("&File"));
    mnuExit = mnuFileTop->addAction(QStringLiteral("E&xit"));
    mnuHelpTop = menuTop->addMenu(QStringLiteral("&Help"));
    mnuHelp = mnuHelpTop->addAction(QStringLiteral("Contents"));
    mnuAbout = mnuHelpTop->addAction(QStringLiteral("&About..."));
    connect(mnuExit, &QAction::triggered, this, &MainMenu::mnuExit_Click);
    connect(mnuHelp, &QAction::triggered, this, &MainMenu::mnuHelp_Click);
    connect(mnuAbout, &QAction::triggered, this, &MainMenu::mnuAbout_Click);
}

void MainMenu::mnuExit_Click() {}
void MainMenu::mnuHelp_Click() {}
void MainMenu::mnuAbout_Click() {}
