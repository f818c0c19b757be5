// What the POSIX and the Win32 serial transports share: the frames cut out of
// the byte stream, and the timing of a line at its bit rate.
#pragma once

#include "SerialPort.h"
#include "Transport.h"

namespace hxlib {

class LineTransport : public Transport {
public:
    Clock::duration lineTime(std::size_t requestBytes, std::size_t replyBytes) const override
    {
        return std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(hx::lineSeconds(requestBytes + replyBytes, mBaudRate)));
    }

    // Serial adapters hand bytes over in chunks (USB latency timers of
    // 16 ms are common), on top of the controller's turnaround.
    Clock::duration resendMargin() const override { return std::chrono::milliseconds(20); }

    // RS-485 is half duplex: one request at a time.
    bool carriesBothWays() const override { return false; }

protected:
    explicit LineTransport(int baudRate) : mBaudRate(baudRate) {}

    int mBaudRate;
    hx::StreamFramer mFramer;
};

} // namespace hxlib
