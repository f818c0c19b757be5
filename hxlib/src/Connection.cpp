#include "Connection.h"

#include <algorithm>
#include <random>

namespace hxlib {

namespace {

// Before the first round trip is known: long enough for a slow radio link's
// first answer, short enough that a lost first frame costs little.
constexpr auto kInitialResend = std::chrono::milliseconds(250);

} // namespace

Connection::Connection(std::unique_ptr<Transport> transport, uint16_t lineAddress, int timeoutSeconds,
                       int retries, NowFunction now)
    : mTransport(std::move(transport)), mLineAddress(lineAddress), mTimeout(std::chrono::seconds(timeoutSeconds)),
      mRetries(retries), mNow(now),
      mTimer({mTransport->resendMargin(), std::min<Clock::duration>(kInitialResend, mTimeout), mTimeout})
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
    // The timer estimates the controller's turnaround; the time the line
    // itself needs for this request and its reply comes on top, so a
    // resend never starts while the reply may still be on a serial line.
    const auto lineTime = mTransport->lineTime(size, hx::kHeaderSize + expectedReplyPayload + hx::kCrcSize);
    const auto start = mNow();
    const auto giveUp = start + (mRetries + 1) * (mTimeout + lineTime);
    mTransport->flush();
    // Every copy carries the same sequence number: the controller answers a
    // repeat from its last reply instead of acting twice, and a late reply
    // to an earlier copy is as good as one to the latest.
    for (int copies = 1;; ++copies) {
        const auto sentAt = mNow();
        mTransport->send({mRequest, size}); // a failed send is a lost frame: the timer covers it
        const auto resendAt = std::min(giveUp, sentAt + lineTime + mTimer.timeout());
        while (auto bytes = mTransport->receive(resendAt)) {
            const auto frame = hx::decodeFrame(*bytes);
            if (!frame || frame->command != (code | hx::kReplyFlag) || frame->device != mLineAddress ||
                frame->sequence != sequence || frame->payload.empty())
                continue;
            if (copies == 1) mTimer.sample(mNow() - sentAt - lineTime);
            return Reply{static_cast<hx::Status>(frame->payload[0]), frame->payload.subspan(1)};
        }
        if (mNow() >= giveUp) return std::nullopt;
        mTimer.backOff();
    }
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
