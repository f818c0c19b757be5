// The backends a connection talks through. Framing, CRC checks, reply
// matching and retransmission live once in Connection; a backend only moves
// bytes and says how fast its medium is.
#pragma once

#include "HxProtocol.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace hxlib {

using Clock = std::chrono::steady_clock;

class Transport {
public:
    virtual ~Transport() = default;
    virtual bool send(std::span<const uint8_t> frame) = 0;
    // The next candidate frame from the controller, or nothing once the
    // deadline has passed. Bytes from anyone else are dropped here.
    virtual std::optional<std::span<const uint8_t>> receive(Clock::time_point deadline) = 0;
    // Drops whatever arrived before a new request (late replies, noise).
    virtual void flush() = 0;
    // Time the line itself needs to carry a request and its reply.
    virtual Clock::duration lineTime(std::size_t requestBytes, std::size_t replyBytes) const = 0;
    // The shortest wait beyond the line time before a request goes out
    // again: below it a resend would mostly answer scheduling noise.
    virtual Clock::duration resendMargin() const = 0;
    // Whether requests may go out while replies come in: several requests
    // on their way at once would collide with replies on a half-duplex line.
    virtual bool carriesBothWays() const = 0;
};

// UDP to ipText ("%3d.%3d.%3d.%3d", blanks allowed) and port; null on bad
// text or socket failure.
std::unique_ptr<Transport> openUdp(const char *ipText, uint16_t port);
// Serial COM<comNumber> (device from MARQORA_COM<n>, else /dev/ttyS<n-1>,
// on Windows \\.\COM<n>).
std::unique_ptr<Transport> openSerial(int comNumber, int baudRate);

// Parses four dotted numbers 0..255, blanks ignored; the 32-bit address in
// network byte order.
std::optional<uint32_t> parseIpText(const char *text);
std::string comDevicePath(int comNumber);

} // namespace hxlib
