// Maps controller paths ("FON\MyASC.Fon" on drive 1) to files under the
// simulator's disk folder, the way a controller with a FAT disk sees them,
// and works on those files without ever leaving the drive folder.
#pragma once

#include "HxProtocol.h"

#include <ctime>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hxsim {

// Splits a controller path into its parts. Nothing when the path would leave
// its disk or cannot name a file there: empty, longer than 255 bytes,
// absolute, a drive letter, "." or ".." parts, empty parts, control
// characters or "/".
std::optional<std::vector<std::string>> splitControllerPath(std::span<const uint8_t> path);

// Whether two names are equal when ASCII letters are taken without case, as
// the controller's FAT disk compares them.
bool sameNameIgnoringCase(std::string_view a, std::string_view b);

// The file operations on one drive folder (root). The parts come from
// splitControllerPath; each names an existing entry in any letter case, the
// rest are taken as written. No symbolic link is ever followed, so whatever
// the folder holds, nothing outside it is read, written or removed: a path
// through or to a link is refused with BadPath. The root itself may be a
// link (the operator chose it). Only regular files are read, and their open
// never waits (a FIFO in the disk does not hang the controller).
//
// A FAT disk has no links; this confinement is what keeps a simulated disk
// that holds them from reaching the host. The POSIX implementation opens each
// part relative to its folder (openat with O_NOFOLLOW, mkdirat, unlinkat,
// renameat), so a link planted between two steps is not followed either.
namespace drive {

// The file's bytes; NotFound when it is missing or not a regular file (or a
// folder on its way is missing); IoError when it holds more than maxBytes and
// wholeFile is set, else only its first maxBytes are read.
hx::Status readFile(const std::filesystem::path &root, const std::vector<std::string> &parts,
                    std::size_t maxBytes, bool wholeFile, std::vector<uint8_t> &bytes);

// Replaces the file with bytes atomically (temporary file in the same folder,
// then rename), mode 0644, modified at `modified` when given. NotFound when
// the folder is missing; BadPath when the name is a folder.
hx::Status writeFile(const std::filesystem::path &root, const std::vector<std::string> &parts,
                     std::span<const uint8_t> bytes, std::optional<std::time_t> modified);

// Makes every missing folder of the path; an existing folder in any letter
// case is reused. IoError when a part is a file.
hx::Status makeFolders(const std::filesystem::path &root, const std::vector<std::string> &parts);

// Removes the file; Ok when there is none. BadPath for a folder.
hx::Status removeFile(const std::filesystem::path &root, const std::vector<std::string> &parts);

// What a name on a drive is, as both implementations find it without following links.
enum class Kind { Missing, Link, Folder, File, Other, Failed };

// The answer to a removal that must not or need not touch the entry: a missing
// one is already gone, a link or folder is refused; nothing for one to remove.
std::optional<hx::Status> removalAnswer(Kind kind);

} // namespace drive

} // namespace hxsim
