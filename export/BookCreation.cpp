#include "export/BookCreation.h"

// Placeholder until the address-book store lands.
void CreateNSF(ExportView&, Dialogs& dialogs) { dialogs.EndProgram(); }
QString NewBookFileName(const QDateTime&) { return {}; }
QString DesignSourceFromNames(const QString&) { return {}; }
