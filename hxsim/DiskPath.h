// Maps controller paths ("FON\MyASC.Fon" on drive 1) to files under the
// simulator's disk folder, the way a controller with a FAT disk sees them.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace hxsim {

// Splits a controller path into its parts. Nothing when the path would leave
// its disk or cannot name a file there: empty, absolute, a drive letter,
// "." or ".." parts, empty parts, control characters or "/".
std::optional<std::vector<std::string>> splitControllerPath(std::span<const uint8_t> path);

// The host path for parts below root. Each part that already exists in any
// letter case names that entry; the rest are taken as written.
std::filesystem::path resolveCaseless(const std::filesystem::path &root, const std::vector<std::string> &parts);

} // namespace hxsim
