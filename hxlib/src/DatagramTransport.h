// What the POSIX and the Winsock UDP transports share: the reply buffer, the
// check that a datagram is a frame from the controller, and the link's timing.
#pragma once

#include "Transport.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#endif

namespace hxlib {

class DatagramTransport : public Transport {
public:
    // Late replies stay queued; reply matching drops them by sequence
    // number, which costs nothing when there are none.
    void flush() override {}

    Clock::duration lineTime(std::size_t, std::size_t) const override { return Clock::duration::zero(); }

    // A loaded machine can delay a loopback or LAN answer by a few
    // milliseconds without anything being lost.
    Clock::duration resendMargin() const override { return std::chrono::milliseconds(5); }

    bool carriesBothWays() const override { return true; }

protected:
    explicit DatagramTransport(const sockaddr_in &peer) : mPeer(peer) {}

    // The datagram of got bytes just read into mBuffer from `from`, when it is
    // no longer than a frame and comes from the controller's address and port.
    std::optional<std::span<const uint8_t>> fromController(long long got, const sockaddr_in &from,
                                                           std::size_t fromLength) const
    {
        if (got <= 0 || static_cast<std::size_t>(got) > hx::kMaxFrame) return std::nullopt;
        if (fromLength != sizeof(from) || from.sin_family != AF_INET ||
            from.sin_addr.s_addr != mPeer.sin_addr.s_addr || from.sin_port != mPeer.sin_port)
            return std::nullopt;
        return std::span<const uint8_t>(mBuffer, static_cast<std::size_t>(got));
    }

    sockaddr_in mPeer;
    // One byte more than the largest frame, so an oversized datagram shows as
    // such instead of being silently cut to a valid length.
    uint8_t mBuffer[hx::kMaxFrame + 1];
};

} // namespace hxlib
