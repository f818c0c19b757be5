#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

ChildProcess::ChildProcess(const std::vector<std::string> &args, Output output)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("cannot create a pipe for " + args.at(0));
    std::vector<std::string> copies(args);
    std::vector<char *> argv;
    for (auto &arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // A test that dies must not leave the child holding its output open.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::dup2(out[1], STDOUT_FILENO);
        if (output == Output::WithErrors) ::dup2(out[1], STDERR_FILENO);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        throw std::runtime_error("cannot start " + args.at(0));
    }
    mProcess = pid;
    mOutput = out[0];
}

ChildProcess::~ChildProcess()
{
    stop();
    closeOutput();
}

bool ChildProcess::readByte(char &byte, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (mOutput < 0 || left.count() <= 0) return false;
        pollfd pfd{static_cast<int>(mOutput), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        return ::read(static_cast<int>(mOutput), &byte, 1) == 1;
    }
}

std::string ChildProcess::readRest()
{
    std::string text;
    char chunk[4096];
    for (ssize_t got; mOutput >= 0 && (got = ::read(static_cast<int>(mOutput), chunk, sizeof(chunk))) > 0;)
        text.append(chunk, static_cast<std::size_t>(got));
    return text;
}

void ChildProcess::closeOutput()
{
    if (mOutput >= 0) ::close(static_cast<int>(mOutput));
    mOutput = -1;
}

bool ChildProcess::stop()
{
    if (!mEnded && mProcess > 0) ::kill(static_cast<pid_t>(mProcess), SIGTERM);
    return wait() == 0;
}

int ChildProcess::wait()
{
    if (mEnded || mProcess <= 0) return mStatus;
    int status = 0;
    while (::waitpid(static_cast<pid_t>(mProcess), &status, 0) < 0 && errno == EINTR) {
    }
    mEnded = true;
    mStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return mStatus;
}
