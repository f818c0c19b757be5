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

void BlockWindow::delivered(const Mark &sent, Clock::time_point now, std::size_t bytes, Clock::duration smoothed,
                            bool rateSample)
{
    mDeliveredBytes += bytes;
    const auto interval = std::chrono::duration<double>(now - sent.at).count();
    if (rateSample && interval > 0)
        mMostBytesPerSecond =
            std::max(mMostBytesPerSecond, static_cast<double>(mDeliveredBytes - sent.deliveredBytes) / interval);
    mLastDelivery = now;
    mLowestRoundTrip = std::min(mLowestRoundTrip, smoothed);
    if (mLargest == 1 || mMostBytesPerSecond == 0 || bytes == 0) return;
    const double held = mMostBytesPerSecond * std::chrono::duration<double>(mLowestRoundTrip).count() /
                        static_cast<double>(bytes);
    const auto wanted =
        static_cast<std::size_t>(std::clamp(std::ceil(2 * held) + 2, 2.0, static_cast<double>(mLargest)));
    mSize = std::min(wanted, mSize + 1);
}

} // namespace hxlib
