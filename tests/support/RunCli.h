#pragma once
// Running the built pellaro-cli as a user would, for the tests of its
// commands.

#include <QByteArray>
#include <QString>
#include <QStringList>

struct CliRun {
    int status = -1;  // the exit code; -1 when it did not end normally in time
    QByteArray out;
    QByteArray err;

    QString outText() const { return QString::fromUtf8(out); }
    QString errText() const { return QString::fromUtf8(err); }
};

struct CliOptions {
    QString workingDir;  // empty: the test's own
    QString shell;  // run through /bin/sh with this text before the command (limits, traps)
    int timeoutMs = 120000;
};

CliRun runCli(const QStringList& args, const CliOptions& options = {});
