// The library's contract at its edges: argument checks, closed devices,
// time-outs and retries, and which replies it accepts, against a scripted
// UDP controller in the test.
#include "HexalinkVRX7300.h"
#include "HxProtocol.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utime.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t kDevice = 0x0101;
const char kLoopback[] = "127.  0.  0.  1";

int boundUdpSocket(uint16_t &port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address));
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

Bytes encode(uint16_t device, uint16_t sequence, uint8_t command, const Bytes &payload)
{
    Bytes out(hx::kMaxFrame);
    out.resize(hx::encodeFrame(out, device, sequence, command, payload));
    return out;
}

// A controller that answers each request with the datagrams its script
// returns; extra sockets let it send from other ports. The LED configuration
// that every open asks for is answered outside the script, so the script
// and the request count see only what the test's calls send.
class ScriptedController {
public:
    struct Datagram {
        Bytes bytes;
        bool fromOtherPort = false;
    };
    using Script = std::function<std::vector<Datagram>(const hx::Frame &request)>;

    explicit ScriptedController(Script script) : mScript(std::move(script))
    {
        mFd = boundUdpSocket(mPort);
        uint16_t unused;
        mOther = boundUdpSocket(unused);
        mThread = std::thread([this] { serve(); });
    }
    ~ScriptedController()
    {
        mStop = true;
        mThread.join();
        ::close(mFd);
        ::close(mOther);
    }
    uint16_t port() const { return mPort; }
    int requests() const { return mRequests; }

private:
    void serve()
    {
        uint8_t buffer[2048];
        while (!mStop) {
            pollfd pfd{mFd, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0) continue;
            sockaddr_in from{};
            socklen_t length = sizeof(from);
            const ssize_t got = ::recvfrom(mFd, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr *>(&from), &length);
            const auto request = hx::decodeFrame({buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0))});
            if (!request) continue;
            if (request->command == static_cast<uint8_t>(hx::Command::GetLedConfig)) {
                const auto answer = encode(request->device, request->sequence, request->command | hx::kReplyFlag,
                                           Bytes(1 + hx::kLedConfigSize, 0));
                ::sendto(mFd, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr *>(&from), length);
                continue;
            }
            ++mRequests;
            for (const auto &datagram : mScript(*request))
                ::sendto(datagram.fromOtherPort ? mOther : mFd, datagram.bytes.data(), datagram.bytes.size(), 0,
                         reinterpret_cast<sockaddr *>(&from), length);
        }
    }

    Script mScript;
    int mFd = -1;
    int mOther = -1;
    uint16_t mPort = 0;
    std::atomic<bool> mStop{false};
    std::atomic<int> mRequests{0};
    std::thread mThread;
};

Bytes playInfoReply(uint8_t drive, uint8_t index)
{
    Bytes payload(1 + hx::kPlayInfoSize, 0);
    payload[1] = drive;
    payload[2] = index;
    return payload;
}

ScriptedController::Datagram reply(const hx::Frame &request, const Bytes &payload)
{
    return {encode(request.device, request.sequence, request.command | hx::kReplyFlag, payload)};
}

struct OpenDevice {
    explicit OpenDevice(uint16_t port, int timeout = 1, int retries = 0)
    {
        EXPECT_EQ(HX_NetInitial(kDevice, "", kLoopback, timeout, retries, port, -1), 0);
    }
    ~OpenDevice() { HX_Close(kDevice); }
};

TEST(Arguments, CallsOnADeviceThatIsNotOpenFail)
{
    constexpr uint16_t closed = 4711;
    HX_Close(closed);
    HX_Close(closed); // closing a closed number does nothing
    uint8_t buffer[HX_NETCONFIG_SIZE] = {};
    const TextOutInfo info{};
    EXPECT_EQ(HX_Reset(closed, 0), 0);
    EXPECT_EQ(HX_TurnVGA(closed, -1), 0);
    EXPECT_EQ(HX_ShowString(closed, &info, "x"), 0);
    EXPECT_EQ(HX_SendData(closed, 0, 1, buffer), 0);
    EXPECT_EQ(HX_SaveToFile(closed, 0, "A.TXT", 1, 0, 0), 0);
    EXPECT_EQ(HX_LoadFromFile(closed, 0, "A.TXT"), 0xFFFFFFFFu);
    EXPECT_EQ(HX_ReceiveData(closed, 0, 1, buffer), 0);
    EXPECT_EQ(HX_MD(closed, 0, "F"), 0);
    EXPECT_EQ(HX_RemoveFile(closed, 0, "A.TXT"), 0);
    EXPECT_EQ(HX_GetNetConfig(closed, buffer), 0);
    EXPECT_EQ(HX_GetLEDConfig(closed, buffer), 0);
    EXPECT_EQ(HX_GetPlayInfo(closed, buffer), 0);
}

TEST(Arguments, BadPointersLengthsAndOpenValuesFailBeforeAnyTraffic)
{
    ScriptedController controller([](const hx::Frame &request) {
        return std::vector<ScriptedController::Datagram>{reply(request, {0})};
    });
    OpenDevice device(controller.port());
    uint8_t buffer[HX_MAX_BLOCK + 1] = {};
    const TextOutInfo info{};
    EXPECT_EQ(HX_ShowString(kDevice, nullptr, "x"), 0);
    EXPECT_EQ(HX_ShowString(kDevice, &info, nullptr), 0);
    EXPECT_EQ(HX_SendData(kDevice, 0, 1, nullptr), 0);
    EXPECT_EQ(HX_SendData(kDevice, 0, 0, buffer), 0);
    EXPECT_EQ(HX_SendData(kDevice, 0, HX_MAX_BLOCK + 1, buffer), 0);
    EXPECT_EQ(HX_SendData(kDevice, -1, 1, buffer), 0);
    EXPECT_EQ(HX_ReceiveData(kDevice, 0, 1, nullptr), 0);
    EXPECT_EQ(HX_ReceiveData(kDevice, 0, 0, buffer), 0);
    EXPECT_EQ(HX_ReceiveData(kDevice, 0, HX_MAX_BLOCK + 1, buffer), 0);
    EXPECT_EQ(HX_SaveToFile(kDevice, 0, nullptr, 0, 0, 0), 0);
    EXPECT_EQ(HX_SaveToFile(kDevice, 0, "", 0, 0, 0), 0);
    EXPECT_EQ(HX_SaveToFile(kDevice, 0, "A", -1, 0, 0), 0);
    EXPECT_EQ(HX_SaveToFile(kDevice, -1, "A", 0, 0, 0), 0);
    EXPECT_EQ(HX_LoadFromFile(kDevice, 0, nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(HX_MD(kDevice, 0, nullptr), 0);
    EXPECT_EQ(HX_RemoveFile(kDevice, 0, std::string(300, 'x').c_str()), 0);
    EXPECT_EQ(HX_GetNetConfig(kDevice, nullptr), 0);
    EXPECT_EQ(HX_GetLEDConfig(kDevice, nullptr), 0);
    EXPECT_EQ(HX_GetPlayInfo(kDevice, nullptr), 0);
    EXPECT_EQ(HX_GetFileDateTime(nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(controller.requests(), 0);

    EXPECT_NE(HX_NetInitial(9, "", nullptr, 1, 1, 5000, -1), 0);
    EXPECT_NE(HX_NetInitial(9, "", "300.  0.  0.  1", 1, 1, 5000, -1), 0);
    EXPECT_NE(HX_NetInitial(9, "", "127.0.0", 1, 1, 5000, -1), 0);
    EXPECT_NE(HX_NetInitial(9, "", "127.0.0.1.5", 1, 1, 5000, -1), 0);
    EXPECT_NE(HX_NetInitial(9, "", kLoopback, 0, 1, 5000, -1), 0);
    EXPECT_NE(HX_NetInitial(9, "", kLoopback, 1, -1, 5000, -1), 0);
    EXPECT_NE(HX_NetInitial(9, "", kLoopback, 1, 1, 0, -1), 0);
    EXPECT_NE(HX_ComInitial(9, 0, 9600, 1, 1, 1, -1), 0);
    EXPECT_NE(HX_ComInitial(9, 1, 12345, 1, 1, 1, -1), 0);
}

TEST(Arguments, ReopeningReplacesTheConnection)
{
    ScriptedController first([](const hx::Frame &request) {
        return std::vector<ScriptedController::Datagram>{reply(request, playInfoReply(0, 1))};
    });
    ScriptedController second([](const hx::Frame &request) {
        return std::vector<ScriptedController::Datagram>{reply(request, playInfoReply(0, 2))};
    });
    uint8_t play[HX_PLAYINFO_SIZE] = {};
    OpenDevice device(first.port());
    ASSERT_NE(HX_GetPlayInfo(kDevice, play), 0);
    EXPECT_EQ(play[1], 1);
    ASSERT_EQ(HX_NetInitial(kDevice, "", kLoopback, 1, 0, second.port(), -1), 0);
    ASSERT_NE(HX_GetPlayInfo(kDevice, play), 0);
    EXPECT_EQ(play[1], 2);
}

TEST(Replies, ASilentControllerFailsTheOpenAfterTheWholeBudget)
{
    uint16_t port = 0;
    const int silent = boundUdpSocket(port);
    const auto start = Clock::now();
    EXPECT_NE(HX_NetInitial(kDevice, "", kLoopback, 1, 1, port, -1), 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GE(seconds, 1.9) << "(1 + retries) x time-out, not sooner";
    EXPECT_LT(seconds, 4.0);
    uint8_t play[HX_PLAYINFO_SIZE] = {};
    EXPECT_EQ(HX_GetPlayInfo(kDevice, play), 0) << "the number is not open";
    // The open's one request went out several times within that budget,
    // sooner than the time-out each time, always with the same sequence.
    std::vector<uint16_t> sequences;
    uint8_t buffer[2048];
    for (ssize_t got; (got = ::recv(silent, buffer, sizeof(buffer), MSG_DONTWAIT)) > 0;) {
        const auto frame = hx::decodeFrame({buffer, static_cast<std::size_t>(got)});
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->command, static_cast<uint8_t>(hx::Command::GetLedConfig));
        sequences.push_back(frame->sequence);
    }
    EXPECT_GE(sequences.size(), 3u);
    EXPECT_LE(sequences.size(), 8u);
    for (uint16_t sequence : sequences) EXPECT_EQ(sequence, sequences.front());
    ::close(silent);
}

TEST(Replies, AControllerThatStopsAnsweringIsWaitedForOnTheOpenConnection)
{
    // What the initialisation does while a controller reboots: the open
    // succeeded, then requests go unanswered for a while, then it is back.
    std::atomic<bool> answering{true};
    ScriptedController controller([&](const hx::Frame &request) {
        if (!answering) return std::vector<ScriptedController::Datagram>{};
        return std::vector<ScriptedController::Datagram>{reply(request, playInfoReply(0, 4))};
    });
    OpenDevice device(controller.port(), 1, 0);
    uint8_t play[HX_PLAYINFO_SIZE] = {};
    answering = false;
    EXPECT_EQ(HX_GetPlayInfo(kDevice, play), 0);
    answering = true;
    EXPECT_NE(HX_GetPlayInfo(kDevice, play), 0);
    EXPECT_EQ(play[1], 4);
}

TEST(Replies, OnlyTheMatchingReplyIsTaken)
{
    // Before the good reply the controller sends everything that must be
    // ignored; the library has to take the last datagram.
    ScriptedController controller([](const hx::Frame &request) {
        const auto good = reply(request, playInfoReply(1, 7)).bytes;
        auto corrupt = good;
        corrupt[hx::kHeaderSize + 2] ^= 0xFF;
        const Bytes truncated(good.begin(), good.end() - 3);
        const Bytes garbage = {0xA5, 0x5A, 0x01, 0xFF, 0xFF, 0x00};
        const auto otherDevice = encode(request.device + 1, request.sequence, request.command | hx::kReplyFlag,
                                        playInfoReply(2, 9));
        const auto otherSequence = encode(request.device, request.sequence - 1, request.command | hx::kReplyFlag,
                                          playInfoReply(2, 9));
        const auto otherCommand = encode(request.device, request.sequence, hx::kReplyFlag | 0x0A, playInfoReply(2, 9));
        const auto echoedRequest = encode(request.device, request.sequence, request.command, playInfoReply(2, 9));
        const auto noStatus = encode(request.device, request.sequence, request.command | hx::kReplyFlag, {});
        return std::vector<ScriptedController::Datagram>{
            {corrupt}, {truncated}, {garbage}, {otherDevice}, {otherSequence}, {otherCommand},
            {echoedRequest}, {noStatus}, {good, true}, {good}};
    });
    OpenDevice device(controller.port());
    uint8_t play[HX_PLAYINFO_SIZE] = {};
    ASSERT_NE(HX_GetPlayInfo(kDevice, play), 0);
    EXPECT_EQ(play[0], 1);
    EXPECT_EQ(play[1], 7);
    EXPECT_EQ(controller.requests(), 1);
}

TEST(Replies, ARepliedErrorOrAWrongSizedBlockIsAFailure)
{
    ScriptedController controller([](const hx::Frame &request) {
        if (request.command == static_cast<uint8_t>(hx::Command::GetPlayInfo))
            return std::vector<ScriptedController::Datagram>{reply(request, {0, 1, 2})}; // block too short
        if (request.command == static_cast<uint8_t>(hx::Command::ReceiveData))
            return std::vector<ScriptedController::Datagram>{reply(request, Bytes(1 + 50, 0)) /* block too short */};
        return std::vector<ScriptedController::Datagram>{
            reply(request, {static_cast<uint8_t>(hx::Status::BadPath)})};
    });
    OpenDevice device(controller.port());
    uint8_t buffer[HX_MAX_BLOCK] = {};
    EXPECT_EQ(HX_GetPlayInfo(kDevice, buffer), 0);
    EXPECT_EQ(HX_ReceiveData(kDevice, 0, 100, buffer), 0);
    EXPECT_EQ(HX_MD(kDevice, 0, "X"), 0);
    EXPECT_EQ(HX_LoadFromFile(kDevice, 0, "X"), 0xFFFFFFFFu);
}

TEST(Replies, ARetryRepeatsTheSameRequest)
{
    // The first attempt goes unanswered; the retry must carry the same
    // sequence number so the controller can spot the repeat.
    std::vector<uint16_t> sequences;
    std::mutex lock;
    ScriptedController controller([&](const hx::Frame &request) {
        std::lock_guard guard(lock);
        sequences.push_back(request.sequence);
        if (sequences.size() == 1) return std::vector<ScriptedController::Datagram>{};
        return std::vector<ScriptedController::Datagram>{reply(request, {0})};
    });
    OpenDevice device(controller.port(), 1, 2);
    EXPECT_NE(HX_TurnVGA(kDevice, -1), 0);
    std::lock_guard guard(lock);
    // A loaded machine may delay the answer past another resend.
    ASSERT_GE(sequences.size(), 2u);
    for (uint16_t sequence : sequences) EXPECT_EQ(sequence, sequences[0]);
}

TEST(FileDateTime, GivesDosWordsOfTheLocalModificationTime)
{
    TempDir dir;
    dir.write("f.txt", "x");
    std::tm local{};
    local.tm_year = 2023 - 1900;
    local.tm_mon = 6 - 1;
    local.tm_mday = 15;
    local.tm_hour = 13;
    local.tm_min = 45;
    local.tm_sec = 31;
    local.tm_isdst = -1;
    const utimbuf stamp{std::mktime(&local), std::mktime(&local)};
    ASSERT_EQ(::utime(dir.file("f.txt").c_str(), &stamp), 0);
    uint16_t date = 0, time = 0;
    ASSERT_NE(HX_GetFileDateTime(dir.file("f.txt").c_str(), &date, &time), 0);
    EXPECT_EQ(date, (2023 - 1980) << 9 | 6 << 5 | 15);
    EXPECT_EQ(time, 13 << 11 | 45 << 5 | 31 / 2);
    EXPECT_EQ(HX_GetFileDateTime(dir.file("missing").c_str(), &date, &time), 0);
    EXPECT_EQ(HX_GetFileDateTime(dir.path().c_str(), &date, &time), 0);

    // Dated before 1980 (a reset clock): the earliest DOS date, still a date.
    const utimbuf epoch{0, 86400};
    ASSERT_EQ(::utime(dir.file("f.txt").c_str(), &epoch), 0);
    ASSERT_NE(HX_GetFileDateTime(dir.file("f.txt").c_str(), &date, &time), 0);
    EXPECT_EQ(date, 0 << 9 | 1 << 5 | 1);
    EXPECT_EQ(time, 0);
}

} // namespace
