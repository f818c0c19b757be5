// How many blocks of a transfer may be on their way at once: enough to keep
// the link busy for a round trip, no more, so a slow line does not fill up
// with blocks that wait (and whose waiting looks like loss).
//
// The rate at which the link delivers is measured per reply, in bytes (each
// exchange counts its larger frame, the block whichever way it goes, so a
// quick small request does not pass for a fast link): the bytes delivered
// since the request was sent over the time since the reply before it was
// sent (so a burst of late replies does not look fast either). The largest
// rate seen times the lowest smoothed round trip is what the link holds. The
// window is twice that, in exchanges of the size at hand, plus two; it grows
// by at most one per reply and never exceeds the largest window the
// controller offered. It knows nothing of sockets or clocks, so tests feed
// it made-up moments.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace hxlib {

class BlockWindow {
public:
    using Clock = std::chrono::steady_clock;

    // Where the deliveries stood when a request was sent.
    struct Mark {
        uint64_t deliveredBytes = 0;
        Clock::time_point at{};
    };

    // largest 1: one request at a time.
    explicit BlockWindow(std::size_t largest = 1, Clock::time_point start = {});

    std::size_t size() const { return mSize; }
    Mark mark() const { return {mDeliveredBytes, mLastDelivery}; }

    // A reply came at now to a request sent at sent, of an exchange that
    // moved `bytes` (its larger frame); smoothed is the round trip estimate
    // after this reply. The rate counts only when the reply answers the copy
    // the mark was taken for.
    void delivered(const Mark &sent, Clock::time_point now, std::size_t bytes, Clock::duration smoothed,
                   bool rateSample);

private:
    std::size_t mLargest;
    std::size_t mSize;
    uint64_t mDeliveredBytes = 0;
    Clock::time_point mLastDelivery;
    double mMostBytesPerSecond = 0;
    Clock::duration mLowestRoundTrip = Clock::duration::max();
};

} // namespace hxlib
