// pellaro-cli: the command-line companion of the windowed program.

#include "cli/Command.h"
#include "common/programend/ProgramEnd.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <vector>

namespace {

std::vector<CliCommand>& commands()
{
    static std::vector<CliCommand> all;
    return all;
}

void printUsage(std::FILE* out)
{
    std::fputs("usage: pellaro-cli COMMAND [ARGS...]\n\ncommands:\n", out);
    for (const CliCommand& c : commands())
        std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fputs("\nRun 'pellaro-cli COMMAND --help' for the arguments of a command.\n", out);
}

}  // namespace

CommandRegistration::CommandRegistration(CliCommand command)
{
    commands().push_back(std::move(command));
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        printUsage(args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? ExitBadInput : ExitOk;
    }
    const QString name = args.takeFirst();
    for (const CliCommand& c : commands()) {
        if (name == QLatin1String(c.name)) {
            const int status = c.run(args);
            RunProgramEndWork();
            return status;
        }
    }
    std::fprintf(stderr, "pellaro-cli: unknown command '%s'\n", qPrintable(name));
    printUsage(stderr);
    return ExitBadInput;
}
