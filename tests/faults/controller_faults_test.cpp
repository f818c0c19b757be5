// Controllers that misbehave on the network: one that answers with another
// controller's device number, one that answers from another port, and one
// that disappears in the middle of an upload and comes back.
#include "HxSim.h"
#include "TempDir.h"
#include "link/HX_Dll.h"
#include "WatchDriver.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A UDP socket on 127.0.0.1 with a free port.
int boundSocket(uint16_t &port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw std::runtime_error("cannot bind a UDP socket on loopback");
    port = ntohs(address.sin_port);
    return fd;
}

// A reply frame written from the protocol description, independently of
// hxlib's encoder: marker, version, device, sequence, command, length,
// payload, and the CRC the library exports, over version to payload.
std::vector<uint8_t> replyFrame(uint16_t device, uint16_t sequence, uint8_t command,
                                const std::vector<uint8_t> &payload)
{
    std::vector<uint8_t> frame{0xA5, 0x5A, 0x01, static_cast<uint8_t>(device), static_cast<uint8_t>(device >> 8),
                               static_cast<uint8_t>(sequence), static_cast<uint8_t>(sequence >> 8),
                               static_cast<uint8_t>(command | 0x80), static_cast<uint8_t>(payload.size()),
                               static_cast<uint8_t>(payload.size() >> 8)};
    frame.insert(frame.end(), payload.begin(), payload.end());
    uint16_t crc = 0;
    for (std::size_t i = 2; i < frame.size(); ++i) crc = HX_NewCRC(crc, frame[i]);
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// A controller that answers every request with the replies it is told to
// give: each names a device number (relative to the request's) and the play
// list number its play information carries, and may come from a second port.
class FakeController {
public:
    struct Answer {
        int deviceOffset = 0;
        uint8_t playIndex = 0;
        bool fromOtherPort = false;
    };

    explicit FakeController(std::vector<Answer> answers) : mAnswers(std::move(answers))
    {
        mSocket = boundSocket(mPort);
        uint16_t otherPort = 0;
        mOtherSocket = boundSocket(otherPort);
        mThread = std::thread([this] { serve(); });
    }
    ~FakeController()
    {
        mStop = true;
        mThread.join();
        ::close(mSocket);
        ::close(mOtherSocket);
    }

    uint16_t port() const { return mPort; }
    int requests() const { return mRequests; }

private:
    void serve()
    {
        while (!mStop) {
            pollfd pfd{mSocket, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0) continue;
            uint8_t request[2048];
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t got = ::recvfrom(mSocket, request, sizeof request, 0, reinterpret_cast<sockaddr *>(&from),
                                           &fromLength);
            if (got < 12) continue;
            ++mRequests;
            const auto device = static_cast<uint16_t>(request[3] | request[4] << 8);
            const auto sequence = static_cast<uint16_t>(request[5] | request[6] << 8);
            // The open asks for the LED configuration, 208 bytes; everything else gets
            // the 10-byte play information.
            const std::size_t blockSize = request[7] == 0x0B ? HX_LEDCONFIG_SIZE : HX_PLAYINFO_SIZE;
            for (const Answer &answer : mAnswers) {
                std::vector<uint8_t> payload(1 + blockSize, 0);  // status Ok, then the block
                payload[2] = answer.playIndex;
                const auto frame = replyFrame(static_cast<uint16_t>(device + answer.deviceOffset), sequence, request[7],
                                              payload);
                ::sendto(answer.fromOtherPort ? mOtherSocket : mSocket, frame.data(), frame.size(), 0,
                         reinterpret_cast<sockaddr *>(&from), fromLength);
            }
        }
    }

    std::vector<Answer> mAnswers;
    int mSocket = -1;
    int mOtherSocket = -1;
    uint16_t mPort = 0;
    std::atomic<bool> mStop{false};
    std::atomic<int> mRequests{0};
    std::thread mThread;
};

constexpr uint16_t kDevice = 500;

struct PlayInfoResult {
    int32_t ok = 0;
    uint8_t playIndex = 0;
    double seconds = 0;
};

// Opens a connection with a 1 s time-out and one retry and asks for the
// play information. The open asks the controller too, with the same replies,
// so a controller that is not taken as answering fails the open already.
PlayInfoResult askPlayInfo(uint16_t port)
{
    const auto start = Clock::now();
    PlayInfoResult result;
    uint8_t info[HX_PLAYINFO_SIZE] = {};
    if (HX_NetInitial(kDevice, "", "127.  0.  0.  1", 1, 1, port, -1) == 0) {
        result.ok = HX_GetPlayInfo(kDevice, info);
        HX_Close(kDevice);
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.playIndex = info[1];
    return result;
}

}  // namespace

TEST(ForeignReplies, AnotherControllersDeviceNumberIsIgnoredUntilTheTimeOut)
{
    FakeController controller({{+1, 9}});
    const PlayInfoResult result = askPlayInfo(controller.port());
    EXPECT_EQ(result.ok, 0);
    EXPECT_GE(result.seconds, 1.9);  // the open's whole budget of two seconds
    EXPECT_GE(controller.requests(), 2) << "sent again, never taking the foreign reply";
}

TEST(ForeignReplies, TheRightReplyAfterAForeignOneIsTaken)
{
    FakeController controller({{-1, 9}, {+0, 7}});
    const PlayInfoResult result = askPlayInfo(controller.port());
    EXPECT_NE(result.ok, 0);
    EXPECT_EQ(result.playIndex, 7);
    EXPECT_EQ(controller.requests(), 2) << "the open's request and the call's, each answered at once";
}

TEST(ForeignReplies, ARightlyNumberedReplyFromAnotherPortIsIgnored)
{
    FakeController controller({{+0, 9, true}, {+0, 7}});
    const PlayInfoResult result = askPlayInfo(controller.port());
    EXPECT_NE(result.ok, 0);
    EXPECT_EQ(result.playIndex, 7);
}

TEST(VanishingController, ControllerGoneMidUploadGetsTheFileAfterItIsBack)
{
    TempDir dir;
    std::string content(16u << 20, '\0');  // 16,384 blocks: far longer than it takes to stop hxsim
    std::mt19937 random(7);
    for (char &c : content) c = static_cast<char>('a' + random() % 26);
    dir.write("news.txt", content);

    HxSim first;
    const std::string port = std::to_string(first.port());
    FMySetup store;
    MySetupType &record = store.mSetup[0];
    record = first.display();
    setShortString(record.FileName, dir.file("news.txt"));
    store.mProgPath = dir.path();
    store.Enable(true);
    WatchDriver driver(store);
    const auto tick = [&] { driver.tick(1, false); };

    // Stopped once it has taken a few blocks of the text file.
    std::atomic<bool> stopped{false};
    std::thread watcher([&] {
        const auto giveUp = Clock::now() + std::chrono::seconds(30);
        while (Clock::now() < giveUp) {
            const auto lines = first.logLines();
            const auto blocks = std::count_if(lines.begin(), lines.end(), [](const std::string &line) {
                return line.find("\"SendData\",\"offset\":10240,") != std::string::npos;
            });
            if (blocks > 0) {
                stopped = first.stop();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    tick();
    watcher.join();
    ASSERT_TRUE(stopped);
    EXPECT_FALSE(+record.TmrStart);  // the set-up failed with the controller gone
    EXPECT_FALSE(std::filesystem::exists(first.diskPath() + "/C/NEWS.TXT"));

    // Back on the same port with the same disk: the set-up is tried again 8 ticks later.
    HxSim again({"--disk", first.diskPath(), "--udp", "127.0.0.1:" + port});
    for (int i = 0; i < 8 && !record.TmrStart; ++i) tick();
    EXPECT_TRUE(+record.TmrStart);
    std::ifstream in(first.diskPath() + "/C/NEWS.TXT", std::ios::binary);
    const std::string arrived((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(arrived == content) << arrived.size() << " bytes arrived";
}
