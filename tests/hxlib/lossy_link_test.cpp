// hxlib against an hxsim that loses requests and replies and answers late,
// and over a serial line whose relay corrupts bytes: files arrive byte for
// byte and hxsim's log shows every command run once, however many copies
// of it were sent.
#include "HexalinkVRX7300.h"
#include "HxSim.h"
#include "LibraryFiles.h"
#ifndef _WIN32
#include "SerialPair.h"
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace {

constexpr uint16_t kDevice = 0x0401;
constexpr uint16_t kOtherDevice = 0x0402;

using namespace libraryfiles;

using Runs = std::map<std::string, int>;

// How often hxsim ran each operation, keyed by the operation and the
// argument that tells its runs apart (the offset of a block, the path of a
// file, the value of a reset).
Runs runs(const HxSim &sim)
{
    Runs counts;
    for (auto &request : sim.requests()) {
        std::string key = request["op"];
        for (const char *argument : {"offset", "path", "value"})
            if (request.count(argument)) key += " " + request[argument];
        ++counts[key];
    }
    return counts;
}

// The runs of an upload and a download of a file of this many blocks,
// after the open's one request.
Runs roundTripRuns(const std::string &name, int blocks)
{
    Runs runs{{"GetLEDConfig", 1}, {"SaveToFile " + name, 1}, {"LoadFromFile " + name, 1}};
    for (int block = 0; block < blocks; ++block) {
        runs["SendData " + std::to_string(block * HX_MAX_BLOCK)] = 1;
        runs["ReceiveData " + std::to_string(block * HX_MAX_BLOCK)] = 1;
    }
    return runs;
}

void roundTrip(const HxSim &sim, uint16_t device, const std::string &name, const Bytes &bytes)
{
    ASSERT_TRUE(upload(device, 2, name, bytes));
    EXPECT_EQ(readFile(sim.diskPath() + "/C/" + name), bytes);
    const auto back = download(device, 2, name);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, bytes);
}

TEST(LossyLink, LostRequestsAndLostRepliesCostRepeatsNeverASecondRun)
{
    HxSim sim({"--drop", "20", "--drop-replies", "20"});
    ASSERT_EQ(HX_NetInitial(kDevice, "", sim.ipText().c_str(), 1, 10, sim.port(), -1), 0);
    const Bytes bytes = randomBytes(60 * 1024 + 17, 16);
    roundTrip(sim, kDevice, "LOSSY.BIN", bytes);
    HX_Close(kDevice);
    EXPECT_EQ(runs(sim), roundTripRuns("LOSSY.BIN", 61));
}

TEST(LossyLink, AWindowedTransferPerFaultOfTheNetworkArrivesByteForByteAndRunsOnce)
{
    struct Case {
        const char *fault;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"loss each way", {"--up", "loss=20", "--down", "loss=20"}},
        {"delay with jitter", {"--up", "delay=10,jitter=8", "--down", "delay=10,jitter=8"}},
        {"reordering", {"--up", "delay=10,reorder=30", "--down", "delay=10,reorder=30"}},
        {"late duplicates", {"--up", "duplicate=20,delay=2,jitter=2", "--down", "duplicate=20,delay=2,jitter=2"}},
        {"corruption", {"--up", "corrupt=5", "--down", "corrupt=5"}},
        {"a bit rate", {"--up", "rate=4000000", "--down", "rate=4000000"}},
        {"a controller without window", {"--protocol", "1", "--up", "duplicate=20,delay=2,jitter=2"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fault);
        HxSim sim(c.args);
        ASSERT_EQ(HX_NetInitial(kDevice, "", sim.ipText().c_str(), 1, 5, sim.port(), -1), 0);
        roundTrip(sim, kDevice, "FAULT.BIN", randomBytes(64 * 1024 + 5, 21));
        HX_Close(kDevice);
        EXPECT_EQ(runs(sim), roundTripRuns("FAULT.BIN", 65));
    }
}

TEST(LossyLink, AnUploadTheControllerLostOnTheWayIsSentAgainAndSaved)
{
    // Another client's upload empties the controller's one upload buffer
    // in the middle of this one; the save finds the bytes missing (with a
    // window: the gaps and the checksum; without: the next block is refused).
    for (const std::vector<std::string> &args : {std::vector<std::string>{}, {"--protocol", "1"}}) {
        SCOPED_TRACE(args.empty() ? "window" : "one request at a time");
        HxSim sim(args);
        ASSERT_EQ(HX_NetInitial(kDevice, "", sim.ipText().c_str(), 1, 2, sim.port(), -1), 0);
        ASSERT_EQ(HX_NetInitial(kOtherDevice, "", sim.ipText().c_str(), 1, 2, sim.port(), -1), 0);
        const Bytes bytes = randomBytes(10 * HX_MAX_BLOCK, 5);
        for (int block = 0; block < 10; ++block) {
            if (block == 5) {
                ASSERT_TRUE(upload(kOtherDevice, 2, "OTHER.BIN", Bytes{1, 2, 3}));
            }
            ASSERT_NE(HX_SendData(kDevice, block * HX_MAX_BLOCK, HX_MAX_BLOCK, bytes.data() + block * HX_MAX_BLOCK), 0)
                << block;
        }
        ASSERT_NE(HX_SaveToFile(kDevice, 2, "MINE.BIN", static_cast<int32_t>(bytes.size()), 0x6000, 0x56CF), 0);
        HX_Close(kDevice);
        HX_Close(kOtherDevice);
        EXPECT_EQ(readFile(sim.diskPath() + "/C/MINE.BIN"), bytes);
        EXPECT_EQ(readFile(sim.diskPath() + "/C/OTHER.BIN"), (Bytes{1, 2, 3}));
        EXPECT_GE(runs(sim)["SendData 0"], 3) << "this upload's first block went twice";
    }
}

TEST(LossyLink, ASlowControllerCostsRepeatsNotFailures)
{
    // Writing flash: SaveToFile and Reset answer 300 ms late, far later than
    // the round trips the library measured on the other requests.
    HxSim sim({"--delay", "300", "--delay-on", "SaveToFile,Reset", "--drop-replies", "10"});
    ASSERT_EQ(HX_NetInitial(kDevice, "", sim.ipText().c_str(), 1, 2, sim.port(), -1), 0);
    for (int file = 0; file < 3; ++file) {
        const Bytes bytes = randomBytes(3000 + static_cast<std::size_t>(file), static_cast<unsigned>(file));
        const std::string name = "SLOW" + std::to_string(file) + ".BIN";
        ASSERT_TRUE(upload(kDevice, 2, name, bytes)) << name;
        EXPECT_EQ(readFile(sim.diskPath() + "/C/" + name), bytes);
    }
    EXPECT_NE(HX_Reset(kDevice, 2 << 16), 0);
    uint8_t play[HX_PLAYINFO_SIZE] = {};
    ASSERT_NE(HX_GetPlayInfo(kDevice, play), 0);
    EXPECT_EQ(play[1], 2);
    HX_Close(kDevice);
    Runs expected{{"GetLEDConfig", 1}, {"Reset 131072", 1}, {"GetPlayInfo", 1}};
    for (int file = 0; file < 3; ++file) expected["SaveToFile SLOW" + std::to_string(file) + ".BIN"] = 1;
    for (int block = 0; block < 3; ++block) expected["SendData " + std::to_string(block * HX_MAX_BLOCK)] = 3;
    EXPECT_EQ(runs(sim), expected) << "three files of three blocks";
}

TEST(LossyLink, AReplyHeldBackDoesNotStopTheControllerFromServingOthers)
{
    HxSim sim({"--delay", "2000", "--delay-on", "SaveToFile"});
    ASSERT_EQ(HX_NetInitial(kDevice, "", sim.ipText().c_str(), 1, 2, sim.port(), -1), 0);
    ASSERT_EQ(HX_NetInitial(kOtherDevice, "", sim.ipText().c_str(), 1, 2, sim.port(), -1), 0);
    std::atomic<bool> saved{false};
    std::thread slow([&] {
        saved = upload(kDevice, 2, "HELD.BIN", Bytes{1, 2, 3});
    });
    // Once hxsim has run the save, its reply is held back for two seconds.
    bool running = false;
    for (int look = 0; look < 2000 && !running; ++look) {
        for (auto &request : sim.requests()) running = running || request["op"] == "SaveToFile";
        if (!running) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(running);
    uint8_t play[HX_PLAYINFO_SIZE] = {};
    EXPECT_NE(HX_GetPlayInfo(kOtherDevice, play), 0);
    EXPECT_FALSE(saved) << "the other client was answered while the save's reply was held";
    slow.join();
    EXPECT_TRUE(saved) << "the held reply came in time and the copies sent meanwhile ran nothing";
    HX_Close(kDevice);
    HX_Close(kOtherDevice);
    int saves = 0;
    for (auto &request : sim.requests()) saves += request["op"] == "SaveToFile";
    EXPECT_EQ(saves, 1);
}

TEST(LossyLink, JitteryRepliesOnEveryCommandStillDeliverEveryByte)
{
    HxSim sim({"--delay", "1", "--jitter", "15", "--drop", "10", "--drop-replies", "10"});
    ASSERT_EQ(HX_NetInitial(kDevice, "", sim.ipText().c_str(), 1, 5, sim.port(), -1), 0);
    roundTrip(sim, kDevice, "JITTER.BIN", randomBytes(20 * 1024, 3));
    HX_Close(kDevice);
    EXPECT_EQ(runs(sim), roundTripRuns("JITTER.BIN", 20));
}

TEST(LossyLink, AnotherClientInBetweenBreaksNoRetriedSaveOrReboot)
{
    // A second connection (its own socket, so another sender to hxsim) asks
    // for the play information all the time, so its requests fall between
    // the copies of the first connection's requests.
    HxSim sim({"--drop-replies", "30", "--boot-ms", "200"});
    ASSERT_EQ(HX_NetInitial(kDevice, "", sim.ipText().c_str(), 1, 3, sim.port(), -1), 0);
    // Two retries: without, the open has one second for three copies, and
    // all three replies are lost in one run of forty.
    ASSERT_EQ(HX_NetInitial(kOtherDevice, "", sim.ipText().c_str(), 1, 2, sim.port(), -1), 0);
    std::atomic<bool> done{false};
    std::atomic<int> asked{0};
    std::thread other([&] {
        uint8_t play[HX_PLAYINFO_SIZE];
        while (!done) {
            HX_GetPlayInfo(kOtherDevice, play);
            ++asked;
        }
    });
    bool saved = true;
    for (int file = 0; file < 20 && saved; ++file) {
        const Bytes bytes = randomBytes(100 + static_cast<std::size_t>(file), static_cast<unsigned>(file) + 40);
        const std::string name = "TWO" + std::to_string(file) + ".BIN";
        saved = upload(kDevice, 2, name, bytes);
        EXPECT_EQ(readFile(sim.diskPath() + "/C/" + name), bytes);
    }
    EXPECT_TRUE(saved);
    EXPECT_NE(HX_Reset(kDevice, 1), 0) << "a reboot whose reply is lost is answered once it is back";
    done = true;
    other.join();
    HX_Close(kDevice);
    HX_Close(kOtherDevice);
    EXPECT_GT(asked, 0);
    int reboots = 0, saves = 0;
    for (auto &request : sim.requests()) {
        reboots += request["op"] == "Reset" && request["value"] == "1";
        saves += request["op"] == "SaveToFile";
        if (request["op"] == "SaveToFile") {
            EXPECT_EQ(request["ok"], "true") << request["path"];
        }
    }
    EXPECT_EQ(reboots, 1);
    EXPECT_EQ(saves, 20);
}

// The serial line is a pseudo-terminal pair, which only POSIX systems have.
#ifndef _WIN32
// Copies bytes both ways between two pseudo-terminal ends and corrupts one
// byte in oneIn on the way, the way a noisy RS-485 run does.
class CorruptingRelay {
public:
    CorruptingRelay(const std::string &a, const std::string &b, int oneIn) : mOneIn(oneIn)
    {
        mFds[0] = ::open(a.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        mFds[1] = ::open(b.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (mFds[0] < 0 || mFds[1] < 0 || ::pipe2(mStop, O_CLOEXEC) != 0)
            throw std::runtime_error("cannot open the relay's line ends");
        mThread = std::thread([this] { relay(); });
    }
    ~CorruptingRelay()
    {
        const char byte = 1;
        (void)::write(mStop[1], &byte, 1);
        mThread.join();
        for (int fd : {mFds[0], mFds[1], mStop[0], mStop[1]}) ::close(fd);
    }
    int corrupted() const { return mCorrupted; }

private:
    void relay()
    {
        std::mt19937 random(11);
        std::uniform_int_distribution<int> dice(0, mOneIn - 1);
        for (;;) {
            pollfd fds[3] = {{mFds[0], POLLIN, 0}, {mFds[1], POLLIN, 0}, {mStop[0], POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0) return;
            if (fds[2].revents) return;
            for (int side = 0; side < 2; ++side) {
                if (!(fds[side].revents & POLLIN)) continue;
                uint8_t chunk[4096];
                const ssize_t got = ::read(mFds[side], chunk, sizeof chunk);
                for (ssize_t i = 0; i < got; ++i)
                    if (dice(random) == 0) {
                        chunk[i] ^= static_cast<uint8_t>(1 + random() % 255);
                        ++mCorrupted;
                    }
                for (ssize_t done = 0; done < got;) {
                    const ssize_t put = ::write(mFds[1 - side], chunk + done, static_cast<std::size_t>(got - done));
                    if (put > 0) {
                        done += put;
                    } else {
                        pollfd out{mFds[1 - side], POLLOUT, 0};
                        ::poll(&out, 1, 100);
                    }
                }
            }
        }
    }

    int mOneIn;
    int mFds[2] = {-1, -1};
    int mStop[2] = {-1, -1};
    std::atomic<int> mCorrupted{0};
    std::thread mThread;
};

TEST(LossyLink, OverASerialLineThatCorruptsBytes)
{
    SerialPair library, controller;
    HxSim sim({"--serial", controller.second(), "--screen", "3"});
    // One byte in 10,000 spoils about one 1 KB block frame in ten; one in
    // 2,000 spoiled four in ten and kept the back-off at the time-out.
    CorruptingRelay relay(library.second(), controller.first(), 10000);
    ::setenv("MARQORA_COM9", library.first().c_str(), 1);
    ASSERT_EQ(HX_ComInitial(3, 9, 460800, 3, 1, 10, -1), 0);
    roundTrip(sim, 3, "NOISY.BIN", randomBytes(64 * 1024, 9));
    HX_Close(3);
    ::unsetenv("MARQORA_COM9");
    EXPECT_GT(relay.corrupted(), 5) << "the line really was noisy";
    EXPECT_EQ(runs(sim), roundTripRuns("NOISY.BIN", 64));
}

#endif

} // namespace
