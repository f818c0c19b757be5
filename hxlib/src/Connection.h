// One open controller connection: builds request frames, sends each request
// until its reply comes or its time budget is spent, and accepts only the
// reply that matches. Several requests may be on their way at once (the
// blocks of a transfer); each keeps its own copies and budget.
#pragma once

#include "BlockWindow.h"
#include "HxProtocol.h"
#include "RetransmitTimer.h"
#include "Transport.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace hxlib {

struct Reply {
    hx::Status status = hx::Status::BadRequest;
    std::span<const uint8_t> data; // valid until the connection's next request
};

// The clock a connection measures round trips and budgets with; tests hand
// in their own together with a transport that follows it.
using NowFunction = Clock::time_point (*)();

// A request on its way: its frame, the copies sent of it, its budget and,
// once it has one, its outcome.
struct Exchange {
    enum class State : uint8_t { Free, Waiting, Answered, Failed };
    // Send times of the latest copies, for the round trip of the copy a
    // reply answers.
    static constexpr int kRememberedCopies = 8;

    State state = State::Free;
    uint8_t command = 0;
    uint8_t version = hx::kVersion;
    uint16_t sequence = 0;
    uint32_t offset = 0; // the block a transfer sends or asks for
    uint16_t length = 0;
    int copies = 0;
    Clock::duration lineTime{};
    Clock::time_point lastSent{};
    Clock::time_point giveUp{};
    std::array<Clock::time_point, kRememberedCopies> copySent{};
    BlockWindow::Mark mark;
    std::size_t weight = 0; // the larger of its frames, for the link's rate
    hx::Status status = hx::Status::BadRequest;
    std::size_t dataSize = 0;
    std::size_t frameSize = 0;
    uint8_t data[hx::kMaxPayload];
    uint8_t frame[hx::kMaxFrame];

    bool done() const { return state == State::Answered || state == State::Failed; }
    bool ok() const { return state == State::Answered && status == hx::Status::Ok; }
    std::span<const uint8_t> reply() const { return {data, dataSize}; }
};

class Connection {
public:
    Connection(std::unique_ptr<Transport> transport, uint16_t lineAddress, int timeoutSeconds, int retries,
               NowFunction now = &Clock::now);

    // What the controller offered when the connection opened: numbered
    // copies, and how many blocks it takes at once. On a line that cannot
    // carry requests and replies at the same time it stays one at a time.
    void accept(hx::Offer offer);
    bool numbered() const { return mNumbered; }
    // Version 2 when the controller reads it, else 1.
    uint8_t frameVersion() const { return mNumbered ? hx::kVersionNumbered : hx::kVersion; }

    // Sends one request and waits for its reply; nothing when no matching
    // reply came within (1 + retries) x (time-out + line time). Copies go
    // out whenever the retransmission timer runs out before the reply came.
    // expectedReplyData: the data bytes its reply carries (for the line
    // time); version 0: the connection's frame version.
    std::optional<Reply> request(hx::Command command, std::span<const uint8_t> payload,
                                 std::size_t expectedReplyData = 0, uint8_t version = 0);
    // The same, reduced to success: an Ok reply whose data has exactly
    // dataSize bytes (or any size when dataSize is not given).
    std::optional<std::span<const uint8_t>> requestOk(hx::Command command, std::span<const uint8_t> payload,
                                                      std::optional<std::size_t> dataSize = std::nullopt,
                                                      uint8_t version = 0);

    // For transfers: sends the first copy of a request and returns at once;
    // null when the payload does not fit or there is no room().
    Exchange *start(hx::Command command, std::span<const uint8_t> payload, std::size_t expectedReplyData,
                    uint8_t version = 0);
    // One step of waiting: sends the copies that are due, gives up the
    // exchanges whose budget is spent, and takes at most one reply. Returns
    // at once when nothing is on its way.
    void pump();
    // Forgets an exchange; a late reply to it is dropped.
    void release(Exchange &exchange);
    // Whether another exchange may start: fewer than the window are on
    // their way, one is free, and the oldest kept is less than kMaxSpan
    // requests behind the next, so the controller still remembers it
    // however many came after it.
    bool room() const;

    RetransmitTimer &retransmitTimer() { return mTimer; }

private:
    Exchange *exchangeFor(uint16_t sequence);
    void settle(Exchange &exchange, Exchange::State outcome);
    void sendCopy(Exchange &exchange, Clock::time_point now);
    void take(std::span<const uint8_t> bytes);

    std::unique_ptr<Transport> mTransport;
    uint16_t mLineAddress;
    Clock::duration mTimeout;
    int mRetries;
    NowFunction mNow;
    RetransmitTimer mTimer;
    BlockWindow mWindow;
    bool mNumbered = false;
    uint16_t mSequence;
    std::vector<Exchange> mExchanges; // by sequence number, modulo their count
    std::size_t mWaiting = 0;        // on their way
    std::size_t mKept = 0;           // not released
};

} // namespace hxlib
