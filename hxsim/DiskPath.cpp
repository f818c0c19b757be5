#include "DiskPath.h"

#include <algorithm>

namespace hxsim {

std::optional<std::vector<std::string>> splitControllerPath(std::span<const uint8_t> path)
{
    if (path.empty() || path.size() > hx::kMaxPath) return std::nullopt;
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

bool sameNameIgnoringCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

namespace drive {

std::optional<hx::Status> removalAnswer(Kind kind)
{
    switch (kind) {
    case Kind::Missing: return hx::Status::Ok;
    case Kind::Link:
    case Kind::Folder: return hx::Status::BadPath;
    case Kind::Failed: return hx::Status::IoError;
    case Kind::File:
    case Kind::Other: break;
    }
    return std::nullopt;
}

} // namespace drive

} // namespace hxsim
