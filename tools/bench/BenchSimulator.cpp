#include "BenchSimulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

BenchSimulator::BenchSimulator(const std::string &folder, const std::vector<std::string> &args,
                               const std::function<void()> &inChild)
{
    std::vector<std::string> words{(std::filesystem::path(folder) / "hxsim").string(), "--udp", "127.0.0.1:0"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    mPid = ::fork();
    if (mPid == 0) {
        if (inChild) inChild();
        ::dup2(out[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        std::_Exit(127);
    }
    ::close(out[1]);
    FILE *ready = ::fdopen(out[0], "r");
    char line[256] = {};
    const bool gotLine = ready && std::fgets(line, sizeof line, ready);
    if (ready) std::fclose(ready);
    const char *udp = gotLine ? std::strstr(line, "udp=") : nullptr;
    const char *colon = udp ? std::strrchr(udp, ':') : nullptr;
    mPort = colon ? static_cast<uint16_t>(std::atoi(colon + 1)) : 0;
}

BenchSimulator::~BenchSimulator()
{
    stop();
}

bool BenchSimulator::stop()
{
    if (mPid <= 0) return mStoppedCleanly;
    ::kill(mPid, SIGTERM);
    int status = 0;
    ::waitpid(mPid, &status, 0);
    mPid = -1;
    mStoppedCleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return mStoppedCleanly;
}
