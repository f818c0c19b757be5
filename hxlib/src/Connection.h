// One open controller connection: builds request frames, sends them at most
// 1 + retries times and accepts only the reply that matches.
#pragma once

#include "HxProtocol.h"
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

class Connection {
public:
    Connection(std::unique_ptr<Transport> transport, uint16_t lineAddress, int timeoutSeconds, int retries);

    // Sends one request and waits for its reply; nothing when no matching
    // reply came in any attempt.
    std::optional<Reply> request(hx::Command command, std::span<const uint8_t> payload,
                                 std::size_t expectedReplyPayload = 1);
    // The same, reduced to success: an Ok reply whose data has exactly
    // dataSize bytes (or any size when dataSize is not given).
    std::optional<std::span<const uint8_t>> requestOk(hx::Command command, std::span<const uint8_t> payload,
                                                      std::optional<std::size_t> dataSize = std::nullopt);

    // Serialises calls from several threads on one device number.
    std::mutex &mutex() { return mMutex; }

private:
    std::unique_ptr<Transport> mTransport;
    uint16_t mLineAddress;
    std::chrono::seconds mTimeout;
    int mRetries;
    uint16_t mSequence;
    std::mutex mMutex;
    uint8_t mRequest[hx::kMaxFrame];
};

} // namespace hxlib
