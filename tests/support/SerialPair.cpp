#include "SerialPair.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

SerialPair::SerialPair()
{
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("cannot create a pipe for socat");
    mPid = ::fork();
    if (mPid == 0) {
        // A test that dies must not leave the child holding its output open.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::dup2(err[1], STDERR_FILENO);
        ::execlp("socat", "socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0", nullptr);
        _exit(127);
    }
    ::close(err[1]);
    mStderr = err[0];

    // socat -d -d reports "... N PTY is /dev/pts/K" for each end, then
    // "starting data transfer loop" once it relays.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::string text;
    int found = 0;
    bool relaying = false;
    while (!relaying) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd pfd{mStderr, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
        char chunk[512];
        const ssize_t got = ::read(mStderr, chunk, sizeof(chunk));
        if (got <= 0) break;
        text.append(chunk, static_cast<std::size_t>(got));
        std::size_t end;
        while ((end = text.find('\n')) != std::string::npos) {
            const std::string line = text.substr(0, end);
            text.erase(0, end + 1);
            const auto at = line.find("PTY is ");
            if (at != std::string::npos && found < 2) mPaths[found++] = line.substr(at + 7);
            if (line.find("starting data transfer loop") != std::string::npos) relaying = true;
        }
    }
    if (found < 2 || !relaying) {
        release();
        throw std::runtime_error("socat did not provide a pseudo-terminal pair within 20 s (is socat installed?)");
    }
    for (int i = 0; i < 2; ++i) mHeld[i] = ::open(mPaths[i].c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
}

SerialPair::~SerialPair()
{
    release();
}

void SerialPair::release()
{
    for (int &fd : mHeld)
        if (fd >= 0) ::close(fd), fd = -1;
    if (mPid > 0) {
        ::kill(mPid, SIGTERM);
        while (::waitpid(mPid, nullptr, 0) < 0 && errno == EINTR) {
        }
        mPid = -1;
    }
    if (mStderr >= 0) ::close(mStderr), mStderr = -1;
}
