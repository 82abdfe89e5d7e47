#pragma once
// Creating a new, empty address book in the prepared folder.

#include <QDateTime>
#include <QString>

#include "app/global/Dialogs.h"
#include "export/ExportView.h"

// Extends Global::NewBookPath (the prepared folder, ending in a separator) to
// the full path of a new book "names<dd-mm-yyyy-h-m-s>.nsf", created with the
// design of the first entry of the NAMES setting or of "pernames.ntf". When a
// file of that name exists already (a second book in the same second), the
// name gets "-2", "-3", ... before ".nsf"; nothing existing is ever replaced.
// When the design cannot be read or copied, shows "Lotus Notes NOT INSTALLED
// or CONFIGURED Properly."; when the file cannot be made in the folder, a
// message naming the cause. Either way the program then ends through
// `dialogs`.
void CreateNSF(ExportView& view, Dialogs& dialogs);

// The file name for a new book created at `when`: names07-12-2026-5-43-9.nsf;
// with `sequence` 2 or more, names07-12-2026-5-43-9-2.nsf.
QString NewBookFileName(const QDateTime& when, int sequence = 1);

// The design source named by a NAMES setting: its first entry, untrimmed, or
// "pernames.ntf" when the setting is empty.
QString DesignSourceFromNames(const QString& namesSetting);
