#include "export/FolderCreation.h"

#include "app/global/Global.h"

#include <filesystem>
#include <system_error>

bool CreateFolderPath(const QString& path)
{
    // Everything up to the last separator is a folder to make; the separator
    // is added when missing, so the whole text names the folder.
    QString folder = path;
    if (!folder.endsWith(Global::PathSeparator))
        folder += Global::PathSeparator;
    const std::filesystem::path native(folder.toStdU16String());
    std::error_code ec;
    std::filesystem::create_directories(native, ec);
    // create_directories reports "nothing created" for a folder that was
    // already there; what counts is whether it is there now.
    return std::filesystem::is_directory(native, ec);
}
