// hxsim as a process: its command line, ready line, log, and that noise on
// its socket does not stop it from answering.
#include "HexalinkVRX7300.h"
#include "HxSim.h"
#include "TempDir.h"
#include "RunProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uint16_t kDevice = 0x0301;

void sendGarbage(uint16_t port, int count)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    std::mt19937 random(5);
    std::vector<uint8_t> datagram;
    for (int i = 0; i < count; ++i) {
        datagram.resize(random() % 1400 + 1);
        for (auto &byte : datagram) byte = static_cast<uint8_t>(random());
        if (i % 3 == 0 && datagram.size() > 12) {
            // Starts like one of ours, so the header checks are exercised too.
            datagram[0] = 0xA5;
            datagram[1] = 0x5A;
            datagram[2] = 0x01;
        }
        ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof(to));
    }
    // The largest datagram UDP carries, far above any frame.
    datagram.assign(65000, 0xA5);
    ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof(to));
    ::close(fd);
}

TEST(Process, StillAnswersAfterGarbageAndStopsCleanly)
{
    HxSim sim;
    sendGarbage(sim.port(), 500);
    ASSERT_EQ(HX_NetInitial(kDevice, "", sim.ipText().c_str(), 2, 2, sim.port(), -1), 0);
    uint8_t play[HX_PLAYINFO_SIZE];
    EXPECT_NE(HX_GetPlayInfo(kDevice, play), 0);
    HX_Close(kDevice);
    const auto requests = sim.requests();
    ASSERT_EQ(requests.size(), 2u) << "garbage is never logged as a request";
    EXPECT_EQ(requests[0].at("op"), "GetLEDConfig") << "asked by the open";
    EXPECT_EQ(requests[1].at("op"), "GetPlayInfo");
    EXPECT_EQ(requests[1].at("ok"), "true");
    EXPECT_TRUE(sim.stop()) << "exit status 0 after SIGTERM";
}

TEST(Process, CreatesItsDisksAndHonoursAGivenDiskFolder)
{
    TempDir dir;
    const std::string disk = dir.file("my disk");
    HxSim sim({"--disk", disk, "--play", "2:5"});
    EXPECT_EQ(sim.diskPath(), disk);
    for (const char *drive : {"A", "B", "C"}) EXPECT_TRUE(std::filesystem::is_directory(disk + "/" + drive));
    ASSERT_EQ(HX_NetInitial(kDevice, "", sim.ipText().c_str(), 2, 0, sim.port(), -1), 0);
    uint8_t play[HX_PLAYINFO_SIZE];
    ASSERT_NE(HX_GetPlayInfo(kDevice, play), 0);
    EXPECT_EQ(play[0], 2);
    EXPECT_EQ(play[1], 5);
    HX_Close(kDevice);
}

TEST(Process, BadCommandLinesAreRefused)
{
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"--udp", "127.0.0.1:0"}, std::vector<std::string>{"--disk", "/tmp/x"},
          std::vector<std::string>{"--disk", "/tmp/x", "--udp", "127.0.0.1:0", "--type", "2"},
          std::vector<std::string>{"--disk", "/tmp/x", "--udp", "127.0.0.1:0", "--name", "seventeen bytes!!"},
          std::vector<std::string>{"--disk", "/tmp/x", "--serial", "/dev/null"},
          std::vector<std::string>{"--disk", "/tmp/x", "--udp", "127.0.0.1.5:0"},
          std::vector<std::string>{"--disk", "/tmp/x", "--udp", "127.0.0.1 :0"},
          std::vector<std::string>{"--disk", "/tmp/x", "--udp", "127.0.0.1:0x"},
          std::vector<std::string>{"--disk", "/tmp/x", "--udp", "127.0.0.1:0", "--drop-replies", "101"},
          std::vector<std::string>{"--disk", "/tmp/x", "--udp", "127.0.0.1:0", "--delay", "-1"},
          std::vector<std::string>{"--disk", "/tmp/x", "--udp", "127.0.0.1:0", "--delay-on", "SaveToFile,Nap"},
          std::vector<std::string>{"--disk", "/tmp/x", "--udp", "127.0.0.1:0", "--up", "loss=20,lag=3"},
          std::vector<std::string>{"--disk", "/tmp/x", "--udp", "127.0.0.1:0", "--down", "rate=0"},
          std::vector<std::string>{"--disk", "/tmp/x", "--udp", "127.0.0.1:0", "--protocol", "3"}}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::vector<std::string> all{std::getenv("HXSIM")};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char *> argv;
            for (auto &arg : all) argv.push_back(arg.data());
            argv.push_back(nullptr);
            ::freopen("/dev/null", "w", stderr);
            ::execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args.back();
    }
}

TEST(Process, HelpPrintsTheUsageAndTheDefaults)
{
    const auto result = runProgram(std::getenv("HXSIM"), {"--help"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output.rfind("usage: hxsim", 0), 0u) << result.output;
    for (const char *mentioned : {"default 2000", "default HXSIM", "--up FAULTS", "rate=BITS-PER-SECOND"})
        EXPECT_NE(result.output.find(mentioned), std::string::npos) << mentioned;
}

TEST(Process, ADiskFolderThatCannotHoldTheDrivesIsOneLineAndExitCode2)
{
    TempDir dir;
    dir.write("plain", "a regular file");
    for (const std::string &disk : {dir.file("plain"), dir.file("plain/under"), std::string("/proc/version/disk")}) {
        const auto result = runProgram(std::getenv("HXSIM"), {"--disk", disk, "--udp", "127.0.0.1:0"});
        EXPECT_EQ(result.exitCode, 2) << disk << ": " << result.output;
        EXPECT_EQ(result.output.rfind("hxsim: cannot use --disk: " + disk, 0), 0u) << result.output;
        EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
    }
    EXPECT_EQ(dir.read("plain"), "a regular file");
}

} // namespace
