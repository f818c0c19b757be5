// What every fuzz check shares: a failed property throws, so the fuzzer stops
// on it (an uncaught exception aborts) and the corpus replay test reports it
// as a failure with the same text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <algorithm>

#include <unistd.h>

namespace fuzzcheck {

using Bytes = std::span<const uint8_t>;

struct CheckFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

#define FUZZ_CHECK(condition)                                                                              \
    do {                                                                                                   \
        if (!(condition))                                                                                  \
            throw ::fuzzcheck::CheckFailure(std::string(__FILE__) + ":" + std::to_string(__LINE__) +       \
                                            ": property does not hold: " #condition);                      \
    } while (0)

inline std::string_view asText(Bytes bytes)
{
    return {reinterpret_cast<const char *>(bytes.data()), bytes.size()};
}

// Takes the input apart field by field; past its end every read gives 0.
class InputReader {
public:
    explicit InputReader(Bytes bytes) : mBytes(bytes) {}
    bool empty() const { return mBytes.empty(); }
    uint8_t u8()
    {
        if (mBytes.empty()) return 0;
        const uint8_t value = mBytes.front();
        mBytes = mBytes.subspan(1);
        return value;
    }
    uint16_t u16() { return static_cast<uint16_t>(u8() | u8() << 8); }
    Bytes take(std::size_t count)
    {
        count = std::min(count, mBytes.size());
        const Bytes part = mBytes.first(count);
        mBytes = mBytes.subspan(count);
        return part;
    }
    Bytes rest() { return take(mBytes.size()); }

private:
    Bytes mBytes;
};

// A folder of this process for checks that need files: on tmpfs where there is
// one (the settings save syncs its file), removed when the process ends.
class ScratchFolder {
public:
    static const std::filesystem::path &path()
    {
        static ScratchFolder folder;
        return folder.mPath;
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(mPath, ec);
    }

private:
    ScratchFolder()
    {
        std::error_code ec;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path();
        mPath = base / ("marqora-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(mPath);
    }
    std::filesystem::path mPath;
};

}  // namespace fuzzcheck
