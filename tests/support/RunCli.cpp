#include "tests/support/RunCli.h"

#include <QProcess>

CliRun runCli(const QStringList& args, const CliOptions& options)
{
    const QString program = QStringLiteral(PELLARO_BIN_DIR "/pellaro-cli");
    QProcess p;
    if (!options.workingDir.isEmpty())
        p.setWorkingDirectory(options.workingDir);
    if (options.shell.isEmpty())
        p.start(program, args);
    else
        p.start(QStringLiteral("/bin/sh"),
                QStringList{QStringLiteral("-c"), options.shell + QStringLiteral("; exec \"$0\" \"$@\""), program}
                    + args);
    CliRun r;
    if (!p.waitForFinished(options.timeoutMs) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.status = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}
