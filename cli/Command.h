#pragma once
// The subcommands of pellaro-cli. Each command's source file registers itself
// with a static CommandRegistration; main() dispatches on the first argument.

#include <QStringList>

#include <functional>

// Exit codes shared by the commands.
enum ExitCode : int {
    ExitOk = 0,
    ExitFailure = 1,  // the work ran but something failed
    ExitBadInput = 2,  // a source or destination that cannot be opened
};

struct CliCommand {
    const char* name;  // "book", "folders", "convert", ...
    const char* summary;  // one line for the overall --help
    // Runs with the arguments after the command name; returns the exit code.
    std::function<int(const QStringList& args)> run;
};

struct CommandRegistration {
    explicit CommandRegistration(CliCommand command);
};
