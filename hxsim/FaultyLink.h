// One way of the network between the library and the simulated controller,
// with the faults Linux's netem puts on a link: loss, delay with jitter (so
// datagrams overtake each other), a share sent at once past the delayed
// ones (reordering), duplicates, a flipped bit, and a bit rate with its
// queue. hxsim puts one in front of its requests and one behind its replies,
// so tests and benchmarks choose the faults of each direction.
#pragma once

#include "HxProtocol.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace hxsim {

struct LinkFaults {
    double lossPercent = 0;
    double reorderPercent = 0; // sent without the delay
    double duplicatePercent = 0;
    double corruptPercent = 0; // one bit flipped
    std::chrono::milliseconds delay{0};
    std::chrono::milliseconds jitter{0}; // the delay varies by up to this much either way
    uint64_t bitsPerSecond = 0;          // 0: as fast as the host
    std::size_t limit = 1000;            // datagrams held at once; more are lost (netem's default)

    bool any() const;
};

// "loss=20,delay=100,jitter=20,reorder=25,duplicate=10,corrupt=1,rate=64000"
// (percentages, milliseconds, bits per second) over the faults given; every
// key is optional. Nothing, and the reason in error, when the text is not of
// that form.
std::optional<LinkFaults> parseLinkFaults(const std::string &text, LinkFaults faults, std::string &error);

// What happens to one datagram: none, one or two copies, each due at a
// moment and maybe with one bit flipped. The clock is the caller's.
class LinkModel {
public:
    using Clock = std::chrono::steady_clock;
    struct Copy {
        Clock::time_point due;
        std::optional<std::size_t> flippedBit;
    };
    struct Counts {
        uint64_t datagrams = 0;
        uint64_t lost = 0;
        uint64_t duplicated = 0;
        uint64_t corrupted = 0;
        uint64_t bytes = 0;        // on the wire, with the IPv4 and UDP headers
        Clock::duration busy{};    // time the rate kept the line busy
    };

    LinkModel(LinkFaults faults, uint32_t seed) : mFaults(faults), mRandom(seed) {}

    const LinkFaults &faults() const { return mFaults; }
    const Counts &counts() const { return mCounts; }
    // Fills copies; returns how many go. lossApplies false spares the
    // datagram the loss (loss limited to some operations); with `held`
    // datagrams on the link already, one beyond the limit is lost.
    std::size_t carry(std::size_t size, Clock::time_point now, bool lossApplies, std::size_t held,
                      Copy (&copies)[2]);
    // "up: 812 datagrams, 160 lost, ..." for the end of a run.
    std::string summary(const char *direction) const;

private:
    bool chance(double percent);
    Copy copy(std::size_t size, Clock::time_point sent);

    LinkFaults mFaults;
    std::mt19937 mRandom;
    Clock::time_point mLineFree{};
    Counts mCounts;
};

// A link that holds datagrams, each with the tag of where it goes, until
// they are due.
template <typename Tag>
class FaultyLink {
public:
    using Clock = LinkModel::Clock;
    struct Delivery {
        Tag tag{};
        std::size_t size = 0;
        uint8_t bytes[hx::kMaxFrame + 1];
    };

    FaultyLink(LinkFaults faults, uint32_t seed) : mModel(faults, seed) {}

    const LinkModel &model() const { return mModel; }
    // Whether datagrams go straight through: nothing to hold.
    bool passesThrough() const { return !mModel.faults().any(); }
    bool empty() const { return mDue.empty(); }
    std::optional<Clock::time_point> nextDue() const
    {
        if (mDue.empty()) return std::nullopt;
        return mDue.front().due;
    }

    void carry(std::span<const uint8_t> bytes, const Tag &tag, Clock::time_point now, bool lossApplies = true)
    {
        LinkModel::Copy copies[2];
        const std::size_t count = mModel.carry(bytes.size(), now, lossApplies, mDue.size(), copies);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t slot = freeSlot();
            Delivery &delivery = mSlots[slot];
            delivery.tag = tag;
            delivery.size = std::min(bytes.size(), sizeof(delivery.bytes));
            std::copy_n(bytes.begin(), delivery.size, delivery.bytes);
            if (copies[i].flippedBit && *copies[i].flippedBit < delivery.size * 8)
                delivery.bytes[*copies[i].flippedBit / 8] ^= static_cast<uint8_t>(1u << (*copies[i].flippedBit % 8));
            mDue.push_back({copies[i].due, ++mOrder, slot});
            std::push_heap(mDue.begin(), mDue.end(), later);
        }
    }

    // The next datagram due by now; null when none is. Valid until the next call.
    const Delivery *popDue(Clock::time_point now)
    {
        if (mDue.empty() || mDue.front().due > now) return nullptr;
        std::pop_heap(mDue.begin(), mDue.end(), later);
        const std::size_t slot = mDue.back().slot;
        mDue.pop_back();
        mFree.push_back(slot);
        return &mSlots[slot];
    }

private:
    struct Due {
        Clock::time_point due;
        uint64_t order; // datagrams due at the same moment leave in the order they came
        std::size_t slot;
    };
    static bool later(const Due &a, const Due &b) { return a.due != b.due ? a.due > b.due : a.order > b.order; }

    std::size_t freeSlot()
    {
        if (mFree.empty()) {
            mSlots.emplace_back();
            return mSlots.size() - 1;
        }
        const std::size_t slot = mFree.back();
        mFree.pop_back();
        return slot;
    }

    LinkModel mModel;
    std::vector<Delivery> mSlots;
    std::vector<std::size_t> mFree;
    std::vector<Due> mDue; // a heap, soonest first
    uint64_t mOrder = 0;
};

} // namespace hxsim
