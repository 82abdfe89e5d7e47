// Start-up: create and show the main window, nothing else.

#include "app/QtDialogs.h"
#include "app/frmMain.h"
#include "common/programend/ProgramEnd.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pellaro"));
    QApplication::setApplicationVersion(QStringLiteral("6.7"));
    QtDialogs qtDialogs;
    setDialogs(&qtDialogs);

    frmMain::instance().show();
    const int status = app.exec();
    RunProgramEndWork();
    return status;
}
