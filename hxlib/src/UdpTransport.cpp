#include "Transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hxlib {

namespace {

class UdpTransport final : public Transport {
public:
    UdpTransport(int fd, const sockaddr_in &peer) : mFd(fd), mPeer(peer) {}
    ~UdpTransport() override { ::close(mFd); }

    bool send(std::span<const uint8_t> frame) override
    {
        const ssize_t sent = ::sendto(mFd, frame.data(), frame.size(), 0,
                                      reinterpret_cast<const sockaddr *>(&mPeer), sizeof(mPeer));
        return sent == static_cast<ssize_t>(frame.size());
    }

    std::optional<std::span<const uint8_t>> receive(Clock::time_point deadline) override
    {
        // A blocking receive with a short kernel time-out (set at open)
        // instead of poll + receive: one system call less per request on
        // the hot path, and the deadline is still checked every slice.
        while (Clock::now() < deadline) {
            sockaddr_in from{};
            socklen_t fromLen = sizeof(from);
            // One byte more than the largest frame, so an oversized datagram
            // shows as such instead of being silently cut to a valid length.
            const ssize_t got = ::recvfrom(mFd, mBuffer, sizeof(mBuffer), 0, reinterpret_cast<sockaddr *>(&from),
                                           &fromLen);
            if (got <= 0 || static_cast<std::size_t>(got) > hx::kMaxFrame) continue;
            if (fromLen != sizeof(from) || from.sin_family != AF_INET ||
                from.sin_addr.s_addr != mPeer.sin_addr.s_addr || from.sin_port != mPeer.sin_port)
                continue;
            return std::span<const uint8_t>(mBuffer, static_cast<std::size_t>(got));
        }
        return std::nullopt;
    }

    // Late replies stay queued; reply matching drops them by sequence
    // number, which costs nothing when there are none.
    void flush() override {}

    Clock::duration lineTime(std::size_t, std::size_t) const override { return Clock::duration::zero(); }

private:
    int mFd;
    sockaddr_in mPeer;
    uint8_t mBuffer[hx::kMaxFrame + 1];
};

} // namespace

std::unique_ptr<Transport> openUdp(const char *ipText, uint16_t port)
{
    const auto address = parseIpText(ipText);
    if (!address || port == 0) return nullptr;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    const timeval slice{0, 50 * 1000};
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof(slice)) != 0) {
        ::close(fd);
        return nullptr;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = *address;
    peer.sin_port = htons(port);
    return std::make_unique<UdpTransport>(fd, peer);
}

} // namespace hxlib
