#include "Connection.h"

#include <random>

namespace hxlib {

Connection::Connection(std::unique_ptr<Transport> transport, uint16_t lineAddress, int timeoutSeconds,
                       int retries)
    : mTransport(std::move(transport)), mLineAddress(lineAddress), mTimeout(timeoutSeconds), mRetries(retries)
{
    // A fresh random start keeps a new connection's first requests from
    // looking like repeats of the previous connection's to the controller's
    // duplicate detection.
    std::random_device seed;
    mSequence = static_cast<uint16_t>(seed());
}

std::optional<Reply> Connection::request(hx::Command command, std::span<const uint8_t> payload,
                                         std::size_t expectedReplyPayload)
{
    const uint16_t sequence = ++mSequence;
    const uint8_t code = static_cast<uint8_t>(command);
    const std::size_t size = hx::encodeFrame(mRequest, mLineAddress, sequence, code, payload);
    if (size == 0) return std::nullopt;
    const auto wait = mTimeout + mTransport->lineTime(size, hx::kHeaderSize + expectedReplyPayload + hx::kCrcSize);
    // Every attempt carries the same sequence number: the controller answers
    // a repeat from its last reply instead of acting twice, and a late reply
    // to an earlier attempt is as good as the current one.
    for (int attempt = 0; attempt <= mRetries; ++attempt) {
        mTransport->flush();
        if (!mTransport->send({mRequest, size})) continue;
        const auto deadline = Clock::now() + wait;
        while (auto bytes = mTransport->receive(deadline)) {
            const auto frame = hx::decodeFrame(*bytes);
            if (!frame || frame->command != (code | hx::kReplyFlag) || frame->device != mLineAddress ||
                frame->sequence != sequence || frame->payload.empty())
                continue;
            return Reply{static_cast<hx::Status>(frame->payload[0]), frame->payload.subspan(1)};
        }
    }
    return std::nullopt;
}

std::optional<std::span<const uint8_t>> Connection::requestOk(hx::Command command, std::span<const uint8_t> payload,
                                                              std::optional<std::size_t> dataSize)
{
    const auto reply = request(command, payload, 1 + dataSize.value_or(0));
    if (!reply || reply->status != hx::Status::Ok) return std::nullopt;
    if (dataSize && reply->data.size() != *dataSize) return std::nullopt;
    return reply->data;
}

} // namespace hxlib
