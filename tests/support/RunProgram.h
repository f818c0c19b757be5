#pragma once

// Runs a program to its end and collects its exit code and output.

#include "ChildProcess.h"

#include <string>
#include <vector>

struct ProgramResult {
    int exitCode = -1;
    std::string output; // stdout and stderr together
};

inline ProgramResult runProgram(const std::string &path, const std::vector<std::string> &args)
{
    std::vector<std::string> all{path};
    all.insert(all.end(), args.begin(), args.end());
    ChildProcess program(all, ChildProcess::Output::WithErrors);
    ProgramResult result;
    result.output = program.readRest();
    result.exitCode = program.wait();
#ifdef _WIN32
    // Text written by a Windows program ends its lines with "\r\n".
    for (std::size_t at; (at = result.output.find("\r\n")) != std::string::npos;) result.output.erase(at, 1);
#endif
    return result;
}
