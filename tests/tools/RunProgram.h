#pragma once

// Runs a program to its end and collects its exit code and output.

#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct ProgramResult {
    int exitCode = -1;
    std::string output; // stdout and stderr together
};

inline ProgramResult runProgram(const std::string &path, const std::vector<std::string> &args)
{
    int out[2];
    if (::pipe(out) != 0) return {};
    std::vector<std::string> all{path};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char *> argv;
        for (auto &arg : all) argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execv(path.c_str(), argv.data());
        _exit(127);
    }
    ::close(out[1]);
    ProgramResult result;
    char chunk[4096];
    for (ssize_t got; (got = ::read(out[0], chunk, sizeof(chunk))) > 0;) result.output.append(chunk, static_cast<std::size_t>(got));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}
