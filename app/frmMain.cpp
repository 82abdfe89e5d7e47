#include "app/frmMain.h"

frmMain& frmMain::instance()
{
    static frmMain* window = new frmMain;
    return *window;
}

frmMain::frmMain()
{
    setWindowTitle(QStringLiteral("Pellaro v6.7"));
}
