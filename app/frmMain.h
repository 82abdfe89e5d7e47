#pragma once
// The main window: choice of the source, the folder tree and the start of the
// conversion.

#include <QWidget>

class frmMain : public QWidget {
    Q_OBJECT
public:
    // The one main window, created on first use.
    static frmMain& instance();

private:
    frmMain();
};
