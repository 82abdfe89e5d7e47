#include "export/FolderCreation.h"
#include "common/paths/PathSeparator.h"

#include <filesystem>
#include <system_error>

namespace exporting {

QString MakeFolderPath(const QString& path)
{
    // Everything up to the last separator is a folder to make; the separator
    // is added when missing, so the whole text names the folder.
    QString folder = path;
    if (!folder.endsWith(PathSeparator))
        folder += PathSeparator;
    const std::filesystem::path native(folder.toStdU16String());
    std::error_code made;
    std::filesystem::create_directories(native, made);
    // create_directories reports "nothing created" for a folder that was
    // already there; what counts is whether it is there now.
    std::error_code ec;
    if (std::filesystem::is_directory(native, ec))
        return QString();
    // A plain file where a folder of the path should be.
    for (std::filesystem::path p = native.parent_path(); !p.empty(); p = p.parent_path()) {
        std::error_code statError;
        const auto status = std::filesystem::status(p, statError);
        if (std::filesystem::exists(status)) {
            if (!std::filesystem::is_directory(status))
                return QStringLiteral("a file of that name is in the way: ") + QString::fromStdU16String(p.u16string());
            break;
        }
        if (p == p.parent_path())
            break;
    }
    return QString::fromLocal8Bit(made ? made.message() : std::string("the folder could not be made"));
}

bool CreateFolderPath(const QString& path)
{
    return MakeFolderPath(path).isEmpty();
}

QString NewBookFolder(const QString& picked)
{
    QString folder = picked;
    if (!folder.endsWith(PathSeparator))
        folder += PathSeparator;
    folder = folder.trimmed() + QStringLiteral("Lotus Notes Address Book");
    return folder.trimmed() + PathSeparator;
}

}  // namespace exporting
