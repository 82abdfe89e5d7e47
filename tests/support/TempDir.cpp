#include "tests/support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TestHome::TestHome()
    : oldData_(qgetenv("XDG_DATA_HOME"))
    , oldConfig_(qgetenv("XDG_CONFIG_HOME"))
    , hadData_(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    , hadConfig_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME"))
{
    QDir(dir_.path()).mkpath(QStringLiteral("data"));
    QDir(dir_.path()).mkpath(QStringLiteral("config"));
    qputenv("XDG_DATA_HOME", dir_.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir_.filePath(QStringLiteral("config")).toLocal8Bit());
}

TestHome::~TestHome()
{
    if (hadData_)
        qputenv("XDG_DATA_HOME", oldData_);
    else
        qunsetenv("XDG_DATA_HOME");
    if (hadConfig_)
        qputenv("XDG_CONFIG_HOME", oldConfig_);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}
