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

class RequestHandler {
public:
    // lineAddress: on a serial line only frames for this screen number are
    // ours; without it (UDP) every device number is answered.
    RequestHandler(Controller &controller, std::optional<uint16_t> lineAddress = std::nullopt);

    void setLogger(std::function<void(const RequestRecord &)> logger) { mLogger = std::move(logger); }

    // The reply to send back, or an empty span when the request must be
    // dropped unanswered (not ours, not parseable, or the controller is
    // booting). peer names the sender so a repeat from the same one gets the
    // previous reply again instead of a second run. The span stays valid
    // until the next call.
    std::span<const uint8_t> handle(std::span<const uint8_t> request, uint64_t peer = 0);

private:
    hx::Status run(const hx::Frame &frame, RequestRecord &record, hx::PayloadWriter &data);

    Controller &mController;
    std::optional<uint16_t> mLineAddress;
    std::function<void(const RequestRecord &)> mLogger;
    uint64_t mLastPeer = 0;
    std::vector<uint8_t> mLastRequest;
    uint8_t mReply[hx::kMaxFrame] = {};
    std::size_t mReplySize = 0;
};

} // namespace hxsim
