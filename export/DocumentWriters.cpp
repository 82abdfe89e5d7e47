#include "export/DocumentWriters.h"

// Placeholder until the address-book store lands.
bool SaveNotesContacts(const PersonFields&, bool&, const ExportView&) { return false; }
bool SaveNotesGroups(const QString&, const QString&, const QString&, bool&, const ExportView&) { return false; }
