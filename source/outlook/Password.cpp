#include "source/outlook/Password.h"

#include "source/outlook/Codepage.h"
#include "source/outlook/Crc.h"
#include "source/outlook/Outlook.h"

#include <QHash>
#include <QStringList>

#include <mutex>

namespace outlook::pst {

namespace {

// The stand-in for the Outlook component may read on threads of its own.
std::mutex g_mutex;
QHash<QString, QStringList>& passwords()
{
    static QHash<QString, QStringList> map;
    return map;
}

}  // namespace

std::uint32_t passwordCrc(const QByteArray& bytes)
{
    return crc(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
}

void rememberPassword(const QString& canonicalPath, const QString& password)
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    QStringList& list = passwords()[canonicalPath];
    if (!list.contains(password))
        list.push_back(password);
}

void forgetPasswords()
{
    const std::lock_guard<std::mutex> lock(g_mutex);
    passwords().clear();
}

void checkPassword(const QString& canonicalPath, std::uint32_t stored, const std::vector<int>& codepages)
{
    QStringList given;
    {
        const std::lock_guard<std::mutex> lock(g_mutex);
        given = passwords().value(canonicalPath);
    }
    if (given.isEmpty())
        throw OutlookError(Cause::Protected,
                           QStringLiteral("the data file %1 is password protected").arg(canonicalPath).toStdString());
    for (const QString& password : given)
        for (int codepage : codepages)
            if (const auto bytes = encode(password, codepage); bytes && passwordCrc(*bytes) == stored)
                return;
    const QString why = given.size() == 1 ? QStringLiteral("the password given for the data file %1 is wrong")
                                          : QStringLiteral("none of the passwords given for the data file %1 is right");
    throw OutlookError(Cause::WrongPassword, why.arg(canonicalPath).toStdString());
}

}  // namespace outlook::pst
