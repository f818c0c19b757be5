// Faults made real for a test: a folder the process may not write to, a disk
// that fills up, and the process's own resident memory.
#pragma once

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

// File access of this thread as the unprivileged user "nobody" while it
// lives, so permission bits count even when the tests run as root (the
// file-system identity is per thread; leaving root drops the right to
// override permissions, coming back restores it). Without root it changes
// nothing: the bits count already.
class AccessAsNobody {
public:
    AccessAsNobody()
    {
        if (::geteuid() == 0) ::setfsuid(kNobody);
    }
    ~AccessAsNobody()
    {
        if (::geteuid() == 0) ::setfsuid(0);
    }
    AccessAsNobody(const AccessAsNobody &) = delete;
    AccessAsNobody &operator=(const AccessAsNobody &) = delete;

private:
    static constexpr uid_t kNobody = 65534;
};

// Makes folder read-only for this thread while it lives; it stays readable
// and searchable for everyone. works() tells whether it really refused a new file.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::string folder) : mFolder(std::move(folder))
    {
        namespace fs = std::filesystem;
        fs::permissions(mFolder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        mNobody.emplace();
        const std::string probe = mFolder + "/.write-probe";
        mWorks = !std::ofstream(probe).is_open();
        if (!mWorks) std::filesystem::remove(probe);
    }
    ~ReadOnlyFolder()
    {
        mNobody.reset();
        std::filesystem::permissions(mFolder, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    }
    ReadOnlyFolder(const ReadOnlyFolder &) = delete;
    ReadOnlyFolder &operator=(const ReadOnlyFolder &) = delete;

    bool works() const { return mWorks; }

private:
    std::string mFolder;
    std::optional<AccessAsNobody> mNobody;
    bool mWorks = false;
};

// A full disk while it lives: writes past `bytes` into any file fail (EFBIG)
// the way they fail with ENOSPC, after a partial write. The process limit is
// per process, so nothing else may write big files meanwhile.
class DiskFillsAt {
public:
    explicit DiskFillsAt(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &mPrevious);
        mPreviousHandler = std::signal(SIGXFSZ, SIG_IGN);  // the error instead of the signal's kill
        rlimit limit = mPrevious;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~DiskFillsAt()
    {
        ::setrlimit(RLIMIT_FSIZE, &mPrevious);
        std::signal(SIGXFSZ, mPreviousHandler);
    }
    DiskFillsAt(const DiskFillsAt &) = delete;
    DiskFillsAt &operator=(const DiskFillsAt &) = delete;

private:
    rlimit mPrevious{};
    void (*mPreviousHandler)(int) = SIG_DFL;
};

// Kilobytes of a field of /proc/self/status (VmHWM, VmRSS), -1 when missing.
inline long processStatusKb(const std::string &field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

// Starts a new peak (VmHWM) at the current resident size; false where the
// kernel does not offer it.
inline bool resetPeakResident()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// The entries of a folder, names only.
inline std::vector<std::string> folderEntries(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}
