// hxctl run as scripts run it, against hxsim over UDP and a pseudo-terminal
// pair.
#include "HxSim.h"
#include "RunProgram.h"
#include "SerialPair.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace {

std::string randomText(std::size_t size)
{
    std::mt19937 random(static_cast<unsigned>(size));
    std::string text(size, '\0');
    for (auto &c : text) c = static_cast<char>(random());
    return text;
}

class Hxctl : public ::testing::Test {
protected:
    ProgramResult hxctl(std::vector<std::string> args, const std::vector<std::string> &link)
    {
        args.insert(args.begin(), link.begin(), link.end());
        return runProgram(HxSim::siblingBinary("hxctl"), args);
    }

    // Puts a file of this size and gets it back under another name.
    void roundTrip(const std::vector<std::string> &link, const std::string &diskFolder)
    {
        const std::string content = randomText(5000);
        files.write("up.bin", content);
        auto put = hxctl({"put", "C", files.file("up.bin"), "UP.BIN"}, link);
        ASSERT_EQ(put.exitCode, 0) << put.output;
        EXPECT_EQ(put.output, "sent 5000 bytes\n");
        std::ifstream stored(diskFolder + "/C/UP.BIN", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stored), std::istreambuf_iterator<char>()), content);
        auto get = hxctl({"get", "2", "up.bin", files.file("down.bin")}, link);
        ASSERT_EQ(get.exitCode, 0) << get.output;
        EXPECT_EQ(files.read("down.bin"), content);
    }

    TempDir files;
};

TEST_F(Hxctl, PutGetInfoAndMoreOverUdp)
{
    HxSim sim({"--name", "Lobby", "--size", "192x48"});
    const std::vector<std::string> link{"--ip", "127.0.0.1", "--port", std::to_string(sim.port()), "--timeout", "1"};
    roundTrip(link, sim.diskPath());

    auto info = hxctl({"info"}, link);
    EXPECT_EQ(info.exitCode, 0);
    EXPECT_EQ(info.output, "name Lobby\nsize 192x48\n");
    auto play = hxctl({"playinfo"}, link);
    EXPECT_EQ(play.output, "drive A\nindex 0\n");

    EXPECT_EQ(hxctl({"mkdir", "b", "FON"}, link).exitCode, 0);
    EXPECT_TRUE(std::filesystem::is_directory(sim.diskPath() + "/B/FON"));
    EXPECT_EQ(hxctl({"rm", "C", "UP.BIN"}, link).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(sim.diskPath() + "/C/UP.BIN"));
    EXPECT_EQ(hxctl({"reset", "0x20000"}, link).exitCode, 0);
    EXPECT_EQ(hxctl({"playinfo"}, link).output, "drive A\nindex 2\n");
    EXPECT_EQ(hxctl({"show", "--area", "8,0,64,16", "Hello"}, link).exitCode, 0);

    const auto requests = sim.requests();
    const auto &shown = requests.back();
    EXPECT_EQ(shown.at("op"), "ShowString");
    EXPECT_EQ(shown.at("Left"), std::to_string(4096 - 64 + 8));
    EXPECT_EQ(shown.at("Width"), "64");
    EXPECT_EQ(shown.at("text_hex"), "48656c6c6f");
}

// The serial pair is two pseudo-terminals, which only POSIX systems have.
#ifndef _WIN32
TEST_F(Hxctl, PutAndGetOverASerialLine)
{
    SerialPair pair;
    HxSim sim({"--serial", pair.second(), "--screen", "2"});
    ::setenv("MARQORA_COM5", pair.first().c_str(), 1);
    roundTrip({"--com", "5", "--baud", "115200", "--screen", "2", "--timeout", "1"}, sim.diskPath());
    ::unsetenv("MARQORA_COM5");
}
#endif

TEST_F(Hxctl, FailuresExitNonZeroWithOneLineNamingThem)
{
    HxSim sim;
    const std::vector<std::string> link{"--ip", "127.0.0.1", "--port", std::to_string(sim.port()), "--timeout", "1",
                                        "--retries", "0"};
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char *mentions;
    };
    const Case cases[] = {
        {{"put", "C", files.file("missing"), "X"}, 1, "file error"},
        {{"get", "C", "MISSING.TXT", files.file("x")}, 1, "LoadFromFile"},
        {{"put", "C", "/etc/hostname", "..\\X"}, 1, "SaveToFile"},
        {{"mkdir", "D", "X"}, 2, "bad drive"},
        {{"frobnicate"}, 2, "unknown command"},
        {{"info", "extra"}, 2, "takes 0"},
    };
    for (const auto &c : cases) {
        const auto result = hxctl(c.args, link);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.output;
        const std::string firstLine = result.output.substr(0, result.output.find('\n'));
        EXPECT_NE(firstLine.find(c.mentions), std::string::npos) << result.output;
        // Usage errors add the usage text; transfer failures are one line.
        if (c.exitCode == 1) {
            EXPECT_EQ(firstLine + "\n", result.output);
        }
    }
    sim.stop();
    const auto silent = hxctl({"info"}, link);
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_NE(silent.output.find("no answer"), std::string::npos) << silent.output;
}

TEST_F(Hxctl, HelpPrintsTheUsageWithTheDefaultsAndWhenARequestIsGivenUp)
{
    const auto result = runProgram(HxSim::siblingBinary("hxctl"), {"--help"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output.rfind("usage: hxctl", 0), 0u) << result.output;
    for (const char *mentioned : {"default 2)", "(1 + N) x S seconds, 6 s by default"})
        EXPECT_NE(result.output.find(mentioned), std::string::npos) << mentioned;
}

TEST_F(Hxctl, OnlyAPlainDottedQuadIsAnAddress)
{
    // Each would have reached 127.0.0.1 (or a neighbour) through a lenient
    // parse; none may send a byte. Port 9 on loopback answers nothing, so an
    // accepted address would fail with "no answer" and exit code 1 instead.
    for (const char *address : {"127.0.0.1.5", "127.0.0.1 ", " 127.0.0.1", "127.0.0.1x", "127.0.0", "127.0.0.256",
                                "127.0.0.-1", "127.0.0.+1", "127..0.1", "1270.0.0.1", "127.0.0.1:9", ""}) {
        const auto result = hxctl({"--timeout", "1", "--retries", "0", "info"}, {"--ip", address, "--port", "9"});
        EXPECT_EQ(result.exitCode, 2) << '"' << address << "\": " << result.output;
        EXPECT_NE(result.output.find(address[0] ? "bad IP address" : "give either"), std::string::npos)
            << result.output;
    }
    HxSim sim;
    const auto padded = hxctl({"info"}, {"--ip", "127.000.0.001", "--port", std::to_string(sim.port())});
    EXPECT_EQ(padded.exitCode, 0) << "leading zeros are still decimal: " << padded.output;
}

TEST_F(Hxctl, AFailedDownloadLeavesTheOldFileAndNoTemporary)
{
    HxSim sim;
    const std::string content = randomText(16 << 20);
    {
        std::ofstream(sim.diskPath() + "/C/BIG.BIN", std::ios::binary) << content;
    }
    files.write("target.bin", "the old content");
    const std::vector<std::string> link{"--ip", "127.0.0.1", "--port", std::to_string(sim.port()), "--timeout", "1",
                                        "--retries", "0"};

    // hxsim is stopped once it has served a few blocks; the rest never comes.
    std::atomic<bool> stopped{false};
    std::thread watcher([&] {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < giveUp) {
            const auto lines = sim.logLines();
            if (std::any_of(lines.begin(), lines.end(), [](const std::string &line) {
                    return line.find("\"ReceiveData\",\"offset\":10240,") != std::string::npos;
                })) {
                stopped = sim.stop();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const auto result = hxctl({"get", "C", "big.bin", files.file("target.bin")}, link);
    watcher.join();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("ReceiveData"), std::string::npos) << result.output;
    EXPECT_EQ(files.read("target.bin"), "the old content");
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(files.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"target.bin"}) << "no temporary file stays";

    // A whole download replaces the file and keeps its rights; a new file
    // gets those of any new file.
    HxSim again({"--disk", sim.diskPath(), "--udp", "127.0.0.1:0"});
    const std::vector<std::string> againLink{"--ip", "127.0.0.1", "--port", std::to_string(again.port())};
    std::filesystem::permissions(files.file("target.bin"), std::filesystem::perms(0640));
    const mode_t mask = ::umask(022);
    const auto whole = hxctl({"get", "C", "BIG.BIN", files.file("target.bin")}, againLink);
    const auto fresh = hxctl({"get", "C", "BIG.BIN", files.file("fresh.bin")}, againLink);
    ::umask(mask);
    ASSERT_EQ(whole.exitCode, 0) << whole.output;
    EXPECT_TRUE(files.read("target.bin") == content);
    ASSERT_EQ(fresh.exitCode, 0) << fresh.output;
    EXPECT_TRUE(files.read("fresh.bin") == content);
#ifndef _WIN32
    // Windows files carry no such rights, only a read-only flag.
    const auto rights = [&](const std::string &name) {
        return std::filesystem::status(files.file(name)).permissions() & std::filesystem::perms::all;
    };
    EXPECT_EQ(rights("target.bin"), std::filesystem::perms(0640));
    EXPECT_EQ(rights("fresh.bin"), std::filesystem::perms(0644));
#endif
}

} // namespace
