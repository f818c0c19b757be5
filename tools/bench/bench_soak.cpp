// marqora-bench soak --displays N --minutes M [--tick-ms MS] [--seed S]:
// N hxsims on loopback dropping 20 % of the requests they receive and
// rebooting at random moments (HX_Reset 1 sent by hxctl over a connection of
// its own), N watched files changing at random, and the real watch
// and link code keeping the displays up to date for M minutes. Then the files
// stop changing, the tick catches up, and the run checks that every
// controller holds the latest content of its file byte for byte and that no
// descriptor was left open. Resident memory is reported at the start and at
// the end.
#include "Bench.h"
#include "BenchSimulator.h"
#include "link/HX_Dll.h"
#include "transfer/LocalFiles.h"
#include "transfer/Watch.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDropPercent = 20;
constexpr int kBootMs = 300;
// Periods of 4, 5 and 6 ticks, so the displays' visits fall on different ticks.
constexpr uint16_t kPeriodTicks = 4;
constexpr int kPeriodSpread = 3;
constexpr std::size_t kMaxFileSize = 5000;  // up to five blocks
constexpr auto kCatchUpLimit = std::chrono::minutes(5);
// Each display reboots about this often.
constexpr auto kRebootEvery = std::chrono::seconds(120);

struct Options {
    int displays = 16;
    double minutes = 10;
    int tickMs = 250;
    unsigned seed = std::random_device{}();
};

bool parseOptions(int argc, char **argv, Options &options)
{
    for (int i = 0; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char *value = argv[i + 1];
        if (name == "--displays") options.displays = std::atoi(value);
        else if (name == "--minutes") options.minutes = std::atof(value);
        else if (name == "--tick-ms") options.tickMs = std::atoi(value);
        else if (name == "--seed") options.seed = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        else return false;
    }
    return argc % 2 == 0 && options.displays >= 1 && options.displays <= _MaxItem && options.minutes > 0 &&
           options.tickMs >= 0;
}

// Counts of this process from /proc/self.
int openDescriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count - 1;  // the iterator's own
}

long statusKilobytes(const char *field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
    return -1;
}

struct Memory {
    long peakKb = statusKilobytes("VmHWM");
    long residentKb = statusKilobytes("VmRSS");
};

// One hxsim of the soak with its disk and log, dropping requests and rebooting quickly.
class Simulator {
public:
    Simulator(const std::string &folder, const fs::path &root)
        : mDisk(root / "disk"), mLog(root / "hxsim.log"),
          mProcess(folder, {"--disk", mDisk.string(), "--drop", std::to_string(kDropPercent), "--boot-ms",
                            std::to_string(kBootMs), "--log", mLog.string()})
    {
    }

    bool running() const { return mProcess.port() != 0; }
    uint16_t port() const { return mProcess.port(); }
    const fs::path &disk() const { return mDisk; }
    const fs::path &log() const { return mLog; }
    // True when hxsim ended cleanly on SIGTERM.
    bool stop() { return mProcess.stop(); }

private:
    fs::path mDisk;
    fs::path mLog;
    BenchSimulator mProcess;
};

// Reboots a random display now and then through hxctl, a separate process
// with its own connection, so the reboot can land in the middle of a transfer.
class Rebooter {
public:
    Rebooter(std::string hxctl, std::vector<uint16_t> ports, unsigned seed)
        : mHxctl(std::move(hxctl)), mPorts(std::move(ports)), mRandom(seed)
    {
        mThread = std::thread([this] { run(); });
    }
    ~Rebooter() { stop(); }

    void stop()
    {
        mStop = true;
        if (mThread.joinable()) mThread.join();
    }
    int sent() const { return mSent; }

private:
    void run()
    {
        const auto meanGap = std::chrono::duration<double>(kRebootEvery) / static_cast<double>(mPorts.size());
        std::exponential_distribution<double> gap(1.0 / meanGap.count());
        std::uniform_int_distribution<std::size_t> pick(0, mPorts.size() - 1);
        while (!mStop) {
            const auto due = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::duration<double>(gap(mRandom)));
            while (!mStop && Clock::now() < due) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (mStop) break;
            reboot(mPorts[pick(mRandom)]);
        }
    }

    void reboot(uint16_t port)
    {
        const std::string portText = std::to_string(port);
        const char *args[] = {"hxctl", "--ip", "127.0.0.1", "--port", portText.c_str(), "--timeout", "1",
                              "--retries", "3", "reset", "1", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        if (posix_spawn(&pid, mHxctl.c_str(), &actions, nullptr, const_cast<char **>(args), environ) == 0) {
            ::waitpid(pid, nullptr, 0);
            ++mSent;
        }
        posix_spawn_file_actions_destroy(&actions);
    }

    std::string mHxctl;
    std::vector<uint16_t> mPorts;
    std::mt19937 mRandom;
    std::atomic<bool> mStop{false};
    std::atomic<int> mSent{0};
    std::thread mThread;
};

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// One watched file: its content changes at random, and each change gets a
// modification time two seconds past the previous one, so every change has a
// stamp of its own (the stamp's resolution is two seconds).
class WatchedFile {
public:
    WatchedFile(fs::path path, fs::file_time_type firstStamp) : mPath(std::move(path)), mStamp(firstStamp) {}

    void change(std::mt19937 &random)
    {
        std::uniform_int_distribution<std::size_t> size(1, kMaxFileSize);
        std::uniform_int_distribution<int> byte(0x20, 0x7E);
        mContent = "version " + std::to_string(++mVersion) + "\r\n";
        mContent.resize(std::max(mContent.size(), size(random)));
        for (std::size_t i = mContent.find('\n') + 1; i < mContent.size(); ++i)
            mContent[i] = static_cast<char>(byte(random));
        std::ofstream(mPath, std::ios::binary | std::ios::trunc) << mContent;
        mStamp += std::chrono::seconds(2);
        fs::last_write_time(mPath, mStamp);
    }

    const fs::path &path() const { return mPath; }
    const std::string &content() const { return mContent; }
    int version() const { return mVersion; }

private:
    fs::path mPath;
    fs::file_time_type mStamp;
    std::string mContent;
    int mVersion = 0;
};

// What the tick did to each display, read from its record around each tick.
struct LogCounts {
    long reboots = 0;
    long textSaves = 0;      // the watched files saved on the controller
    long failedRequests = 0; // requests the controller answered with an error
};

LogCounts countLog(const fs::path &log)
{
    LogCounts counts;
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        const bool ok = line.find("\"ok\":true") != std::string::npos;
        if (!ok) ++counts.failedRequests;
        if (ok && line.find("\"op\":\"Reset\",\"value\":1,") != std::string::npos) ++counts.reboots;
        if (ok && line.find("\"op\":\"SaveToFile\"") != std::string::npos && line.find(".TXT\"") != std::string::npos)
            ++counts.textSaves;
    }
    return counts;
}

bool allDelivered(const FMySetup &store, const std::vector<WatchedFile> &files,
                  const std::vector<std::unique_ptr<Simulator>> &simulators)
{
    for (std::size_t i = 0; i < files.size(); ++i) {
        const MySetupType &record = store.mSetup[i];
        if (!record.TmrStart) return false;
        if (readFile(simulators[i]->disk() / "C" / shortFileName(files[i].path().string())) != files[i].content())
            return false;
    }
    return true;
}

}  // namespace

int benchSoak(const std::string &argv0, int argc, char **argv)
{
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: soak [--displays N (1-64)] [--minutes M] [--tick-ms MS] [--seed S]\n");
        return 2;
    }
    const std::string folder = executableFolder(argv0);
    const fs::path root = fs::temp_directory_path() / ("marqora-soak-" + std::to_string(::getpid()));
    fs::create_directories(root / "prog");
    fs::create_directories(root / "files");
    std::mt19937 random(options.seed);
    std::printf("soak: %d displays, %.1f minutes, drop %d %%, boot %d ms, tick every %d ms, seed %u\n",
                options.displays, options.minutes, kDropPercent, kBootMs, options.tickMs, options.seed);

    std::vector<std::unique_ptr<Simulator>> simulators;
    std::vector<uint16_t> ports;
    for (int i = 0; i < options.displays; ++i) {
        const fs::path simRoot = root / ("sim" + std::to_string(i));
        fs::create_directories(simRoot / "disk");
        simulators.push_back(std::make_unique<Simulator>(folder, simRoot));
        if (!simulators.back()->running()) {
            std::fprintf(stderr, "soak: hxsim %d could not be started from %s\n", i, folder.c_str());
            return 1;
        }
        ports.push_back(simulators.back()->port());
    }

    FMySetup store;
    std::vector<WatchedFile> files;
    const auto firstStamp = fs::file_time_type::clock::now();
    for (int i = 0; i < options.displays; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "d%02d.txt", i);
        files.emplace_back(root / "files" / name, firstStamp);
        files.back().change(random);
        MySetupType &record = store.mSetup[i];
        record.bUsed = 1;
        record.Addr = FMySetup::IPStrToLong("127.0.0.1");
        record.Port = ports[static_cast<std::size_t>(i)];
        record.Timeout = 1;
        record.RetryTimes = 2;
        record.Width = 128;
        record.Height = 32;
        record.bFromFile = 1;
        setShortString(record.FileName, files.back().path().string());
        record.Peroid = static_cast<uint16_t>(kPeriodTicks + i % kPeriodSpread);
        record.Speed = 4;
        record.Stay = 5;
        record.Drv = 2;
    }
    store.Enable(true);

    store.mProgPath = (root / "prog" / "").string();
    WatchOptions watchOptions;
    watchOptions.log = [](const std::string &) {};  // figures only
    // Visits run on the watch's workers as in the program; each tick applies what finished.
    Watch watch(store, hxTable(), watchOptions);
    const auto tickGap = std::chrono::milliseconds(options.tickMs);
    std::bernoulli_distribution changeNow(1.0 / (2 * kPeriodTicks));

    const int descriptorsAtStart = openDescriptors();
    const Memory memoryAtStart;
    long ticks = 0, changes = 0;
    const auto start = Clock::now();
    const auto soakEnd = start + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double, std::ratio<60>>(options.minutes));
    {
        Rebooter rebooter((fs::path(folder) / "hxctl").string(), ports, options.seed + 1);
        while (Clock::now() < soakEnd) {
            const auto tickStart = Clock::now();
            for (auto &file : files)
                if (changeNow(random)) {
                    file.change(random);
                    ++changes;
                }
            watch.tick(true);
            ++ticks;
            std::this_thread::sleep_until(tickStart + tickGap);
        }
        rebooter.stop();
        std::printf("soak phase: %.1f s, %ld ticks, %ld file changes, %d reboots sent\n",
                    std::chrono::duration<double>(Clock::now() - start).count(), ticks, changes, rebooter.sent());
    }

    // The files stand still now; the tick catches up.
    const auto catchUpStart = Clock::now();
    long catchUpTicks = 0;
    while (!allDelivered(store, files, simulators) && Clock::now() - catchUpStart < kCatchUpLimit) {
        const auto tickStart = Clock::now();
        watch.tick(true);
        ++catchUpTicks;
        std::this_thread::sleep_until(tickStart + tickGap);
    }
    const double catchUpSeconds = std::chrono::duration<double>(Clock::now() - catchUpStart).count();

    // A look at a controller may still be on its way; its socket is no leak.
    watch.shutdown(std::chrono::seconds(30));
    const int descriptorsAtEnd = openDescriptors();
    const Memory memoryAtEnd;
    int stale = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::path onController = simulators[i]->disk() / "C" / shortFileName(files[i].path().string());
        if (readFile(onController) != files[i].content()) {
            ++stale;
            std::printf("display %zu: the controller does not hold version %d of %s\n", i, files[i].version(),
                        files[i].path().filename().c_str());
        }
    }
    LogCounts log;
    int unclean = 0;
    for (auto &simulator : simulators) {
        unclean += simulator->stop() ? 0 : 1;
        const LogCounts one = countLog(simulator->log());
        log.reboots += one.reboots;
        log.textSaves += one.textSaves;
        log.failedRequests += one.failedRequests;
    }

    std::printf("catch-up: %ld ticks, %.1f s\n", catchUpTicks, catchUpSeconds);
    std::printf("controllers (hxsim logs): %ld reboots, %ld text files saved, %ld requests answered with an error\n",
                log.reboots, log.textSaves, log.failedRequests);
    std::printf("files: %zu, latest content on the controller: %zu, stale: %d\n", files.size(), files.size() - stale,
                stale);
    std::printf("descriptors: %d at the start, %d at the end\n", descriptorsAtStart, descriptorsAtEnd);
    std::printf("memory: peak %ld kB / resident %ld kB at the start, peak %ld kB / resident %ld kB at the end\n",
                memoryAtStart.peakKb, memoryAtStart.residentKb, memoryAtEnd.peakKb, memoryAtEnd.residentKb);
    std::printf("hxsims that did not end cleanly: %d\n", unclean);

    const bool held = stale == 0 && descriptorsAtEnd == descriptorsAtStart && unclean == 0;
    std::printf("%s\n", held ? "soak held: nothing lost" : "soak FAILED");
    std::error_code ec;
    if (held) fs::remove_all(root, ec);
    else std::printf("files kept in %s\n", root.c_str());
    return held ? 0 : 1;
}
