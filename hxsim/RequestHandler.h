// Turns one request frame into its reply frame: decode, check, run the
// operation on the Controller, encode. No sockets, so a fuzz target and
// unit tests can drive it with plain bytes.
#pragma once

#include "Controller.h"
#include "HxProtocol.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace hxsim {

// One handled request as the log shows it: the operation (the library
// function's name without "HX_"), its arguments as JSON values, and whether
// it succeeded.
struct RequestRecord {
    std::string op;
    std::vector<std::pair<std::string, std::string>> args; // name, JSON value text
    bool ok = false;
};

// The record as one line of JSON, without the line end.
std::string toJsonLine(const RequestRecord &record);

// The operation's name as the log shows it, or null for an unknown command.
const char *operationName(hx::Command command);

class RequestHandler {
public:
    // lineAddress: on a serial line only frames for this screen number are
    // ours; without it (UDP) every device number is answered.
    RequestHandler(Controller &controller, std::optional<uint16_t> lineAddress = std::nullopt);

    void setLogger(std::function<void(const RequestRecord &)> logger) { mLogger = std::move(logger); }

    // The reply to send back, or an empty span when the request must be
    // dropped unanswered (not ours, not parseable, a frame version the
    // controller does not read, a late copy of a request answered long ago,
    // or the controller is booting). peer names the sender so a repeat from
    // the same one gets its earlier reply again instead of a second run. The
    // span stays valid until the next call.
    std::span<const uint8_t> handle(std::span<const uint8_t> request, uint64_t peer = 0);
    // Whether the last reply handed out was a stored one (a repeat).
    bool repeated() const { return mRepeated; }

    // Senders remembered at once; the one heard from longest ago makes room.
    static constexpr std::size_t kRememberedSenders = 64;
    // Requests remembered per sender, by sequence number: twice the span a
    // library keeps its requests on their way in, so every copy still on
    // its way finds its request.
    static constexpr std::size_t kRememberedRequests = 2 * hx::kMaxSpan;

private:
    // A request, by its header and the CRC-32 of its payload, and its reply.
    struct Remembered {
        bool used = false;
        uint8_t version = 0;
        uint8_t command = 0;
        uint16_t device = 0;
        uint16_t sequence = 0;
        std::size_t payloadSize = 0;
        uint32_t payloadCrc = 0;
        std::vector<uint8_t> reply; // its memory stays for the next request in this place

        bool holds(const hx::Frame &frame, uint32_t crc) const;
        void keep(const hx::Frame &frame, uint32_t crc, std::span<const uint8_t> answer);
    };
    struct Sender {
        uint64_t peer = 0;
        uint64_t lastHeard = 0;
        // Version 2 requests come numbered in order: the newest seen, when
        // the sender's last request was one.
        std::optional<uint16_t> newestNumbered;
        std::vector<Remembered> requests;
    };

    hx::Status run(const hx::Frame &frame, RequestRecord &record, hx::PayloadWriter &data);
    Sender *find(uint64_t peer);
    Sender &slotFor(uint64_t peer);

    Controller &mController;
    std::optional<uint16_t> mLineAddress;
    std::function<void(const RequestRecord &)> mLogger;
    std::vector<Sender> mSenders;
    std::size_t mLastSender = 0;
    uint64_t mClock = 0;
    bool mRepeated = false;
};

} // namespace hxsim
