// One open controller connection: builds request frames, sends each request
// until its reply comes or its time budget is spent, and accepts only the
// reply that matches.
#pragma once

#include "HxProtocol.h"
#include "RetransmitTimer.h"
#include "Transport.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

namespace hxlib {

struct Reply {
    hx::Status status = hx::Status::BadRequest;
    std::span<const uint8_t> data; // valid until the connection's next request
};

// The clock a connection measures round trips and budgets with; tests hand
// in their own together with a transport that follows it.
using NowFunction = Clock::time_point (*)();

class Connection {
public:
    Connection(std::unique_ptr<Transport> transport, uint16_t lineAddress, int timeoutSeconds, int retries,
               NowFunction now = &Clock::now);

    // Sends one request and waits for its reply; nothing when no matching
    // reply came within (1 + retries) x (time-out + line time). Copies go
    // out whenever the retransmission timer runs out before the reply came.
    std::optional<Reply> request(hx::Command command, std::span<const uint8_t> payload,
                                 std::size_t expectedReplyPayload = 1);
    // The same, reduced to success: an Ok reply whose data has exactly
    // dataSize bytes (or any size when dataSize is not given).
    std::optional<std::span<const uint8_t>> requestOk(hx::Command command, std::span<const uint8_t> payload,
                                                      std::optional<std::size_t> dataSize = std::nullopt);

    RetransmitTimer &retransmitTimer() { return mTimer; }

    // Serialises calls from several threads on one device number.
    std::mutex &mutex() { return mMutex; }

private:
    std::unique_ptr<Transport> mTransport;
    uint16_t mLineAddress;
    Clock::duration mTimeout;
    int mRetries;
    NowFunction mNow;
    RetransmitTimer mTimer;
    uint16_t mSequence;
    std::mutex mMutex;
    uint8_t mRequest[hx::kMaxFrame];
};

} // namespace hxlib
