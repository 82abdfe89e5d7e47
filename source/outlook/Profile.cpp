#include "source/outlook/Profile.h"

#include "source/outlook/Outlook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace outlook::profile {

namespace {
// A profile is a short list of paths; anything far larger is not one.
constexpr qint64 kMaxProfileSize = 1024 * 1024;

[[noreturn]] void fail(Cause cause, const QString& text)
{
    throw OutlookError(cause, text.toStdString());
}

// Why the system refused a file.
Cause causeOf(const QFileDevice& file)
{
    return file.error() == QFileDevice::PermissionsError ? Cause::NoPermission : Cause::Io;
}
}  // namespace

QString Path()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/pellaro/profile");
}

QString Normalize(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QStringList Read()
{
    const QString path = Path();
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        fail(causeOf(file), QStringLiteral("cannot read the profile %1: %2").arg(path, file.errorString()));
    if (file.size() > kMaxProfileSize)
        fail(Cause::Damaged, QStringLiteral("the profile %1 is not a list of data files (too large)").arg(path));
    const QByteArray bytes = file.read(kMaxProfileSize + 1);
    if (file.error() != QFileDevice::NoError)
        fail(causeOf(file), QStringLiteral("cannot read the profile %1: %2").arg(path, file.errorString()));
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError() || text.contains(QChar(0)))
        fail(Cause::Damaged, QStringLiteral("the profile %1 is not a list of data files (not UTF-8 text)").arg(path));
    QStringList paths;
    int lineNo = 0;
    for (QString line : text.split(QLatin1Char('\n'))) {
        ++lineNo;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty())
            continue;
        if (!QDir::isAbsolutePath(line))
            fail(Cause::Damaged,
                 QStringLiteral("the profile %1 is not a list of data files (line %2 is not an absolute path)")
                     .arg(path)
                     .arg(lineNo));
        if (!paths.contains(line))
            paths.push_back(line);
    }
    return paths;
}

void Add(const QString& absolutePath)
{
    if (absolutePath.contains(QLatin1Char('\n')) || absolutePath.contains(QLatin1Char('\r')))
        fail(Cause::Other, QStringLiteral("a data file whose path holds a line break cannot be added to the profile"));
    QStringList paths = Read();
    if (paths.contains(absolutePath))
        return;
    paths.push_back(absolutePath);

    const QString path = Path();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        fail(Cause::Io, QStringLiteral("cannot create the folder of the profile %1").arg(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(causeOf(file), QStringLiteral("cannot write the profile %1: %2").arg(path, file.errorString()));
    QByteArray bytes;
    for (const QString& p : paths)
        bytes += p.toUtf8() + '\n';
    if (file.write(bytes) != bytes.size() || !file.commit())
        fail(causeOf(file), QStringLiteral("cannot write the profile %1: %2").arg(path, file.errorString()));
}

}  // namespace outlook::profile
