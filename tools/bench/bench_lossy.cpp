// marqora-bench lossy [--runs N] [--periods P] [--part transfers|silent|displays]:
// the controller link on bad networks, against hxsims on loopback.
//  1. 786,432 bytes up and the same down with 0 %, 5 % and 20 % of the
//     requests lost and with 20 % of the replies lost, and 300,000 bytes
//     each way at 20 % request loss (the goal: within 1.5 s); medians of N.
//  2. A silent controller's visit cost: a transfer tick whose slot 0 is a
//     switched-off controller and slot 1 a live one, against the tick with
//     slot 1 alone; the difference is what slot 0 cost slot 1 (the goal:
//     at most one budget, (1 + retries) x time-out).
//  3. 8 displays on controllers losing 30 % of the requests, each sending
//     its file every 10 s. The real tick runs back to back; each tick counts
//     as max(1 s, its duration), since TransferTimer fires once a second and
//     a tick that overran starts the next one at once. Then the time between
//     two visits of a display is the sum over the ticks between them, so P
//     periods are measured in seconds instead of minutes.
#include "Bench.h"
#include "BenchSimulator.h"
#include "HexalinkVRX7300.h"
#include "link/HX_Dll.h"
#include "transfer/Watch.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBigFile = 786432;
constexpr std::size_t kGoalFile = 300000;
constexpr uint16_t kDevice = 127;
// As the program's users set it up on bad links: time-out 1 s, 10 retries.
constexpr int kTimeoutSeconds = 1;
constexpr int kRetries = 10;

double seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

std::vector<uint8_t> randomBytes(std::size_t size)
{
    std::vector<uint8_t> bytes(size);
    std::mt19937 random(42);
    for (auto &byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

// Upload then download of bytes as the program moves files, in seconds; -1 on failure.
struct TransferTimes {
    double up = -1;
    double down = -1;
};

TransferTimes transfer(const std::vector<uint8_t> &bytes)
{
    TransferTimes times;
    const auto start = Clock::now();
    for (std::size_t offset = 0; offset < bytes.size(); offset += HX_MAX_BLOCK) {
        const auto length = static_cast<int32_t>(std::min<std::size_t>(HX_MAX_BLOCK, bytes.size() - offset));
        if (!HX_SendData(kDevice, static_cast<int32_t>(offset), length, bytes.data() + offset)) return times;
    }
    if (!HX_SaveToFile(kDevice, 2, "LOSSY.BIN", static_cast<int32_t>(bytes.size()), 0, 0x21)) return times;
    const auto uploaded = Clock::now();
    const uint32_t size = HX_LoadFromFile(kDevice, 2, "LOSSY.BIN");
    if (size != bytes.size()) return times;
    std::vector<uint8_t> back(size);
    for (uint32_t offset = 0; offset < size; offset += HX_MAX_BLOCK) {
        const auto length = static_cast<int32_t>(std::min<uint32_t>(HX_MAX_BLOCK, size - offset));
        if (!HX_ReceiveData(kDevice, static_cast<int32_t>(offset), length, back.data() + offset)) return times;
    }
    if (back != bytes) return times;
    times.up = seconds(uploaded - start);
    times.down = seconds(Clock::now() - uploaded);
    return times;
}

struct LossCase {
    const char *name;
    std::vector<std::string> faults;
    std::size_t bytes;
};

bool measureTransfers(const std::string &folder, const fs::path &work, int runs)
{
    const LossCase cases[] = {
        {"no loss", {}, kBigFile},
        {"5 % of requests lost", {"--drop", "5"}, kBigFile},
        {"20 % of requests lost", {"--drop", "20"}, kBigFile},
        {"20 % of replies lost", {"--drop-replies", "20"}, kBigFile},
        {"20 % of requests lost", {"--drop", "20"}, kGoalFile},
    };
    std::printf("transfers (time-out %d s, %d retries), median of %d runs:\n", kTimeoutSeconds, kRetries, runs);
    std::printf("  %-24s %9s %9s %9s\n", "case", "bytes", "up s", "down s");
    for (const auto &lossCase : cases) {
        std::vector<std::string> args{"--disk", (work / "disk").string()};
        args.insert(args.end(), lossCase.faults.begin(), lossCase.faults.end());
        BenchSimulator simulator(folder, args);
        if (simulator.port() == 0 ||
            HX_NetInitial(kDevice, "", "127.  0.  0.  1", kTimeoutSeconds, kRetries, simulator.port(), -1) != 0) {
            std::fprintf(stderr, "lossy: cannot reach hxsim from %s\n", folder.c_str());
            return false;
        }
        const auto bytes = randomBytes(lossCase.bytes);
        std::vector<double> up, down;
        for (int run = 0; run < runs; ++run) {
            const TransferTimes times = transfer(bytes);
            if (times.up < 0 || times.down < 0) {
                std::fprintf(stderr, "lossy: a transfer failed (%s)\n", lossCase.name);
                HX_Close(kDevice);
                return false;
            }
            up.push_back(times.up);
            down.push_back(times.down);
        }
        HX_Close(kDevice);
        std::printf("  %-24s %9zu %9.3f %9.3f\n", lossCase.name, lossCase.bytes, median(up), median(down));
    }
    return true;
}

// A UDP port on loopback that never answers: a switched-off controller.
class SilentPort {
public:
    SilentPort()
    {
        mFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (mFd >= 0 && ::bind(mFd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
            ::getsockname(mFd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            mPort = ntohs(address.sin_port);
    }
    ~SilentPort()
    {
        if (mFd >= 0) ::close(mFd);
    }
    uint16_t port() const { return mPort; }

private:
    int mFd = -1;
    uint16_t mPort = 0;
};

// A watched network display on 127.0.0.1 at port, sending its file every period.
MySetupType watchedDisplay(uint16_t port, const fs::path &file, uint16_t period, uint16_t retries)
{
    MySetupType record{};
    record.bUsed = 1;
    record.Addr = FMySetup::IPStrToLong("127.0.0.1");
    record.Port = port;
    record.Timeout = kTimeoutSeconds;
    record.RetryTimes = retries;
    record.Width = 128;
    record.Height = 32;
    record.bFromFile = 1;
    record.bTimeSend = 1;
    setShortString(record.FileName, file.string());
    record.Peroid = period;
    record.Speed = 4;
    record.Stay = 5;
    record.Drv = 2;
    return record;
}

void writeText(const fs::path &path, std::size_t size)
{
    std::string text;
    while (text.size() < size) text += "Platform 3: the 10:42 to Harwick is delayed. ";
    text.resize(size);
    std::ofstream(path, std::ios::binary) << text;
}

// A watch whose visits run one after the other on the calling thread, so a
// tick takes as long as its visits; logging nowhere.
WatchOptions sequentialWatch()
{
    WatchOptions options;
    options.workers = 0;
    options.log = [](const std::string &) {};  // figures only
    return options;
}

// The first visit of every watched display, in seconds.
double firstTick(FMySetup &store, const fs::path &prog)
{
    store.Enable(true);
    store.mProgPath = (prog / "").string();
    Watch watch(store, hxTable(), sequentialWatch());
    const auto start = Clock::now();
    watch.tick(true);
    return seconds(Clock::now() - start);
}

bool measureSilentVisit(const std::string &folder, const fs::path &work, int runs)
{
    constexpr uint16_t retries = 2;
    const fs::path file = work / "news.txt";
    writeText(file, 4000);
    SilentPort silent;
    BenchSimulator live(folder, {"--disk", (work / "disk").string()});
    if (live.port() == 0 || silent.port() == 0) return false;
    std::vector<double> alone, behindSilent;
    for (int run = 0; run < runs; ++run) {
        FMySetup store;
        store.mSetup[1] = watchedDisplay(live.port(), file, 10, retries);
        alone.push_back(firstTick(store, work));
        if (!store.mSetup[1].TmrStart) return false;
        store.mSetup[0] = watchedDisplay(silent.port(), file, 10, retries);
        store.mSetup[1] = watchedDisplay(live.port(), file, 10, retries);
        behindSilent.push_back(firstTick(store, work));
        if (!store.mSetup[1].TmrStart || store.mSetup[0].TmrStart) return false;
    }
    const double budget = (1 + retries) * kTimeoutSeconds;
    std::printf("silent controller in slot 0 (time-out %d s, %d retries: budget %.0f s), median of %d runs:\n",
                kTimeoutSeconds, retries, budget, runs);
    std::printf("  first tick, slot 1 alone           %7.3f s\n", median(alone));
    std::printf("  first tick, slot 0 silent + slot 1 %7.3f s\n", median(behindSilent));
    std::printf("  slot 1 delayed by                  %7.3f s (%.2f budgets)\n", median(behindSilent) - median(alone),
                (median(behindSilent) - median(alone)) / budget);
    return true;
}

bool measureEightDisplays(const std::string &folder, const fs::path &work, int periods)
{
    constexpr int displays = 8;
    constexpr uint16_t period = 10;
    std::vector<std::unique_ptr<BenchSimulator>> simulators;
    FMySetup store;
    for (int i = 0; i < displays; ++i) {
        const fs::path disk = work / ("disk" + std::to_string(i));
        simulators.push_back(std::make_unique<BenchSimulator>(
            folder, std::vector<std::string>{"--disk", disk.string(), "--drop", "30"}));
        if (simulators.back()->port() == 0) return false;
        const fs::path file = work / ("d" + std::to_string(i) + ".txt");
        writeText(file, 4000);
        store.mSetup[i] = watchedDisplay(simulators.back()->port(), file, period, 2);
    }
    store.Enable(true);
    store.mProgPath = (work / "").string();
    Watch watch(store, hxTable(), sequentialWatch());
    // Per display, the counted time of each visit.
    std::vector<std::vector<double>> visits(displays);
    std::vector<double> tickSeconds;
    double clock = 0;
    const int ticks = periods * period + 1;
    for (int tick = 0; tick < ticks; ++tick) {
        std::vector<bool> due(displays);
        for (int i = 0; i < displays; ++i) due[i] = store.mSetup[i].TmrCount == 0;
        const auto start = Clock::now();
        watch.tick(true);
        const double took = seconds(Clock::now() - start);
        tickSeconds.push_back(took);
        for (int i = 0; i < displays; ++i)
            if (due[i]) visits[i].push_back(clock);
        clock += std::max(1.0, took);
    }
    std::vector<double> intervals;
    for (const auto &times : visits)
        for (std::size_t v = 1; v < times.size(); ++v) intervals.push_back(times[v] - times[v - 1]);
    std::sort(intervals.begin(), intervals.end());
    std::sort(tickSeconds.begin(), tickSeconds.end());
    std::printf("%d displays, 30 %% of requests lost, period %u s, timed sending of 4,000 bytes, %d periods:\n",
                displays, period, periods);
    std::printf("  visits %zu, interval between visits: median %.2f s, longest %.2f s\n", intervals.size() + displays,
                median(intervals), intervals.empty() ? -1 : intervals.back());
    std::printf("  longest tick %.3f s (all 8 visits fall on one tick)\n", tickSeconds.back());
    return !intervals.empty();
}

} // namespace

int benchLossy(const std::string &argv0, int argc, char **argv)
{
    int runs = 5;
    int periods = 6;
    std::string part; // empty: all three
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--periods") == 0 && i + 1 < argc) {
            periods = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--part") == 0 && i + 1 < argc) {
            part = argv[++i];
        } else {
            std::fprintf(stderr, "usage: marqora-bench lossy [--runs N] [--periods P] "
                                 "[--part transfers|silent|displays]\n");
            return 2;
        }
    }
    const std::string folder = executableFolder(argv0);
    std::string work = (fs::temp_directory_path() / "marqora-lossy-XXXXXX").string();
    if (!::mkdtemp(work.data())) return 1;
    const auto wanted = [&](const char *name) { return part.empty() || part == name; };
    const bool ok = (!wanted("transfers") || measureTransfers(folder, work, runs)) &&
                    (!wanted("silent") || measureSilentVisit(folder, work, std::min(runs, 3))) &&
                    (!wanted("displays") || measureEightDisplays(folder, work, periods));
    std::error_code ec;
    fs::remove_all(work, ec);
    if (!ok) std::fprintf(stderr, "lossy: a measurement failed\n");
    return ok ? 0 : 1;
}
