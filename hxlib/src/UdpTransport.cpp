#include "DatagramTransport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hxlib {

namespace {

class UdpTransport final : public DatagramTransport {
public:
    UdpTransport(int fd, const sockaddr_in &peer) : DatagramTransport(peer), mFd(fd) {}
    ~UdpTransport() override { ::close(mFd); }

    bool send(std::span<const uint8_t> frame) override
    {
        const ssize_t sent = ::sendto(mFd, frame.data(), frame.size(), 0,
                                      reinterpret_cast<const sockaddr *>(&mPeer), sizeof(mPeer));
        return sent == static_cast<ssize_t>(frame.size());
    }

    std::optional<std::span<const uint8_t>> receive(Clock::time_point deadline) override
    {
        // First a blocking receive whose kernel time-out (set at open) is
        // one scheduler tick: a reply that comes at once, as it nearly
        // always does, costs one system call. Whatever is left of the wait
        // goes to ppoll, which keeps the deadline to the nanosecond, so a
        // resend a few milliseconds after a lost frame is not late.
        for (bool blocking = true;; blocking = false) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero()) return std::nullopt;
            if (!blocking) {
                const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
                const timespec wait{static_cast<time_t>(seconds.count()),
                                    static_cast<long>(std::chrono::nanoseconds(left - seconds).count())};
                pollfd pfd{mFd, POLLIN, 0};
                if (::ppoll(&pfd, 1, &wait, nullptr) <= 0) continue;
            }
            sockaddr_in from{};
            socklen_t fromLen = sizeof(from);
            const ssize_t got = ::recvfrom(mFd, mBuffer, sizeof(mBuffer), blocking ? 0 : MSG_DONTWAIT,
                                           reinterpret_cast<sockaddr *>(&from), &fromLen);
            if (auto frame = fromController(got, from, fromLen)) return frame;
        }
    }

private:
    int mFd;
};

} // namespace

std::unique_ptr<Transport> openUdp(const char *ipText, uint16_t port)
{
    const auto address = parseIpText(ipText);
    if (!address || port == 0) return nullptr;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    // The kernel rounds a receive time-out up to whole scheduler ticks: this
    // asks for the shortest, one tick.
    const timeval oneTick{0, 1};
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &oneTick, sizeof(oneTick)) != 0) {
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
