#include "BlockWindow.h"

#include <algorithm>
#include <cmath>

namespace hxlib {

namespace {

// Enough to measure a rate with before anything is known.
constexpr std::size_t kFirstWindow = 2;

} // namespace

BlockWindow::BlockWindow(std::size_t largest, Clock::time_point start)
    : mLargest(std::max<std::size_t>(largest, 1)), mSize(std::min(mLargest, kFirstWindow)), mLastDelivery(start)
{
}

void BlockWindow::delivered(const Mark &sent, Clock::time_point now, Clock::duration smoothed, bool rateSample)
{
    ++mDelivered;
    const auto interval = std::chrono::duration<double>(now - sent.at).count();
    if (rateSample && interval > 0)
        mMostPerSecond = std::max(mMostPerSecond, static_cast<double>(mDelivered - sent.delivered) / interval);
    mLastDelivery = now;
    mLowestRoundTrip = std::min(mLowestRoundTrip, smoothed);
    if (mLargest == 1 || mMostPerSecond == 0) return;
    const double held = mMostPerSecond * std::chrono::duration<double>(mLowestRoundTrip).count();
    const auto wanted =
        static_cast<std::size_t>(std::clamp(std::ceil(2 * held) + 2, 2.0, static_cast<double>(mLargest)));
    mSize = std::min(wanted, mSize + 1);
}

} // namespace hxlib
