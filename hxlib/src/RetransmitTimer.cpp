#include "RetransmitTimer.h"

#include <algorithm>

namespace hxlib {

RetransmitTimer::RetransmitTimer(Limits limits) : mLimits(limits), mTimeout(clamp(limits.initial)) {}

RetransmitTimer::Duration RetransmitTimer::clamp(Duration value) const
{
    // The ceiling wins over the floor: a resend is never later than the
    // caller's time-out.
    return std::min(std::max(value, mLimits.floor), mLimits.ceiling);
}

void RetransmitTimer::sample(Duration roundTrip)
{
    roundTrip = std::max(roundTrip, Duration::zero());
    if (!mHasSample) {
        mSmoothed = roundTrip;
        mVariation = roundTrip / 2;
        mHasSample = true;
    } else {
        const Duration error = mSmoothed > roundTrip ? mSmoothed - roundTrip : roundTrip - mSmoothed;
        mVariation = (3 * mVariation + error) / 4;
        mSmoothed = (7 * mSmoothed + roundTrip) / 8;
    }
    mTimeout = clamp(mSmoothed + 4 * mVariation);
}

std::optional<RetransmitTimer::Estimate> RetransmitTimer::estimate() const
{
    if (!mHasSample) return std::nullopt;
    return Estimate{mSmoothed, mVariation};
}

void RetransmitTimer::resume(const Estimate &estimate)
{
    mSmoothed = estimate.smoothed;
    mVariation = estimate.variation;
    mHasSample = true;
    mTimeout = clamp(mSmoothed + 4 * mVariation);
}

void RetransmitTimer::backOff()
{
    mTimeout = clamp(mTimeout >= mLimits.ceiling / 2 ? mLimits.ceiling : 2 * mTimeout);
}

} // namespace hxlib
