#pragma once
// pellaro-cli book export: the subcommand, dispatched by the book command.

#include <QStringList>

// Runs `book export` with the arguments after "export"; returns the exit code.
int runBookExport(const QStringList& args);
