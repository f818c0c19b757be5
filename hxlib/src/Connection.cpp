#include "Connection.h"

#include <algorithm>
#include <cstring>
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
      mTimer({mTransport->resendMargin(), std::min<Clock::duration>(kInitialResend, mTimeout), mTimeout}),
      mWindow(1, now()), mExchanges(1)
{
    // A fresh random start keeps a new connection's first requests from
    // looking like repeats of the previous connection's to the controller's
    // duplicate detection.
    std::random_device seed;
    mSequence = static_cast<uint16_t>(seed());
}

void Connection::accept(hx::Offer offer)
{
    mNumbered = offer.version >= hx::kVersionNumbered;
    const std::size_t largest = mTransport->carriesBothWays() ? std::min<std::size_t>(offer.window, hx::kMaxWindow) : 1;
    mWindow = BlockWindow(largest, mNow());
    // One exchange per sequence number of the span: replies taken but not
    // yet used (blocks read ahead) wait in theirs.
    mExchanges.resize(largest > 1 ? hx::kMaxSpan : 1);
}

Exchange *Connection::exchangeFor(uint16_t sequence)
{
    return &mExchanges[sequence % mExchanges.size()];
}

bool Connection::room() const
{
    // The next sequence number's exchange is free exactly when nothing
    // kept is kMaxSpan or more behind it.
    return mWaiting < mWindow.size() &&
           mExchanges[static_cast<uint16_t>(mSequence + 1) % mExchanges.size()].state == Exchange::State::Free;
}

void Connection::release(Exchange &exchange)
{
    if (exchange.state == Exchange::State::Waiting) --mWaiting;
    if (exchange.state != Exchange::State::Free) --mKept;
    exchange.state = Exchange::State::Free;
}

void Connection::settle(Exchange &exchange, Exchange::State outcome)
{
    exchange.state = outcome;
    --mWaiting;
}

Exchange *Connection::start(hx::Command command, std::span<const uint8_t> payload, std::size_t expectedReplyData,
                            uint8_t version)
{
    if (!room()) return nullptr;
    const uint16_t sequence = mSequence + 1;
    Exchange &exchange = *exchangeFor(sequence);
    exchange.version = version == 0 ? frameVersion() : version;
    exchange.command = static_cast<uint8_t>(command);
    exchange.sequence = sequence;
    hx::Frame frame{mLineAddress, exchange.sequence, exchange.command, payload, exchange.version};
    exchange.frameSize = hx::encodeFrame(exchange.frame, frame);
    if (exchange.frameSize == 0) return nullptr;
    mSequence = sequence;
    // The timer estimates the controller's turnaround; the time the line
    // itself needs for this request and its reply comes on top, so a
    // resend never starts while the reply may still be on a serial line.
    const std::size_t replySize = exchange.frameSize - payload.size() + 1 + expectedReplyData; // status + data
    exchange.lineTime = mTransport->lineTime(exchange.frameSize, replySize);
    exchange.weight = std::max(exchange.frameSize, replySize);
    exchange.state = Exchange::State::Waiting;
    ++mWaiting;
    ++mKept;
    exchange.copies = 0;
    exchange.dataSize = 0;
    // Stray bytes before a request are dropped; replies to requests still
    // on their way are not.
    if (mKept == 1) mTransport->flush();
    const auto now = mNow();
    exchange.giveUp = now + (mRetries + 1) * (mTimeout + exchange.lineTime);
    sendCopy(exchange, now);
    return &exchange;
}

void Connection::sendCopy(Exchange &exchange, Clock::time_point now)
{
    ++exchange.copies;
    // Version 1: every copy is the same frame, so the controller answers a
    // repeat from memory. Version 2: the copy number tells which copy a
    // reply answers; the controller matches repeats without it.
    if (exchange.version == hx::kVersionNumbered)
        hx::renumberFrame({exchange.frame, exchange.frameSize}, static_cast<uint8_t>(exchange.copies));
    exchange.copySent[static_cast<std::size_t>(exchange.copies % Exchange::kRememberedCopies)] = now;
    exchange.lastSent = now;
    exchange.mark = mWindow.mark();
    mTransport->send({exchange.frame, exchange.frameSize}); // a failed send is a lost frame: the timer covers it
}

void Connection::pump()
{
    if (mWaiting == 0) return;
    const auto now = mNow();
    auto wake = Clock::time_point::max();
    bool resent = false;
    for (Exchange &exchange : mExchanges) {
        if (exchange.state != Exchange::State::Waiting) continue;
        if (now >= exchange.giveUp) {
            settle(exchange, Exchange::State::Failed);
            continue;
        }
        if (now >= std::min(exchange.giveUp, exchange.lastSent + exchange.lineTime + mTimer.timeout())) {
            sendCopy(exchange, now);
            resent = true;
        }
    }
    // One back-off per wait, however many copies it sent.
    if (resent) mTimer.backOff();
    for (const Exchange &exchange : mExchanges)
        if (exchange.state == Exchange::State::Waiting)
            wake = std::min({wake, exchange.giveUp, exchange.lastSent + exchange.lineTime + mTimer.timeout()});
    if (mWaiting == 0) return;
    if (const auto bytes = mTransport->receive(wake)) take(*bytes);
}

void Connection::take(std::span<const uint8_t> bytes)
{
    const auto frame = hx::decodeFrame(bytes);
    if (!frame || !(frame->command & hx::kReplyFlag) || frame->device != mLineAddress || frame->payload.empty())
        return;
    Exchange &exchange = *exchangeFor(frame->sequence);
    if (exchange.state != Exchange::State::Waiting || exchange.sequence != frame->sequence ||
        frame->command != (exchange.command | hx::kReplyFlag) || frame->version != exchange.version)
        return;
    const auto now = mNow();
    // The copy this reply answers: in version 2 it says which (the most
    // recent copy with that number); in version 1 only a request sent once
    // is known (Karn's rule), its reply may answer any copy.
    std::optional<int> answered;
    if (exchange.version == hx::kVersionNumbered) {
        const int copy = exchange.copies - static_cast<uint8_t>(exchange.copies - frame->copy);
        if (copy >= 1 && exchange.copies - copy < Exchange::kRememberedCopies) answered = copy;
    } else if (exchange.copies == 1) {
        answered = 1;
    }
    if (answered) {
        const auto sentAt = exchange.copySent[static_cast<std::size_t>(*answered % Exchange::kRememberedCopies)];
        mTimer.sample(now - sentAt - exchange.lineTime);
    }
    mWindow.delivered(exchange.mark, now, exchange.weight,
                      mTimer.hasSample() ? mTimer.smoothed() : Clock::duration::max(), answered == exchange.copies);
    exchange.status = static_cast<hx::Status>(frame->payload[0]);
    exchange.dataSize = frame->payload.size() - 1;
    std::memcpy(exchange.data, frame->payload.data() + 1, exchange.dataSize);
    settle(exchange, Exchange::State::Answered);
}

std::optional<Reply> Connection::request(hx::Command command, std::span<const uint8_t> payload,
                                         std::size_t expectedReplyData, uint8_t version)
{
    Exchange *exchange = start(command, payload, expectedReplyData, version);
    if (!exchange) return std::nullopt;
    while (!exchange->done()) pump();
    const bool answered = exchange->state == Exchange::State::Answered;
    release(*exchange);
    if (!answered) return std::nullopt;
    return Reply{exchange->status, exchange->reply()};
}

std::optional<std::span<const uint8_t>> Connection::requestOk(hx::Command command, std::span<const uint8_t> payload,
                                                              std::optional<std::size_t> dataSize, uint8_t version)
{
    const auto reply = request(command, payload, dataSize.value_or(0), version);
    if (!reply || reply->status != hx::Status::Ok) return std::nullopt;
    if (dataSize && reply->data.size() != *dataSize) return std::nullopt;
    return reply->data;
}

} // namespace hxlib
