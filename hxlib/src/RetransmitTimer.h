// When to send a request again: the round-trip estimator of RFC 6298 (smoothed
// round trip and its variance, Karn's rule, exponential back-off), kept per
// connection. It knows nothing of sockets or lines, so it is portable and
// tested with made-up durations.
#pragma once

#include <chrono>
#include <optional>

namespace hxlib {

class RetransmitTimer {
public:
    using Duration = std::chrono::steady_clock::duration;

    struct Limits {
        Duration floor;   // never resend sooner (scheduling noise, the line's turnaround)
        Duration initial; // before the first measured round trip
        Duration ceiling; // the configured time-out
    };

    explicit RetransmitTimer(Limits limits);

    // How long to wait for a reply before sending the request again.
    Duration timeout() const { return mTimeout; }
    // A round trip of a request that was sent exactly once (Karn's rule: a
    // reply to a repeated request could answer any of its copies).
    void sample(Duration roundTrip);
    // After a resend: twice the wait, until a clean sample resets it.
    void backOff();

    // What was learnt of a link, to start a later connection to the same
    // controller with (the back-off is not carried over).
    struct Estimate {
        Duration smoothed;
        Duration variation;
    };
    std::optional<Estimate> estimate() const;
    void resume(const Estimate &estimate);

    bool hasSample() const { return mHasSample; }
    Duration smoothed() const { return mSmoothed; }
    Duration variation() const { return mVariation; }

private:
    Duration clamp(Duration value) const;

    Limits mLimits;
    Duration mTimeout;
    Duration mSmoothed{};
    Duration mVariation{};
    bool mHasSample = false;
};

} // namespace hxlib
