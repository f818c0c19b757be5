#include "DiskPath.h"

#include <algorithm>

namespace hxsim {

std::optional<std::vector<std::string>> splitControllerPath(std::span<const uint8_t> path)
{
    if (path.empty()) return std::nullopt;
    std::vector<std::string> parts(1);
    for (uint8_t byte : path) {
        if (byte < 0x20 || byte == 0x7F || byte == '/' || byte == ':') return std::nullopt;
        if (byte == '\\')
            parts.emplace_back();
        else
            parts.back().push_back(static_cast<char>(byte));
    }
    for (const auto &part : parts)
        if (part.empty() || part == "." || part == "..") return std::nullopt;
    return parts;
}

static bool sameIgnoringAsciiCase(const std::string &a, const std::string &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::filesystem::path resolveCaseless(const std::filesystem::path &root, const std::vector<std::string> &parts)
{
    std::filesystem::path current = root;
    for (const auto &part : parts) {
        std::filesystem::path chosen = current / part;
        std::error_code ec;
        if (!std::filesystem::exists(chosen, ec)) {
            for (const auto &entry : std::filesystem::directory_iterator(current, ec)) {
                if (sameIgnoringAsciiCase(entry.path().filename().string(), part)) {
                    chosen = entry.path();
                    break;
                }
            }
        }
        current = chosen;
    }
    return current;
}

} // namespace hxsim
