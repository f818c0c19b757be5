#include "transfer/LocalFiles.h"

#include "settings/FileIO.h"
#include "transfer/PlayList.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <atomic>
#include <mutex>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#endif
#include <vector>

namespace fs = std::filesystem;

namespace {

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return upper(x) == upper(y); });
}

bool isDosCharacter(char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'()-@^_`{}~").find(c) != std::string_view::npos;
}

std::string dosCharacters(std::string_view text)
{
    std::string out;
    for (char c : text) {
        const char u = upper(c);
        if (isDosCharacter(u)) out += u;
    }
    return out;
}

std::string joined(const std::string &base, const std::string &extension)
{
    return extension.empty() ? base : base + "." + extension;
}

// Sorted names of the folder's entries; sorting keeps the numbering stable.
std::vector<std::string> folderNames(const fs::path &folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(utf8Path(it->path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::string resolveLocalName(const std::string &folder, const std::string &name)
{
    std::error_code ec;
    if (fs::exists(localPath(folder + name), ec)) return folder + name;
    for (const auto &entry : folderNames(folder.empty() ? fs::path(".") : localPath(folder)))
        if (sameIgnoringCase(entry, name)) return folder + entry;
    return folder + name;
}

DosName dosNameOf(const std::string &name)
{
    const auto dot = name.rfind('.');
    const std::string_view whole(name);
    const std::string_view baseText = dot == std::string::npos ? whole : whole.substr(0, dot);
    const std::string_view extensionText = dot == std::string::npos ? std::string_view() : whole.substr(dot + 1);
    DosName result{dosCharacters(baseText), dosCharacters(extensionText), false};
    result.fits = !result.base.empty() && result.base.size() <= 8 && result.extension.size() <= 3 &&
                  sameIgnoringCase(joined(result.base, result.extension), name);
    result.base.resize(std::min<std::size_t>(result.base.size(), 8));
    result.extension.resize(std::min<std::size_t>(result.extension.size(), 3));
    return result;
}

std::string shortFileName(const std::string &path)
{
    std::error_code ec;
    const fs::path file = localPath(path);
    if (!fs::exists(file, ec)) return {};
    const std::string own = utf8Path(file.filename());
    const DosName ownName = dosNameOf(own);
    if (ownName.fits) return joined(ownName.base, ownName.extension);

    // A short name, once given, stays for the run, as a file system keeps it:
    // the play list names the file by it, and a sibling created later must not
    // renumber it.
    static std::map<fs::path, std::string> given;
    static std::mutex givenMutex;  // visits to several displays run at once
    const std::lock_guard lock(givenMutex);
    const fs::path key = fs::absolute(file, ec);
    if (const auto known = given.find(key); known != given.end()) return known->second;

    // Names that fit keep their 8.3 form; the others take numbers in sorted order.
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    const auto names = folderNames(folder);
    std::set<std::string> taken;
    std::set<std::string> numbered;  // siblings whose name was given earlier
    for (const auto &name : names) {
        const DosName dos = dosNameOf(name);
        if (dos.fits) {
            taken.insert(joined(dos.base, dos.extension));
        } else if (const auto earlier = given.find(fs::absolute(folder / name, ec)); earlier != given.end()) {
            taken.insert(earlier->second);
            numbered.insert(name);
        }
    }
    for (const auto &name : names) {
        const DosName dos = dosNameOf(name);
        if (dos.fits || numbered.count(name)) continue;
        const std::string stem = dos.base.substr(0, 6);
        for (int number = 1;; ++number) {
            // Longer numbers take room from the stem so the base stays at 8.
            std::string tail = "~";
            tail += std::to_string(number);
            const std::string candidate =
                joined(stem.substr(0, std::min(stem.size(), 8 - std::min<std::size_t>(tail.size(), 8))) + tail,
                       dos.extension);
            if (taken.insert(candidate).second) {
                if (name == own) return given[key] = candidate;
                break;
            }
        }
    }
    return {};
}

namespace {

// Work folders are named with this prefix and a number.
constexpr std::string_view WorkFolderPrefix = "Visit.tmp";

}  // namespace

WorkFolder::WorkFolder(const std::string &progPath)
{
    static std::atomic<uint64_t> made{0};
    mPath = progPath + std::string(WorkFolderPrefix) + std::to_string(++made) + nativeSeparator();
    std::error_code ec;
    fs::create_directories(localPath(mPath), ec);
}

WorkFolder::~WorkFolder()
{
    std::error_code ec;
    fs::remove_all(localPath(mPath), ec);
}

void removeLeftoverTemporaries(const std::string &progPath)
{
    // Matched without regard to case, as the local play list's name is.
    const auto startsWith = [](const std::string &name, std::string_view prefix) {
        return name.size() >= prefix.size() && sameIgnoringCase(std::string_view(name).substr(0, prefix.size()), prefix);
    };
    const std::string saveHalves[] = {std::string("Marqora.dat") + ".tmp", std::string(LocalPlayListName) + ".tmp"};
    for (const auto &name : folderNames(localPath(progPath))) {
        std::error_code ec;
        if (startsWith(name, WorkFolderPrefix))
            fs::remove_all(localPath(progPath + name), ec);
        else if (std::any_of(std::begin(saveHalves), std::end(saveHalves),
                             [&](const std::string &prefix) { return startsWith(name, prefix); }))
            fs::remove(localPath(progPath + name), ec);
    }
}

uint32_t GetFileChangeTime(const std::string &path)
{
    std::tm local{};
#ifdef _WIN32
    struct _stat64 info {};
    if (::_wstat64(localPath(path).c_str(), &info) != 0) return 0;
    const std::time_t written = info.st_mtime;
    if (localtime_s(&local, &written) != 0) return 0;
#else
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return 0;
    const std::time_t written = info.st_mtime;
    if (!localtime_r(&written, &local)) return 0;
#endif
    return static_cast<uint32_t>(local.tm_mday) << 24 | static_cast<uint32_t>(local.tm_hour) << 16 |
           static_cast<uint32_t>(local.tm_min) << 8 | static_cast<uint32_t>(local.tm_sec & ~1);
}

#ifdef _WIN32
namespace {

// 100-nanosecond steps between 1601 and 1970.
constexpr int64_t kFileTimeToUnix = 116444736000000000LL;

int64_t fileTimeNs(const FILETIME &time)
{
    const int64_t ticks = static_cast<int64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    return (ticks - kFileTimeToUnix) * 100;
}

}  // namespace

FileFingerprint fingerprintOf(const std::string &path)
{
    const HANDLE file = CreateFileW(localPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!ok) return {};
    return {true, fileTimeNs(info.ftLastWriteTime),
            static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow, info.dwVolumeSerialNumber,
            static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

bool setModifiedNs(const std::string &path, int64_t modifiedNs)
{
    const HANDLE file = CreateFileW(localPath(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const int64_t ticks = modifiedNs / 100 + kFileTimeToUnix;
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const bool ok = SetFileTime(file, nullptr, nullptr, &time) != 0;
    CloseHandle(file);
    return ok;
}
#else
FileFingerprint fingerprintOf(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    return {true, static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
            static_cast<uint64_t>(info.st_size), static_cast<uint64_t>(info.st_dev),
            static_cast<uint64_t>(info.st_ino)};
}

bool setModifiedNs(const std::string &path, int64_t modifiedNs)
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, {modifiedNs / 1000000000, modifiedNs % 1000000000}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}
#endif
