// The network faults hxsim puts on each direction, on made-up moments: what
// each fault does to a datagram, and that the link hands them on when due.
#include "FaultyLink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = hxsim::LinkModel::Clock;

const auto kStart = Clock::time_point(1h);

hxsim::LinkFaults faults(const std::string &text)
{
    std::string error;
    const auto parsed = hxsim::parseLinkFaults(text, {}, error);
    EXPECT_TRUE(parsed) << text << ": " << error;
    return parsed.value_or(hxsim::LinkFaults{});
}

// The copies of `count` datagrams of `size` bytes all sent at kStart.
std::vector<hxsim::LinkModel::Copy> carry(const std::string &text, int count, std::size_t size = 100)
{
    hxsim::LinkModel model(faults(text), 7);
    std::vector<hxsim::LinkModel::Copy> all;
    for (int i = 0; i < count; ++i) {
        hxsim::LinkModel::Copy copies[2];
        const std::size_t n = model.carry(size, kStart, true, 0, copies);
        all.insert(all.end(), copies, copies + n);
    }
    return all;
}

TEST(FaultyLink, EachFaultDoesToADatagramWhatNetemDoes)
{
    EXPECT_TRUE(carry("loss=100", 10).empty());
    EXPECT_EQ(carry("duplicate=100", 10).size(), 20u);
    for (const auto &copy : carry("delay=50,reorder=100", 10)) EXPECT_EQ(copy.due, kStart) << "sent past the delay";
    for (const auto &copy : carry("corrupt=100", 10)) {
        ASSERT_TRUE(copy.flippedBit);
        EXPECT_LT(*copy.flippedBit, 800u);
    }

    const auto jittered = carry("delay=50,jitter=10", 1000);
    auto earliest = jittered.front().due, latest = earliest;
    for (const auto &copy : jittered) {
        earliest = std::min(earliest, copy.due);
        latest = std::max(latest, copy.due);
        EXPECT_FALSE(copy.flippedBit);
    }
    EXPECT_GE(earliest, kStart + 40ms);
    EXPECT_LE(latest, kStart + 60ms);
    EXPECT_LT(earliest, kStart + 42ms) << "the jitter spreads both ways";
    EXPECT_GT(latest, kStart + 58ms);

    // 80 kbit/s: 1000 bytes and 28 bytes of headers take 102.8 ms each, one after the other.
    const auto rated = carry("rate=80000", 3, 1000);
    ASSERT_EQ(rated.size(), 3u);
    for (std::size_t i = 0; i < rated.size(); ++i)
        EXPECT_NEAR(std::chrono::duration<double>(rated[i].due - kStart).count(), 0.1028 * static_cast<double>(i + 1),
                    1e-6);

    hxsim::LinkModel full(faults("delay=1"), 7);
    hxsim::LinkModel::Copy copies[2];
    EXPECT_EQ(full.carry(100, kStart, true, full.faults().limit, copies), 0u) << "a full queue loses";
    EXPECT_EQ(full.carry(100, kStart, false, 0, copies), 1u);
    hxsim::LinkModel lossy(faults("loss=100"), 7);
    EXPECT_EQ(lossy.carry(100, kStart, false, 0, copies), 1u) << "the loss spares what it does not apply to";
}

TEST(FaultyLink, HandsOnEveryDatagramOnceItIsDueAndTheSameMomentInOrder)
{
    hxsim::FaultyLink<int> link(faults("delay=20,jitter=15,reorder=30"), 3);
    for (int i = 0; i < 200; ++i) {
        const uint8_t bytes[] = {static_cast<uint8_t>(i)};
        link.carry(bytes, i, kStart + std::chrono::milliseconds(i / 10));
    }
    std::vector<int> seen;
    bool overtaken = false;
    for (auto now = kStart; !link.empty(); now += 1ms) {
        while (const auto *delivery = link.popDue(now)) {
            overtaken = overtaken || (!seen.empty() && delivery->tag < seen.back());
            EXPECT_EQ(delivery->bytes[0], static_cast<uint8_t>(delivery->tag));
            seen.push_back(delivery->tag);
        }
        EXPECT_TRUE(!link.nextDue() || *link.nextDue() > now);
    }
    EXPECT_EQ(seen.size(), 200u);
    EXPECT_TRUE(overtaken) << "jitter and the share sent at once reorder";

    hxsim::FaultyLink<int> plain(faults("rate=1000000"), 3);
    for (int i = 0; i < 5; ++i) plain.carry(std::vector<uint8_t>{1}, i, kStart);
    std::vector<int> order;
    while (const auto *delivery = plain.popDue(kStart + 1s)) order.push_back(delivery->tag);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(hxsim::FaultyLink<int>(hxsim::LinkFaults{}, 1).passesThrough());
}

TEST(FaultyLink, ReadsFaultsAndRefusesTheRest)
{
    const auto all = faults("loss=20,delay=100,jitter=20,reorder=25,duplicate=10,corrupt=1.5,rate=64000");
    EXPECT_EQ(all.lossPercent, 20);
    EXPECT_EQ(all.delay, 100ms);
    EXPECT_EQ(all.jitter, 20ms);
    EXPECT_EQ(all.reorderPercent, 25);
    EXPECT_EQ(all.duplicatePercent, 10);
    EXPECT_EQ(all.corruptPercent, 1.5);
    EXPECT_EQ(all.bitsPerSecond, 64000u);
    std::string error;
    hxsim::LinkFaults given;
    given.lossPercent = 20;
    EXPECT_EQ(hxsim::parseLinkFaults("delay=5", given, error)->lossPercent, 20) << "adds to what was given";
    for (const char *bad : {"loss=101", "loss=-1", "loss=", "loss", "lose=5", "rate=0", "delay=5ms", "delay=1,,loss=2"})
        EXPECT_FALSE(hxsim::parseLinkFaults(bad, {}, error)) << bad;
}

} // namespace
