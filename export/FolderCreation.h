#pragma once
#include <QString>

// Makes sure the folder `path` exists, creating it and every missing folder
// above it. True when the folder exists on return. Shows nothing, throws
// nothing; `path` is not changed.
bool CreateFolderPath(const QString& path);
