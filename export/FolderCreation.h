#pragma once
#include <QString>

namespace exporting {

// Makes sure the folder `path` exists, creating it and every missing folder
// above it. True when the folder exists on return. Shows nothing, throws
// nothing; `path` is not changed.
bool CreateFolderPath(const QString& path);

// The same, telling why the folder is not there on return: empty when it is,
// otherwise the cause ("a file of that name is in the way", the system's
// "Permission denied", ...).
QString MakeFolderPath(const QString& path);

// The folder a new book goes into, for the folder `picked`: "Lotus Notes
// Address Book" inside it, ending in a separator, picked with or without one;
// blanks around the picked folder are not part of it.
QString NewBookFolder(const QString& picked);

}  // namespace exporting

// Callers outside export/ that have not taken the namespace yet.
using exporting::CreateFolderPath;
using exporting::MakeFolderPath;
using exporting::NewBookFolder;
