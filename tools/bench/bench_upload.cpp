// marqora-bench upload [--runs N] [--split]: time a 786,432-byte upload
// through hxlib to an hxsim on loopback, and the same blocks sent
// stop-and-wait over bare UDP to a minimal echo peer; the ratio is hxlib's
// protocol overhead. Both exchanges run with the same CPU placement: all on
// CPU 0, or with --split the client on CPU 0 and the peers on CPU 1. Left to
// the scheduler, the two peers land differently from run to run, and on a
// virtual machine a wake-up across CPUs costs tens of microseconds, which
// swamps what is measured.
#include "Bench.h"
#include "BenchSimulator.h"
#include "HexalinkVRX7300.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sched.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kFileSize = 786432;
constexpr std::size_t kBlock = 1024;
// What one hxlib SendData frame carries on the wire: 10 header, 4 offset,
// the block, 2 CRC; the reply is 13 bytes.
constexpr std::size_t kBareRequest = 10 + 4 + kBlock + 2;
constexpr std::size_t kBareReply = 13;

void pinTo(int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    ::sched_setaffinity(0, sizeof(set), &set);
}

int gPeerCpu = 0;

struct Child {
    pid_t pid = -1;
    ~Child()
    {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

struct UploadTimes {
    double blocks = -1; // all SendData calls
    double save = -1;   // SaveToFile: the controller writes the file
};

UploadTimes hxlibUpload(uint16_t device, const std::string &localFile)
{
    UploadTimes times;
    std::FILE *file = std::fopen(localFile.c_str(), "rb");
    if (!file) return times;
    uint8_t block[kBlock];
    const auto start = Clock::now();
    int32_t sent = 0;
    bool ok = true;
    while (ok) {
        const std::size_t got = std::fread(block, 1, sizeof(block), file);
        if (got == 0) break;
        ok = HX_SendData(device, sent, static_cast<int32_t>(got), block);
        sent += static_cast<int32_t>(got);
    }
    std::fclose(file);
    const auto blocksDone = Clock::now();
    uint16_t date = 0, time = 0;
    ok = ok && HX_GetFileDateTime(localFile.c_str(), &date, &time) &&
         HX_SaveToFile(device, 2, "BENCH.BIN", sent, time, date);
    if (!ok) return times;
    times.blocks = std::chrono::duration<double>(blocksDone - start).count();
    times.save = std::chrono::duration<double>(Clock::now() - blocksDone).count();
    return times;
}

int bareEchoPeer(Child &child)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return -1;
    child.pid = ::fork();
    if (child.pid == 0) {
        pinTo(gPeerCpu);
        uint8_t buffer[2048];
        const uint8_t ack[kBareReply] = {};
        for (;;) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof(from);
            if (::recvfrom(fd, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr *>(&from), &fromLength) > 0)
                ::sendto(fd, ack, sizeof(ack), 0, reinterpret_cast<sockaddr *>(&from), fromLength);
        }
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

double bareStopAndWait(int port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    peer.sin_port = htons(static_cast<uint16_t>(port));
    uint8_t request[kBareRequest] = {};
    uint8_t reply[64];
    const auto start = Clock::now();
    for (std::size_t sent = 0; sent < kFileSize; sent += kBlock) {
        ::sendto(fd, request, sizeof(request), 0, reinterpret_cast<sockaddr *>(&peer), sizeof(peer));
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 2000) <= 0 || ::recv(fd, reply, sizeof(reply), 0) <= 0) {
            ::close(fd);
            return -1;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    return seconds;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int benchUpload(const std::string &argv0, int argc, char **argv)
{
    int runs = 5;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--split") == 0) {
            gPeerCpu = 1;
        } else {
            std::fprintf(stderr, "usage: marqora-bench upload [--runs N] [--split]\n");
            return 2;
        }
    }
    pinTo(0);
    const std::string hxsim = executableFolder(argv0) + "/hxsim";
    std::string work = (std::filesystem::temp_directory_path() / "marqora-bench-XXXXXX").string();
    if (!::mkdtemp(work.data())) return 1;
    const std::string localFile = work + "/upload.bin";
    {
        std::vector<char> bytes(kFileSize);
        std::mt19937 random(42);
        for (auto &byte : bytes) byte = static_cast<char>(random());
        std::ofstream(localFile, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    std::vector<double> blockTimes, saveTimes, bareTimes;
    {
        BenchSimulator simulator(executableFolder(argv0), {"--disk", work + "/disk"}, [] { pinTo(gPeerCpu); });
        const int simPort = simulator.port();
        Child echo;
        const int echoPort = bareEchoPeer(echo);
        if (simPort <= 0 || echoPort <= 0) {
            std::fprintf(stderr, "marqora-bench: cannot start %s or the echo peer\n", hxsim.c_str());
            return 1;
        }
        constexpr uint16_t device = 127;
        if (HX_NetInitial(device, "", "127.  0.  0.  1", 2, 3, static_cast<uint16_t>(simPort), -1) != 0) return 1;
        for (int run = 0; run < runs; ++run) {
            const UploadTimes hxlib = hxlibUpload(device, localFile);
            const double bare = bareStopAndWait(echoPort);
            if (hxlib.blocks < 0 || bare < 0) {
                std::fprintf(stderr, "marqora-bench: a transfer failed\n");
                return 1;
            }
            blockTimes.push_back(hxlib.blocks);
            saveTimes.push_back(hxlib.save);
            bareTimes.push_back(bare);
        }
        HX_Close(device);
    }
    std::filesystem::remove_all(work);

    const double blocks = median(blockTimes), save = median(saveTimes), bare = median(bareTimes);
    std::printf("upload of %zu bytes in %zu-byte blocks, median of %d runs, %s\n", kFileSize, kBlock, runs,
                gPeerCpu == 0 ? "client and peer on CPU 0" : "client on CPU 0, peer on CPU 1");
    std::printf("hxlib -> hxsim, blocks   %8.4f s  %12.0f bytes/s\n", blocks, kFileSize / blocks);
    std::printf("hxlib -> hxsim, + save   %8.4f s  %12.0f bytes/s\n", blocks + save, kFileSize / (blocks + save));
    std::printf("bare UDP stop-and-wait   %8.4f s  %12.0f bytes/s\n", bare, kFileSize / bare);
    std::printf("ratio blocks / bare      %8.2f\n", blocks / bare);
    return 0;
}
