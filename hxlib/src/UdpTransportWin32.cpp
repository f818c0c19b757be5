// UDP over Winsock. The same behaviour as the POSIX transport: datagrams
// from anyone but the controller, and oversized ones, are dropped.
#include "DatagramTransport.h"

#include <winsock2.h>
#include <mswsock.h>
#include <ws2tcpip.h>

namespace hxlib {

namespace {

// Winsock needs one start-up per process before the first socket; it stays
// up until the process ends.
bool winsockStarted()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

class UdpTransport final : public DatagramTransport {
public:
    UdpTransport(SOCKET socket, const sockaddr_in &peer) : DatagramTransport(peer), mSocket(socket) {}
    ~UdpTransport() override { ::closesocket(mSocket); }

    bool send(std::span<const uint8_t> frame) override
    {
        const int sent = ::sendto(mSocket, reinterpret_cast<const char *>(frame.data()), static_cast<int>(frame.size()),
                                  0, reinterpret_cast<const sockaddr *>(&mPeer), sizeof(mPeer));
        return sent == static_cast<int>(frame.size());
    }

    // Waits with select for exactly the time left, so a deadline a
    // millisecond away ends the wait a millisecond later.
    std::optional<std::span<const uint8_t>> receive(Clock::time_point deadline) override
    {
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now());
            if (left.count() <= 0) return std::nullopt;
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(mSocket, &readable);
            timeval wait{static_cast<long>(left.count() / 1000000), static_cast<long>(left.count() % 1000000)};
            const int ready = ::select(0, &readable, nullptr, nullptr, &wait);
            if (ready < 0) return std::nullopt;
            if (ready == 0) continue;
            sockaddr_in from{};
            int fromLen = sizeof(from);
            // WSAEMSGSIZE (got < 0): a datagram longer than the buffer, i.e. too long.
            const int got = ::recvfrom(mSocket, reinterpret_cast<char *>(mBuffer), sizeof(mBuffer), 0,
                                       reinterpret_cast<sockaddr *>(&from), &fromLen);
            if (auto frame = fromController(got, from, static_cast<std::size_t>(fromLen))) return frame;
        }
    }

private:
    SOCKET mSocket;
};

} // namespace

std::unique_ptr<Transport> openUdp(const char *ipText, uint16_t port)
{
    const auto address = parseIpText(ipText);
    if (!address || port == 0 || !winsockStarted()) return nullptr;
    const SOCKET socket = ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) return nullptr;
    // Without this, an ICMP "port unreachable" for an earlier request makes
    // the next receive fail instead of waiting for the reply.
    BOOL reportReset = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(socket, SIO_UDP_CONNRESET, &reportReset, sizeof(reportReset), nullptr, 0, &returned, nullptr, nullptr);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = *address;
    peer.sin_port = htons(port);
    return std::make_unique<UdpTransport>(socket, peer);
}

} // namespace hxlib
