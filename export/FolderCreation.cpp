#include "export/FolderCreation.h"

// Placeholder.
bool CreateFolderPath(const QString&) { return false; }
