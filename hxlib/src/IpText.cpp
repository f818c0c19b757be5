#include "Transport.h"

#include <cstring>

namespace hxlib {

std::optional<uint32_t> parseIpText(const char *text)
{
    if (!text) return std::nullopt;
    uint32_t parts[4] = {};
    int part = 0;
    bool digitSeen = false;
    for (const char *p = text; *p; ++p) {
        if (*p == ' ') continue;
        if (*p == '.') {
            if (!digitSeen || part == 3) return std::nullopt;
            ++part;
            digitSeen = false;
        } else if (*p >= '0' && *p <= '9') {
            parts[part] = parts[part] * 10 + static_cast<uint32_t>(*p - '0');
            if (parts[part] > 255) return std::nullopt;
            digitSeen = true;
        } else {
            return std::nullopt;
        }
    }
    if (part != 3 || !digitSeen) return std::nullopt;
    // Network byte order is the order the numbers are written in.
    const uint8_t bytes[4] = {static_cast<uint8_t>(parts[0]), static_cast<uint8_t>(parts[1]),
                              static_cast<uint8_t>(parts[2]), static_cast<uint8_t>(parts[3])};
    uint32_t address;
    std::memcpy(&address, bytes, sizeof(address));
    return address;
}

} // namespace hxlib
