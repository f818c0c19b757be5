// marqora-bench lossy [--runs N] [--uploads N] [--periods P] [--case TEXT]
//                     [--part transfers|uploads|silent|displays]:
// the controller link on bad networks, against hxsims on loopback whose links
// carry netem's faults (hxsim --up, --down).
//  1. transfers: 300,000 bytes up and down and 786,432 bytes up, as the
//     program moves files, over each link of the table below; medians of N
//     runs, the transfers that failed, the blocks hxsim ran more than once,
//     and on a rated link the share of the line the upload used.
//  2. uploads: N uploads of 300,000 bytes, each on a connection of its own,
//     over 200 +- 100 ms with a quarter reordered; how many failed.
//  3. A silent controller's visit cost: a transfer tick whose slot 0 is a
//     switched-off controller and slot 1 a live one, against the tick with
//     slot 1 alone; the difference is what slot 0 cost slot 1 (the goal:
//     at most one budget, (1 + retries) x time-out).
//  4. 8 displays on controllers losing 30 % of the requests, each sending
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
#include <fcntl.h>
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

constexpr std::size_t kSmallFile = 300000;
constexpr std::size_t kBigFile = 786432;
constexpr uint16_t kDevice = 127;
// hxctl's defaults; the displays and the silent controller below use what
// the program's users set up on bad links.
constexpr int kTimeoutSeconds = 2;
constexpr int kRetries = 2;
constexpr int kDisplayTimeoutSeconds = 1;
// What a block costs on the wire beyond its bytes: a numbered SendData
// frame (header 10, copy number 1, offset 4, CRC 2) and the IPv4 and UDP
// headers the rate counts too.
constexpr std::size_t kBlockOverhead = 10 + 1 + 4 + 2 + 28;

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
    std::mt19937 random(static_cast<unsigned>(size));
    for (auto &byte : bytes) byte = static_cast<uint8_t>(random());
    return bytes;
}

// An hxsim with these faults, its complaints and link summary kept out of the
// figures, its requests logged.
std::unique_ptr<BenchSimulator> simulator(const std::string &folder, const fs::path &work, const std::string &name,
                                          std::vector<std::string> faults)
{
    const fs::path disk = work / name;
    fs::create_directories(disk);
    const std::string errors = (disk / "stderr").string();
    faults.insert(faults.end(), {"--disk", (disk / "disk").string(), "--log", (disk / "log").string()});
    return std::make_unique<BenchSimulator>(folder, faults, [errors] {
        const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) ::dup2(fd, STDERR_FILENO);
    });
}

bool open(const BenchSimulator &sim)
{
    return sim.port() != 0 &&
           HX_NetInitial(kDevice, "", "127.  0.  0.  1", kTimeoutSeconds, kRetries, sim.port(), -1) == 0;
}

// Seconds to upload bytes as the program does (HX_SendData per 1024 bytes,
// HX_SaveToFile), or -1.
double upload(const std::vector<uint8_t> &bytes, const char *name)
{
    const auto start = Clock::now();
    for (std::size_t offset = 0; offset < bytes.size(); offset += HX_MAX_BLOCK) {
        const auto length = static_cast<int32_t>(std::min<std::size_t>(HX_MAX_BLOCK, bytes.size() - offset));
        if (!HX_SendData(kDevice, static_cast<int32_t>(offset), length, bytes.data() + offset)) return -1;
    }
    if (!HX_SaveToFile(kDevice, 2, name, static_cast<int32_t>(bytes.size()), 0, 0x21)) return -1;
    return seconds(Clock::now() - start);
}

// Seconds to download name (HX_LoadFromFile, HX_ReceiveData per 1024 bytes)
// and find it equal to bytes, or -1.
double download(const std::vector<uint8_t> &bytes, const char *name)
{
    const auto start = Clock::now();
    const uint32_t size = HX_LoadFromFile(kDevice, 2, name);
    if (size != bytes.size()) return -1;
    std::vector<uint8_t> back(size);
    for (uint32_t offset = 0; offset < size; offset += HX_MAX_BLOCK) {
        const auto length = static_cast<int32_t>(std::min<uint32_t>(HX_MAX_BLOCK, size - offset));
        if (!HX_ReceiveData(kDevice, static_cast<int32_t>(offset), length, back.data() + offset)) return -1;
    }
    return back == bytes ? seconds(Clock::now() - start) : -1;
}

// Blocks hxsim ran (SendData and ReceiveData lines of its log).
std::size_t blocksRun(const fs::path &log)
{
    std::ifstream in(log);
    std::size_t blocks = 0;
    for (std::string line; std::getline(in, line);)
        blocks += line.find("\"op\":\"SendData\"") != std::string::npos ||
                  line.find("\"op\":\"ReceiveData\"") != std::string::npos;
    return blocks;
}

std::size_t blockCount(std::size_t bytes)
{
    return (bytes + HX_MAX_BLOCK - 1) / HX_MAX_BLOCK;
}

struct LinkCase {
    const char *name;
    std::vector<std::string> faults;
    uint64_t bitsPerSecond = 0; // for the share of the line
};

const LinkCase kLinks[] = {
    {"clean loopback", {}},
    {"20 % request loss only", {"--up", "loss=20"}},
    {"20 % loss each way", {"--up", "loss=20", "--down", "loss=20"}},
    {"20 % loss + 100 ms each way", {"--up", "loss=20,delay=100", "--down", "loss=20,delay=100"}},
    {"50 +- 20 ms each way (4G)", {"--up", "delay=50,jitter=20", "--down", "delay=50,jitter=20"}},
    {"200 +- 100 ms, 25 % reordered",
     {"--up", "delay=200,jitter=100,reorder=25", "--down", "delay=200,jitter=100,reorder=25"}},
    {"64 kbit/s", {"--up", "rate=64000", "--down", "rate=64000"}, 64000},
    {"10 % duplicated, 1 % corrupted", {"--up", "duplicate=10,corrupt=1", "--down", "duplicate=10,corrupt=1"}},
};

bool measureTransfers(const std::string &folder, const fs::path &work, int runs, const std::string &only)
{
    std::printf("transfers (time-out %d s, %d retries), median of %d runs:\n", kTimeoutSeconds, kRetries, runs);
    std::printf("  %-32s %10s %12s %10s %7s %10s %6s\n", "link", "300 KB up", "300 KB down", "768 KB up", "failed",
                "run twice", "line");
    const auto small = randomBytes(kSmallFile);
    const auto big = randomBytes(kBigFile);
    int caseNumber = 0;
    for (const auto &link : kLinks) {
        if (!only.empty() && std::string(link.name).find(only) == std::string::npos) continue;
        const std::string name = "link" + std::to_string(caseNumber++);
        const auto sim = simulator(folder, work, name, link.faults);
        std::vector<double> up, down, bigUp;
        int failed = 0;
        std::size_t expectedBlocks = 0;
        for (int run = 0; run < runs; ++run) {
            if (!open(*sim)) {
                failed += 3;
                continue;
            }
            const double times[] = {upload(small, "SMALL.BIN"), download(small, "SMALL.BIN"), upload(big, "BIG.BIN")};
            std::vector<double> *into[] = {&up, &down, &bigUp};
            for (int i = 0; i < 3; ++i) {
                if (times[i] < 0) ++failed;
                else into[i]->push_back(times[i]);
            }
            expectedBlocks += 2 * blockCount(kSmallFile) + blockCount(kBigFile);
            HX_Close(kDevice);
        }
        const std::size_t ran = blocksRun(work / name / "log");
        char line[16] = "";
        if (link.bitsPerSecond > 0 && !up.empty())
            std::snprintf(line, sizeof line, "%.1f %%",
                          100.0 * static_cast<double>((kSmallFile + blockCount(kSmallFile) * kBlockOverhead) * 8) /
                              static_cast<double>(link.bitsPerSecond) / median(up));
        std::printf("  %-32s %8.3f s %10.3f s %8.3f s %4d/%-2d %10zu %6s\n", link.name, median(up), median(down),
                    median(bigUp), failed, 3 * runs, ran > expectedBlocks ? ran - expectedBlocks : 0, line);
        std::fflush(stdout);
    }
    return true;
}

bool measureReorderedUploads(const std::string &folder, const fs::path &work, int uploads)
{
    const LinkCase &link = kLinks[5];
    const auto sim = simulator(folder, work, "uploads", link.faults);
    const auto bytes = randomBytes(kSmallFile);
    int failed = 0;
    std::vector<double> times;
    for (int i = 0; i < uploads; ++i) {
        // A connection per upload, as hxctl and the program's visits make them.
        const double took = open(*sim) ? upload(bytes, "EACH.BIN") : -1;
        HX_Close(kDevice);
        if (took < 0) ++failed;
        else times.push_back(took);
    }
    std::printf("%d uploads of 300 KB over %s (time-out %d s, %d retries): %d failed, median %.3f s, longest %.3f s\n",
                uploads, link.name, kTimeoutSeconds, kRetries, failed, median(times),
                times.empty() ? -1 : *std::max_element(times.begin(), times.end()));
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
    record.Timeout = kDisplayTimeoutSeconds;
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
    const double budget = (1 + retries) * kDisplayTimeoutSeconds;
    std::printf("silent controller in slot 0 (time-out %d s, %d retries: budget %.0f s), median of %d runs:\n",
                kDisplayTimeoutSeconds, retries, budget, runs);
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
        simulators.push_back(simulator(folder, work, "display" + std::to_string(i), {"--drop", "30"}));
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
    int uploads = 50;
    int periods = 6;
    std::string part; // empty: all four
    std::string only; // transfers over the links whose name holds it
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--uploads") == 0 && i + 1 < argc) {
            uploads = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--periods") == 0 && i + 1 < argc) {
            periods = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--part") == 0 && i + 1 < argc) {
            part = argv[++i];
        } else if (std::strcmp(argv[i], "--case") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr, "usage: marqora-bench lossy [--runs N] [--uploads N] [--periods P] [--case TEXT]\n"
                                 "                           [--part transfers|uploads|silent|displays]\n");
            return 2;
        }
    }
    const std::string folder = executableFolder(argv0);
    std::string work = (fs::temp_directory_path() / "marqora-lossy-XXXXXX").string();
    if (!::mkdtemp(work.data())) return 1;
    const auto wanted = [&](const char *name) { return part.empty() || part == name; };
    const bool ok = (!wanted("transfers") || measureTransfers(folder, work, runs, only)) &&
                    (!wanted("uploads") || measureReorderedUploads(folder, work, uploads)) &&
                    (!wanted("silent") || measureSilentVisit(folder, work, std::min(runs, 3))) &&
                    (!wanted("displays") || measureEightDisplays(folder, work, periods));
    std::error_code ec;
    fs::remove_all(work, ec);
    if (!ok) std::fprintf(stderr, "lossy: a measurement failed\n");
    return ok ? 0 : 1;
}
