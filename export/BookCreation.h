#pragma once
// Creating a new, empty address book in the prepared folder.

#include <QDateTime>
#include <QString>

#include "app/global/Dialogs.h"
#include "export/ExportView.h"

// Extends Global::NewBookPath (the prepared folder, ending in a separator) to
// the full path of a new book "names<dd-mm-yyyy-h-m-s>.nsf", created with the
// design of the first entry of the NAMES setting or of "pernames.ntf". On any
// failure shows "Lotus Notes NOT INSTALLED or CONFIGURED Properly." and ends
// the program through `dialogs`.
void CreateNSF(ExportView& view, Dialogs& dialogs);

// The file name for a new book created at `when`: names07-12-2026-5-43-9.nsf.
QString NewBookFileName(const QDateTime& when);

// The design source named by a NAMES setting: its first entry, untrimmed, or
// "pernames.ntf" when the setting is empty.
QString DesignSourceFromNames(const QString& namesSetting);
