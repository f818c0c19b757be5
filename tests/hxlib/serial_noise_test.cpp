#include "HexalinkVRX7300.h"
#include "HxProtocol.h"
#include "SerialPair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Reads from the controller's end of the line until one request frame is whole.
std::optional<hx::Frame> readRequest(int fd)
{
    hx::StreamFramer framer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        if (auto frame = framer.next()) return hx::decodeFrame(*frame);
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 50) <= 0) continue;
        uint8_t chunk[256];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) framer.push({chunk, static_cast<std::size_t>(got)});
    }
    return std::nullopt;
}

}  // namespace

TEST(SerialLine, NoiseThatLooksLikeAFrameStartIsDroppedWhenTheLineGoesQuiet)
{
    SerialPair line;
    const int controller = ::open(line.second().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(controller, 0);
    std::thread answer([&] {
        // The open's request is answered plainly.
        const auto open = readRequest(controller);
        if (!open) return;
        Bytes config(hx::kMaxFrame);
        config.resize(hx::encodeFrame(config, open->device, open->sequence,
                                      static_cast<uint8_t>(open->command | hx::kReplyFlag),
                                      Bytes(1 + hx::kLedConfigSize, 0)));
        (void)::write(controller, config.data(), config.size());
        const auto request = readRequest(controller);
        if (!request) return;
        // A header that claims 1000 bytes, and then nothing: noise on the line.
        const Bytes noise = {0xA5, 0x5A, 0x01, 0x03, 0x00, 0x00, 0x00, 0x8B, 0xE8, 0x03};
        (void)::write(controller, noise.data(), noise.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        Bytes payload(1 + hx::kPlayInfoSize, 0);
        payload[1] = 2;
        payload[2] = 5;
        Bytes reply(hx::kMaxFrame);
        reply.resize(hx::encodeFrame(reply, request->device, request->sequence,
                                     static_cast<uint8_t>(request->command | hx::kReplyFlag), payload));
        (void)::write(controller, reply.data(), reply.size());
    });
    setenv("MARQORA_COM7", line.first().c_str(), 1);
    ASSERT_EQ(HX_ComInitial(3, 7, 115200, 3, 2, 0, -1), 0);
    uint8_t play[HX_PLAYINFO_SIZE] = {};
    EXPECT_NE(HX_GetPlayInfo(3, play), 0);  // no retries: the noise must not eat the reply
    EXPECT_EQ(play[0], 2);
    EXPECT_EQ(play[1], 5);
    HX_Close(3);
    unsetenv("MARQORA_COM7");
    answer.join();
    ::close(controller);
}
