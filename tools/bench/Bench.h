// marqora-bench subcommands. Each bench_<name>.cpp defines one entry point
// and adds itself to the table in bench_main.cpp.
#pragma once

#include <string>

// argc/argv start at the subcommand's own arguments; argv0 is the
// marqora-bench executable path. Returns the process exit code.
using BenchFunction = int (*)(const std::string &argv0, int argc, char **argv);

int benchUpload(const std::string &argv0, int argc, char **argv);
int benchTick(const std::string &argv0, int argc, char **argv);
int benchFontlib(const std::string &argv0, int argc, char **argv);
int benchSoak(const std::string &argv0, int argc, char **argv);
int benchLossy(const std::string &argv0, int argc, char **argv);
int benchWatch(const std::string &argv0, int argc, char **argv);
int benchStatus(const std::string &argv0, int argc, char **argv);

// The folder holding the running executable (hxsim lives beside it).
std::string executableFolder(const std::string &argv0);
