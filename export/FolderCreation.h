#pragma once
#include <QString>

// Makes sure the folder `path` exists, creating it and every missing folder
// above it. True when the folder exists on return. Shows nothing, throws
// nothing; `path` is not changed.
bool CreateFolderPath(const QString& path);

// The same, telling why the folder is not there on return: empty when it is,
// otherwise the cause ("a file of that name is in the way", the system's
// "Permission denied", ...).
QString MakeFolderPath(const QString& path);
