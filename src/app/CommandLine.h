// What marqora does with its arguments: --status, --help and --version answer
// on the console without a screen; a start while Marqora already runs hands
// over to the running one.
#pragma once

#include <QString>
#include <QStringList>

#include <string>

class SingleInstance;

namespace CommandLine {

enum Exit { Ok = 0, Failed = 1, Usage = 2, NotRunning = 3 };

// Whether argv holds one of the console options, which need no screen.
bool isConsoleCommand(int argc, char *argv[]);

// Runs the console option in arguments (QCoreApplication::arguments()) and
// returns the exit status.
int runConsoleCommand(const QStringList &arguments, const std::string &progPath);

// The message for arguments a start with windows does not take (what is left
// after Qt took its own options), or empty.
QString unexpectedArguments(const QStringList &arguments);

// A later start: asks the running Marqora to open its window; the exit status.
int handOver(const SingleInstance &instance);

}  // namespace CommandLine
