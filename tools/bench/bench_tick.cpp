// Cost of the transfer tick: with 64 watched displays and nothing due, and with
// one display whose changed 4 KB file goes to an hxsim on loopback.
#include "Bench.h"
#include "BenchSimulator.h"
#include "link/HX_Dll.h"
#include "transfer/Watch.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double nanosecondsPer(Clock::duration total, long count)
{
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(total).count()) /
           static_cast<double>(count);
}

MySetupType watchingDisplay(const std::string &file, uint16_t port)
{
    MySetupType record{};
    record.bUsed = 1;
    record.bFromFile = 1;
    record.Addr = FMySetup::IPStrToLong("127.0.0.1");
    record.Port = port;
    record.Timeout = 1;
    record.RetryTimes = 1;
    record.Peroid = 20;
    record.Drv = 2;
    record.TmrEnable = 1;
    record.TmrStart = 1;
    setShortString(record.FileName, file);
    return record;
}

// A watch as the window drives it, but logging nowhere.
WatchOptions benchOptions(int workers)
{
    WatchOptions options;
    options.workers = workers;
    options.log = [](const std::string &) {};  // figures only
    return options;
}

double idleTick(long ticks)
{
    FMySetup store;
    store.mProgPath = "/nonexistent/";
    for (auto &record : store.mSetup) record = watchingDisplay("/nonexistent/news.txt", 1);
    Watch watch(store, hxTable(), benchOptions(8));
    // The window's thread, on ticks when nothing is due: every display counts
    // down (and this watch set none up, so none is due a look at its controller).
    const auto start = Clock::now();
    for (long done = 0; done < ticks;) {
        for (auto &record : store.mSetup) record.TmrCount = 60000;
        for (int i = 0; i < 50000 && done < ticks; ++i, ++done) watch.tick(false);
    }
    return nanosecondsPer(Clock::now() - start, ticks);
}

double changedFileTick(const std::string &folder, long ticks, bool &ok)
{
    const fs::path root = fs::temp_directory_path() / ("marqora-bench-" + std::to_string(::getpid()));
    fs::create_directories(root / "disk");
    for (const char *drive : {"A", "B", "C"}) fs::create_directories(root / "disk" / drive);
    const std::string file = (root / "news.txt").string();
    std::ofstream(file, std::ios::binary) << std::string(4096, 'n');
    // Not just written, or the watch would wait for it to hold still.
    fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(1));

    double result = 0;
    {
        BenchSimulator simulator(folder, {"--disk", (root / "disk").string()});
        ok = simulator.port() != 0;
        if (ok) {
            FMySetup store;
            store.mProgPath = (root / "").string();
            store.mSetup[0] = watchingDisplay(file, simulator.port());
            // Set up by the first tick, then sent whenever it is due.
            store.mSetup[0].TmrStart = 0;
            store.mSetup[0].bTimeSend = 1;
            // Visits on the calling thread: the time of a tick is the time of the visit.
            Watch watch(store, hxTable(), benchOptions(0));
            Clock::duration total{};
            for (long i = 0; i < ticks; ++i) {
                store.mSetup[0].TmrCount = 0;
                const auto start = Clock::now();
                watch.tick(false);
                total += Clock::now() - start;
                ok = ok && watch.status().status(0).state == WatchState::Watching;
            }
            ok = ok && fs::file_size(root / "disk" / "C" / "NEWS.TXT") == 4096;
            result = nanosecondsPer(total, ticks);
        }
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return result;
}

}  // namespace

int benchTick(const std::string &argv0, int argc, char **argv)
{
    const long idleTicks = argc > 0 ? std::atol(argv[0]) : 1000000;
    const long sendTicks = argc > 1 ? std::atol(argv[1]) : 200;
    if (idleTicks <= 0 || sendTicks <= 0) {
        std::fprintf(stderr, "usage: tick [IDLE_TICKS [SEND_TICKS]]\n");
        return 2;
    }
    std::printf("tick, 64 watched displays, nothing due: %.1f ns per tick (%ld ticks)\n", idleTick(idleTicks),
                idleTicks);
    bool ok = false;
    const double send = changedFileTick(executableFolder(argv0), sendTicks, ok);
    if (!ok) {
        std::fprintf(stderr, "tick with a changed file: hxsim could not be started or the file did not arrive\n");
        return 1;
    }
    std::printf("tick re-sending one changed 4 KB file to hxsim on loopback: %.1f us per tick (%ld ticks)\n",
                send / 1000.0, sendTicks);
    return 0;
}
