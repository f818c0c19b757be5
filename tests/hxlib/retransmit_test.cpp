// The retransmission timer and the request loop on a made-up clock: a
// scripted line decides when each copy's reply arrives, and time only moves
// when the connection waits, so every figure below is exact.
#include "HxProtocol.h"
#include "src/BlockWindow.h"
#include "src/Connection.h"
#include "src/RetransmitTimer.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using namespace std::chrono_literals;
using hxlib::Clock;
using hxlib::RetransmitTimer;
using Bytes = std::vector<uint8_t>;

RetransmitTimer::Limits limits(Clock::duration floor = 5ms, Clock::duration initial = 250ms,
                               Clock::duration ceiling = 1s)
{
    return {floor, initial, ceiling};
}

TEST(RetransmitTimer, StartsConservativelyThenFollowsTheMeasuredRoundTrips)
{
    RetransmitTimer timer(limits());
    EXPECT_FALSE(timer.hasSample());
    EXPECT_EQ(timer.timeout(), 250ms);

    // First sample: smoothed = R, variation = R/2, wait = R + 4 * R/2.
    timer.sample(20ms);
    EXPECT_EQ(timer.smoothed(), 20ms);
    EXPECT_EQ(timer.variation(), 10ms);
    EXPECT_EQ(timer.timeout(), 60ms);

    // Then variation = 3/4 of the old + 1/4 of the error, smoothed = 7/8 + 1/8.
    timer.sample(40ms);
    EXPECT_EQ(timer.variation(), 12500us);
    EXPECT_EQ(timer.smoothed(), 22500us);
    EXPECT_EQ(timer.timeout(), 72500us);

    // A steady link shrinks the variation towards nothing.
    for (int i = 0; i < 200; ++i) timer.sample(20ms);
    EXPECT_LT(timer.timeout(), 21ms);
    EXPECT_GE(timer.timeout(), 20ms);

    // A loopback round trip of microseconds meets the floor.
    for (int i = 0; i < 200; ++i) timer.sample(50us);
    EXPECT_EQ(timer.timeout(), 5ms);
}

TEST(RetransmitTimer, BacksOffByDoublingUpToTheTimeOutUntilACleanSample)
{
    RetransmitTimer timer(limits());
    timer.sample(20ms);
    const std::vector<Clock::duration> expected = {120ms, 240ms, 480ms, 960ms, 1s, 1s};
    for (const auto wait : expected) {
        timer.backOff();
        EXPECT_EQ(timer.timeout(), wait);
    }
    timer.sample(20ms);
    EXPECT_LT(timer.timeout(), 60ms) << "a clean sample ends the back-off";
}

TEST(RetransmitTimer, TheTimeOutCapsEverythingAndTheFloorHoldsBelow)
{
    RetransmitTimer small(limits(5ms, 250ms, 100ms));
    EXPECT_EQ(small.timeout(), 100ms) << "the start never exceeds the time-out";
    small.sample(3s);
    EXPECT_EQ(small.timeout(), 100ms);

    RetransmitTimer serial(limits(320ms, 250ms, 1s));
    EXPECT_EQ(serial.timeout(), 320ms) << "nor does it undercut the floor";
    serial.sample(1ms);
    EXPECT_EQ(serial.timeout(), 320ms);

    RetransmitTimer inverted(limits(2s, 250ms, 1s));
    EXPECT_EQ(inverted.timeout(), 1s) << "with a floor above the time-out the time-out wins";
}

TEST(RetransmitTimer, ALaterConnectionResumesFromTheEstimateWithoutTheBackOff)
{
    RetransmitTimer first(limits());
    EXPECT_FALSE(first.estimate()) << "nothing learnt yet";
    first.sample(20ms);
    first.backOff();
    const auto learnt = first.estimate();
    ASSERT_TRUE(learnt);

    RetransmitTimer next(limits(5ms, 250ms, 2s));
    next.resume(*learnt);
    EXPECT_TRUE(next.hasSample());
    EXPECT_EQ(next.timeout(), 60ms) << "the estimate's wait, not the start value nor the doubled one";
    next.sample(20ms);
    EXPECT_EQ(next.variation(), 7500us) << "and it goes on from there";
}

// The made-up clock of the scripted line and the connection.
Clock::time_point gNow;
Clock::time_point fakeNow()
{
    return gNow;
}

// A line whose replies arrive when the script says. Time jumps to the next
// arrival, or to the deadline when nothing arrives before it.
class ScriptedLine final : public hxlib::Transport {
public:
    struct Copy {
        Clock::time_point sentAt;
        hx::Frame frame;
    };
    // Called for every copy sent, with its number within its request (1 for
    // the first); returns when its reply arrives, or nothing for a lost copy.
    using Script = std::function<std::optional<Clock::duration>(const hx::Frame &, int copy)>;

    ScriptedLine(Script script, Clock::duration lineTime = {}, Clock::duration margin = 5ms)
        : mScript(std::move(script)), mLineTime(lineTime), mMargin(margin)
    {
    }

    bool send(std::span<const uint8_t> bytes) override
    {
        mSent.emplace_back(bytes.begin(), bytes.end());
        const auto frame = *hx::decodeFrame(mSent.back());
        mCopy = (mCopies.empty() || mCopies.back().frame.sequence != frame.sequence) ? 1 : mCopy + 1;
        mCopies.push_back({gNow, frame});
        if (const auto after = mScript(frame, mCopy)) {
            Bytes reply(hx::kMaxFrame);
            Bytes payload(1 + hx::kPlayInfoSize, 0);
            payload[1] = static_cast<uint8_t>(mCopy);
            // A numbered request's reply says which copy it answers.
            reply.resize(hx::encodeFrame(reply, {frame.device, frame.sequence,
                                                 static_cast<uint8_t>(frame.command | hx::kReplyFlag), payload,
                                                 frame.version, frame.copy}));
            mArrivals.push_back({gNow + *after, std::move(reply)});
        }
        return true;
    }

    std::optional<std::span<const uint8_t>> receive(Clock::time_point deadline) override
    {
        auto first = mArrivals.end();
        for (auto it = mArrivals.begin(); it != mArrivals.end(); ++it)
            if (it->first <= deadline && (first == mArrivals.end() || it->first < first->first)) first = it;
        if (first == mArrivals.end()) {
            gNow = std::max(gNow, deadline);
            return std::nullopt;
        }
        gNow = std::max(gNow, first->first);
        mDelivered = std::move(first->second);
        mArrivals.erase(first);
        return std::span<const uint8_t>(mDelivered);
    }

    void flush() override {}
    Clock::duration lineTime(std::size_t, std::size_t) const override { return mLineTime; }
    Clock::duration resendMargin() const override { return mMargin; }
    bool carriesBothWays() const override { return true; }

    const std::vector<Copy> &copies() const { return mCopies; }

private:
    Script mScript;
    Clock::duration mLineTime;
    Clock::duration mMargin;
    std::vector<Bytes> mSent;
    std::vector<Copy> mCopies;
    std::vector<std::pair<Clock::time_point, Bytes>> mArrivals;
    Bytes mDelivered;
    int mCopy = 0;
};

class RequestLoop : public ::testing::Test {
protected:
    // A connection with time-out 1 s and 2 retries over a line running the
    // script, to a controller that numbers copies or not.
    void open(ScriptedLine::Script script, Clock::duration lineTime = {}, Clock::duration margin = 5ms,
              bool numbered = false)
    {
        auto owned = std::make_unique<ScriptedLine>(std::move(script), lineTime, margin);
        line = owned.get();
        connection = std::make_unique<hxlib::Connection>(std::move(owned), 7, 1, 2, &fakeNow);
        if (numbered) connection->accept({hx::kVersionNumbered, 1});
    }
    // Asks for the play information; the copy whose reply was taken, or 0.
    int ask()
    {
        const auto reply = connection->requestOk(hx::Command::GetPlayInfo, {}, hx::kPlayInfoSize);
        return reply ? (*reply)[0] : 0;
    }
    std::vector<Clock::duration> sendTimes(std::size_t from = 0) const
    {
        std::vector<Clock::duration> times;
        for (std::size_t i = from; i < line->copies().size(); ++i)
            times.push_back(line->copies()[i].sentAt - line->copies()[from].sentAt);
        return times;
    }

    void SetUp() override { gNow = Clock::time_point(1h); }

    ScriptedLine *line = nullptr;
    std::unique_ptr<hxlib::Connection> connection;
};

TEST_F(RequestLoop, ALostFrameIsSentAgainWithItsSequenceAfterTheTimerNotTheTimeOut)
{
    open([](const hx::Frame &, int copy) -> std::optional<Clock::duration> {
        if (copy == 1) return std::nullopt;
        return 1ms;
    });
    const auto start = gNow;
    EXPECT_EQ(ask(), 2);
    EXPECT_EQ(gNow - start, 251ms) << "the conservative start, then the reply";
    ASSERT_EQ(line->copies().size(), 2u);
    EXPECT_EQ(line->copies()[0].frame.sequence, line->copies()[1].frame.sequence);
    // Karn's rule: a reply to a repeated request is no sample; the back-off stays.
    EXPECT_FALSE(connection->retransmitTimer().hasSample());
    EXPECT_EQ(connection->retransmitTimer().timeout(), 500ms);
}

TEST_F(RequestLoop, ALateReplyToTheFirstCopyIsTaken)
{
    open([](const hx::Frame &, int copy) -> std::optional<Clock::duration> {
        if (copy == 1) return 400ms; // a slow controller; the resend at 250 ms is lost
        return std::nullopt;
    });
    const auto start = gNow;
    EXPECT_EQ(ask(), 1);
    EXPECT_EQ(gNow - start, 400ms);
    EXPECT_EQ(line->copies().size(), 2u);
    EXPECT_FALSE(connection->retransmitTimer().hasSample());
}

TEST_F(RequestLoop, CleanRoundTripsSetTheTimerAndResendsDoNot)
{
    int request = 0;
    open([&](const hx::Frame &, int copy) -> std::optional<Clock::duration> {
        if (copy == 1) ++request;
        if (request == 2 && copy == 1) return std::nullopt;
        return 10ms;
    });
    EXPECT_EQ(ask(), 1);
    EXPECT_EQ(connection->retransmitTimer().smoothed(), 10ms);
    EXPECT_EQ(connection->retransmitTimer().timeout(), 30ms);

    const std::size_t secondStart = line->copies().size();
    EXPECT_EQ(ask(), 2);
    EXPECT_EQ(sendTimes(secondStart), (std::vector<Clock::duration>{0ms, 30ms})) << "recovered in milliseconds";
    EXPECT_EQ(connection->retransmitTimer().smoothed(), 10ms) << "no sample from the repeated request";
    EXPECT_EQ(connection->retransmitTimer().timeout(), 60ms);

    EXPECT_EQ(ask(), 1);
    EXPECT_EQ(connection->retransmitTimer().timeout(), 10ms + 4 * 3750us) << "the next clean sample counts";
}

TEST_F(RequestLoop, ASilentControllerFailsAfterTheWholeBudgetAndNotSooner)
{
    bool silent = true;
    open([&](const hx::Frame &, int) -> std::optional<Clock::duration> {
        if (silent) return std::nullopt;
        return 2ms;
    });
    const auto start = gNow;
    EXPECT_EQ(ask(), 0);
    EXPECT_EQ(gNow - start, 3s) << "(1 + retries) x time-out";
    // Doubling from the start value, capped at the time-out.
    EXPECT_EQ(sendTimes(), (std::vector<Clock::duration>{0ms, 250ms, 750ms, 1750ms, 2750ms}));
    for (const auto &copy : line->copies()) EXPECT_EQ(copy.frame.sequence, line->copies()[0].frame.sequence);

    // The connection stays usable: once the controller is back (a reboot
    // ended), the next request goes through with its first copy.
    silent = false;
    const std::size_t before = line->copies().size();
    EXPECT_EQ(ask(), 1);
    EXPECT_EQ(line->copies().size() - before, 1u);
    EXPECT_NE(line->copies().back().frame.sequence, line->copies()[0].frame.sequence);
    EXPECT_TRUE(connection->retransmitTimer().hasSample());
}

TEST_F(RequestLoop, AControllerSlowerThanTheTimerCostsRepeatsNotAFailure)
{
    // Saving a file takes 900 ms; every copy's reply comes that long after it.
    open([](const hx::Frame &, int) -> std::optional<Clock::duration> { return 900ms; });
    const auto start = gNow;
    EXPECT_EQ(ask(), 1);
    EXPECT_EQ(gNow - start, 900ms);
    EXPECT_EQ(sendTimes(), (std::vector<Clock::duration>{0ms, 250ms, 750ms}));
}

TEST_F(RequestLoop, OnASerialLineNoResendStartsWhileTheReplyMayBeOnTheWire)
{
    // 300 ms for request and reply at the bit rate, a controller that turns
    // round in 1 ms, and a lost frame.
    int request = 0;
    open(
        [&](const hx::Frame &, int copy) -> std::optional<Clock::duration> {
            if (copy == 1) ++request;
            if (request >= 2 && copy == 1) return std::nullopt;
            return 301ms;
        },
        300ms, 20ms);
    EXPECT_EQ(ask(), 1);
    EXPECT_EQ(connection->retransmitTimer().timeout(), 20ms) << "the turnaround alone meets the margin";
    const std::size_t secondStart = line->copies().size();
    EXPECT_EQ(ask(), 2);
    EXPECT_EQ(sendTimes(secondStart), (std::vector<Clock::duration>{0ms, 320ms})) << "line time + margin";

    // Silent: the budget holds the line time of every attempt too.
    request = 0;
    open([](const hx::Frame &, int) -> std::optional<Clock::duration> { return std::nullopt; }, 300ms, 20ms);
    const auto start = gNow;
    EXPECT_EQ(ask(), 0);
    EXPECT_EQ(gNow - start, 3 * 1300ms);
    for (std::size_t i = 1; i < line->copies().size(); ++i)
        EXPECT_GE(line->copies()[i].sentAt - line->copies()[i - 1].sentAt, 320ms);
}

// Numbered copies: every reply is a round trip of the copy it answers.
TEST_F(RequestLoop, AfterALossBurstNumberedCopiesBringTheTimerBackAtOnceAndPlainOnesDoNot)
{
    for (const bool numbered : {false, true}) {
        int request = 0;
        open(
            [&](const hx::Frame &, int copy) -> std::optional<Clock::duration> {
                if (copy == 1) ++request;
                if (request >= 2 && request <= 6 && copy == 1) return std::nullopt; // the burst
                return 10ms;
            },
            {}, 5ms, numbered);
        for (int i = 0; i < 6; ++i) ask();
        if (numbered) {
            EXPECT_EQ(connection->retransmitTimer().smoothed(), 10ms) << "samples from the second copies";
            EXPECT_LE(connection->retransmitTimer().timeout(), 30ms);
        } else {
            EXPECT_EQ(connection->retransmitTimer().timeout(), 960ms) << "Karn's rule: doubled five times";
        }
        EXPECT_EQ(ask(), 1);
        EXPECT_LE(connection->retransmitTimer().timeout(), 30ms) << "a clean sample ends any back-off";
    }
}

TEST_F(RequestLoop, ARoundTripThatRisesForGoodIsFollowedWithinAFewRequests)
{
    int request = 0;
    open(
        [&](const hx::Frame &, int copy) -> std::optional<Clock::duration> {
            if (copy == 1) ++request;
            return request <= 3 ? 10ms : 300ms; // every copy's reply comes, that late
        },
        {}, 5ms, true);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ask(), 1);
    EXPECT_EQ(ask(), 1) << "the first copy's reply, late, counts";
    EXPECT_GE(connection->retransmitTimer().smoothed(), 40ms);
    for (int i = 0; i < 12; ++i) ask();
    const std::size_t before = line->copies().size();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(ask(), 1);
    EXPECT_EQ(line->copies().size() - before, 5u) << "one copy each once the timer has followed";
    EXPECT_GT(connection->retransmitTimer().timeout(), 300ms);
    EXPECT_NEAR(std::chrono::duration<double>(connection->retransmitTimer().smoothed()).count(), 0.3, 0.03);
}

TEST(BlockWindow, HoldsWhatTheLinkHoldsAndGrowsOneBlockPerReply)
{
    using Window = hxlib::BlockWindow;
    constexpr std::size_t block = 1041; // a numbered SendData frame of 1024 bytes
    const auto start = Clock::time_point(1h);
    // A fast link: a block delivered every millisecond over a 100 ms round
    // trip holds 100, more than the largest window; it grows one per reply.
    Window fast(32, start);
    EXPECT_EQ(fast.size(), 2u);
    std::vector<std::size_t> sizes;
    for (int reply = 1; reply <= 40; ++reply) {
        const auto sent = fast.mark();
        fast.delivered(sent, sent.at + 1ms, block, 100ms, true);
        sizes.push_back(fast.size());
    }
    EXPECT_EQ(sizes[0], 3u);
    EXPECT_EQ(sizes[10], 13u);
    EXPECT_EQ(sizes.back(), 32u);

    // 64 kbit/s: a small request answered in 13 ms (no quick link for all
    // that), then blocks that take 130 ms each on the line, their round
    // trips growing with the queue: the link holds a tenth of a block, and
    // the window stays at three, one on the line and two waiting.
    Window slow(32, start);
    const auto small = slow.mark();
    slow.delivered(small, small.at + 13ms, 20, 13ms, true);
    for (int reply = 1; reply <= 40; ++reply) {
        const auto sent = slow.mark();
        slow.delivered(sent, sent.at + 130ms, block, 133ms * std::min(reply, 3), true);
    }
    EXPECT_EQ(slow.size(), 3u);

    Window one(1, start);
    one.delivered(one.mark(), start + 1ms, block, 1ms, true);
    EXPECT_EQ(one.size(), 1u) << "a controller that offers no window";
}

} // namespace
