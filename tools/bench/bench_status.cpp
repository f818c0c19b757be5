// `marqora --status` as a monitoring check runs it: a new process each time,
// through the shell, asking a running Marqora that serves 64 displays. Their
// files are missing, so each visit fails at once without a controller and the
// report holds 64 failing lines.
#include "Bench.h"
#include "settings/MySetupData.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// The report of one `marqora --status`, and how long it took in milliseconds.
std::string askStatus(const std::string &marqora, double &milliseconds)
{
    const auto start = Clock::now();
    std::string report;
    if (FILE *pipe = ::popen((marqora + " --status 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) report.append(buffer, read);
        if (::pclose(pipe) != 0) report.clear();
    }
    milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return report;
}

std::size_t lines(const std::string &text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

int benchStatus(const std::string &argv0, int argc, char **argv)
{
    int runs = 50;
    if (argc == 2 && std::string(argv[0]) == "--runs") runs = std::atoi(argv[1]);
    if ((argc != 0 && argc != 2) || runs < 1) {
        std::fprintf(stderr, "usage: marqora-bench status [--runs N]\n");
        return 2;
    }
    const std::string marqora = executableFolder(argv0) + "/marqora";
    const fs::path root = fs::temp_directory_path() / ("marqora-bench-status-" + std::to_string(::getpid()));
    for (const char *folder : {"home", "config", "data", "run"}) fs::create_directories(root / folder);
    fs::permissions(root / "run", fs::perms::owner_all);
    ::setenv("MARQORA_HOME", (root / "home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    FMySetup store;
    store.Initial((root / "home").string());
    for (int slot = 0; slot < _MaxItem; ++slot) {
        MySetupType &record = store.mSetup[slot];
        record.bUsed = 1;
        record.bFromFile = 1;
        record.Addr = FMySetup::IPStrToLong(("10.0.0." + std::to_string(slot + 1)).c_str());
        record.Port = 27694;
        record.Peroid = 20;
        setShortString(record.FileName, (root / "missing.txt").string());
    }
    if (!store.WriteToFile()) {
        std::fprintf(stderr, "status: the display list could not be written\n");
        return 1;
    }

    const pid_t running = ::fork();
    if (running == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execl(marqora.c_str(), marqora.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    double milliseconds = 0;
    bool ready = false;
    for (const auto deadline = Clock::now() + std::chrono::seconds(30); !ready && Clock::now() < deadline;) {
        ready = lines(askStatus(marqora, milliseconds)) == _MaxItem;
        if (!ready) ::usleep(100000);
    }
    std::vector<double> times;
    for (int run = 0; ready && run < runs; ++run) {
        ready = lines(askStatus(marqora, milliseconds)) == _MaxItem;
        times.push_back(milliseconds);
    }
    ::kill(running, SIGTERM);
    ::waitpid(running, nullptr, 0);
    std::error_code ec;
    fs::remove_all(root, ec);
    if (!ready) {
        std::fprintf(stderr, "status: %s did not report 64 displays\n", marqora.c_str());
        return 1;
    }
    std::sort(times.begin(), times.end());
    std::printf("marqora --status, 64 displays, %d runs: median %.1f ms, slowest %.1f ms\n", runs,
                times[times.size() / 2], times.back());
    return 0;
}
