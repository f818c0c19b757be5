#include "FaultyLink.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace hxsim {

namespace {

// IPv4 and UDP headers: what a datagram costs on the wire beyond its bytes.
constexpr std::size_t kHeaderBytes = 28;

} // namespace

bool LinkFaults::any() const
{
    return lossPercent > 0 || reorderPercent > 0 || duplicatePercent > 0 || corruptPercent > 0 ||
           delay.count() > 0 || jitter.count() > 0 || bitsPerSecond > 0;
}

std::optional<LinkFaults> parseLinkFaults(const std::string &text, LinkFaults faults, std::string &error)
{
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        start = comma + 1;
        const std::size_t equals = item.find('=');
        const std::string key = item.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : item.substr(equals + 1);
        char *end = nullptr;
        errno = 0;
        const double number = std::strtod(value.c_str(), &end);
        if (value.empty() || *end || errno || !(number >= 0)) {
            error = "bad value in \"" + item + "\"";
            return std::nullopt;
        }
        const auto percent = [&](double &field) {
            if (number > 100) return false;
            field = number;
            return true;
        };
        const auto milliseconds = [&](std::chrono::milliseconds &field) {
            if (number > 600000) return false;
            field = std::chrono::milliseconds(static_cast<long long>(number));
            return true;
        };
        bool ok = false;
        if (key == "loss") ok = percent(faults.lossPercent);
        else if (key == "reorder") ok = percent(faults.reorderPercent);
        else if (key == "duplicate") ok = percent(faults.duplicatePercent);
        else if (key == "corrupt") ok = percent(faults.corruptPercent);
        else if (key == "delay") ok = milliseconds(faults.delay);
        else if (key == "jitter") ok = milliseconds(faults.jitter);
        else if (key == "rate") {
            ok = number >= 1 && number <= 1e10;
            faults.bitsPerSecond = static_cast<uint64_t>(number);
        } else {
            error = "unknown fault \"" + key + "\" (loss, delay, jitter, reorder, duplicate, corrupt, rate)";
            return std::nullopt;
        }
        if (!ok) {
            error = "value out of range in \"" + item + "\"";
            return std::nullopt;
        }
    }
    return faults;
}

bool LinkModel::chance(double percent)
{
    return percent > 0 && std::uniform_real_distribution<double>(0, 100)(mRandom) < percent;
}

LinkModel::Copy LinkModel::copy(std::size_t size, Clock::time_point sent)
{
    Copy copy{sent, std::nullopt};
    if (!chance(mFaults.reorderPercent)) {
        auto delay = std::chrono::duration_cast<Clock::duration>(mFaults.delay);
        if (mFaults.jitter.count() > 0) {
            const auto spread = std::chrono::duration_cast<Clock::duration>(mFaults.jitter).count();
            delay += Clock::duration(std::uniform_int_distribution<Clock::rep>(-spread, spread)(mRandom));
        }
        copy.due += std::max(delay, Clock::duration::zero());
    }
    if (chance(mFaults.corruptPercent)) {
        ++mCounts.corrupted;
        copy.flippedBit = std::uniform_int_distribution<std::size_t>(0, size * 8 - 1)(mRandom);
    }
    return copy;
}

std::size_t LinkModel::carry(std::size_t size, Clock::time_point now, bool lossApplies, std::size_t held,
                             Copy (&copies)[2])
{
    ++mCounts.datagrams;
    if (size == 0) return 0;
    if ((lossApplies && chance(mFaults.lossPercent)) || held >= mFaults.limit) {
        ++mCounts.lost;
        return 0;
    }
    const std::size_t count = chance(mFaults.duplicatePercent) && held + 1 < mFaults.limit ? 2 : 1;
    mCounts.duplicated += count - 1;
    for (std::size_t i = 0; i < count; ++i) {
        // The rate: each datagram waits for the line, then takes its time on it.
        auto sent = now;
        if (mFaults.bitsPerSecond > 0) {
            const auto onLine = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                static_cast<double>((size + kHeaderBytes) * 8) / static_cast<double>(mFaults.bitsPerSecond)));
            mLineFree = std::max(mLineFree, now) + onLine;
            mCounts.busy += onLine;
            sent = mLineFree;
        }
        mCounts.bytes += size + kHeaderBytes;
        copies[i] = copy(size, sent);
    }
    return count;
}

std::string LinkModel::summary(const char *direction) const
{
    char line[200];
    std::snprintf(line, sizeof(line), "%s: %llu datagrams, %llu lost, %llu duplicated, %llu corrupted, %llu bytes, "
                  "line busy %.3f s", direction, static_cast<unsigned long long>(mCounts.datagrams),
                  static_cast<unsigned long long>(mCounts.lost), static_cast<unsigned long long>(mCounts.duplicated),
                  static_cast<unsigned long long>(mCounts.corrupted), static_cast<unsigned long long>(mCounts.bytes),
                  std::chrono::duration<double>(mCounts.busy).count());
    return line;
}

} // namespace hxsim
