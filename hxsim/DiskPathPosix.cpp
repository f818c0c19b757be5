// The drive folder operations on POSIX: every step opens relative to the
// folder before it and never follows a link.
#include "DiskPath.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using hx::Status;

namespace hxsim::drive {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : mFd(fd) {}
    ~Descriptor()
    {
        if (mFd >= 0) ::close(mFd);
    }
    Descriptor(Descriptor &&other) noexcept : mFd(std::exchange(other.mFd, -1)) {}
    Descriptor &operator=(Descriptor &&other) noexcept
    {
        std::swap(mFd, other.mFd);
        return *this;
    }
    int get() const { return mFd; }
    bool valid() const { return mFd >= 0; }

private:
    int mFd;
};

struct Entry {
    std::string name; // as it is on disk
    Kind kind = Kind::Missing;
};

Kind kindAt(int folder, const std::string &name)
{
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Kind::Missing : Kind::Failed;
    if (S_ISLNK(info.st_mode)) return Kind::Link;
    if (S_ISDIR(info.st_mode)) return Kind::Folder;
    return S_ISREG(info.st_mode) ? Kind::File : Kind::Other;
}

// The entry of folder that part names: the exact name, else the first one
// equal to it ignoring ASCII letter case.
Entry lookUp(int folder, const std::string &part)
{
    Entry entry{part, kindAt(folder, part)};
    if (entry.kind != Kind::Missing) return entry;
    // A descriptor of its own, so reading the listing leaves folder's offset alone.
    const int listingFd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listingFd < 0) return {part, Kind::Failed};
    DIR *listing = ::fdopendir(listingFd);
    if (!listing) {
        ::close(listingFd);
        return {part, Kind::Failed};
    }
    while (const dirent *item = ::readdir(listing)) {
        if (sameNameIgnoringCase(part, item->d_name)) {
            entry = {item->d_name, kindAt(folder, item->d_name)};
            break;
        }
    }
    ::closedir(listing);
    return entry;
}

Status openRoot(const std::filesystem::path &root, Descriptor &folder)
{
    folder = Descriptor(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.valid() ? Status::Ok : Status::IoError;
}

// Steps from folder into its sub-folder name. O_NOFOLLOW: a link swapped in
// after the look-up is refused rather than followed.
Status enter(Descriptor &folder, const std::string &name)
{
    Descriptor next(::openat(folder.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.valid()) return (errno == ELOOP || errno == ENOTDIR) ? Status::BadPath : Status::IoError;
    folder = std::move(next);
    return Status::Ok;
}

// Opens the folder that holds the path's last part. NotFound when a folder
// on the way is missing or is a file.
Status openParent(const std::filesystem::path &root, const std::vector<std::string> &parts, Descriptor &folder)
{
    Status status = openRoot(root, folder);
    for (std::size_t i = 0; status == Status::Ok && i + 1 < parts.size(); ++i) {
        const Entry entry = lookUp(folder.get(), parts[i]);
        switch (entry.kind) {
        case Kind::Folder: status = enter(folder, entry.name); break;
        case Kind::Link: return Status::BadPath;
        case Kind::Failed: return Status::IoError;
        default: return Status::NotFound;
        }
    }
    return status;
}

bool writeAll(int fd, std::span<const uint8_t> bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A new file of folder with a name of its own; its name goes to name.
Descriptor createTemporary(int folder, std::string &name)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = ".hxsim-upload-";
        for (int i = 0; i < 8; ++i) name += letters[entropy() % (sizeof(letters) - 1)];
        Descriptor file(::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (file.valid() || errno != EEXIST) return file;
    }
    return Descriptor();
}

} // namespace

Status readFile(const std::filesystem::path &root, const std::vector<std::string> &parts, std::size_t maxBytes,
                bool wholeFile, std::vector<uint8_t> &bytes)
{
    bytes.clear();
    Descriptor folder;
    if (const Status status = openParent(root, parts, folder); status != Status::Ok) return status;
    const Entry entry = lookUp(folder.get(), parts.back());
    if (entry.kind == Kind::Link) return Status::BadPath;
    if (entry.kind == Kind::Failed) return Status::IoError;
    if (entry.kind != Kind::File) return Status::NotFound;
    // Non-blocking and checked on the descriptor: something swapped in after
    // the look-up is neither followed nor waited on.
    const Descriptor file(
        ::openat(folder.get(), entry.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid()) return errno == ELOOP ? Status::BadPath : Status::IoError;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return Status::IoError;
    if (!S_ISREG(info.st_mode)) return Status::NotFound;
    const auto size = static_cast<std::size_t>(info.st_size);
    if (wholeFile && size > maxBytes) return Status::IoError;
    bytes.resize(std::min(size, maxBytes));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(file.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    // A file that shrank meanwhile is a failed read when it was wanted whole.
    if (wholeFile && done != bytes.size()) {
        bytes.clear();
        return Status::IoError;
    }
    bytes.resize(done);
    return Status::Ok;
}

Status writeFile(const std::filesystem::path &root, const std::vector<std::string> &parts,
                 std::span<const uint8_t> bytes, std::optional<std::time_t> modified)
{
    Descriptor folder;
    if (const Status status = openParent(root, parts, folder); status != Status::Ok) return status;
    const Entry target = lookUp(folder.get(), parts.back());
    if (target.kind == Kind::Link || target.kind == Kind::Folder) return Status::BadPath;
    if (target.kind == Kind::Failed) return Status::IoError;

    std::string temp;
    bool written;
    {
        const Descriptor file = createTemporary(folder.get(), temp);
        if (!file.valid()) return Status::IoError;
        written = writeAll(file.get(), bytes) && ::fchmod(file.get(), 0644) == 0;
        if (written && modified) {
            const timespec times[2] = {{*modified, 0}, {*modified, 0}};
            ::futimens(file.get(), times);
        }
    }
    // renameat replaces the entry itself: a link put there meanwhile is
    // replaced, never written through.
    if (!written || ::renameat(folder.get(), temp.c_str(), folder.get(), target.name.c_str()) != 0) {
        ::unlinkat(folder.get(), temp.c_str(), 0);
        return Status::IoError;
    }
    return Status::Ok;
}

Status makeFolders(const std::filesystem::path &root, const std::vector<std::string> &parts)
{
    Descriptor folder;
    Status status = openRoot(root, folder);
    for (std::size_t i = 0; status == Status::Ok && i < parts.size(); ++i) {
        const Entry entry = lookUp(folder.get(), parts[i]);
        switch (entry.kind) {
        case Kind::Missing:
            if (::mkdirat(folder.get(), entry.name.c_str(), 0755) != 0) return Status::IoError;
            [[fallthrough]];
        case Kind::Folder: status = enter(folder, entry.name); break;
        case Kind::Link: return Status::BadPath;
        default: return Status::IoError;
        }
    }
    return status;
}

Status removeFile(const std::filesystem::path &root, const std::vector<std::string> &parts)
{
    Descriptor folder;
    const Status status = openParent(root, parts, folder);
    if (status == Status::NotFound) return Status::Ok; // no such folder, so no such file
    if (status != Status::Ok) return status;
    const Entry target = lookUp(folder.get(), parts.back());
    if (const auto answer = removalAnswer(target.kind)) return *answer;
    // unlinkat without AT_REMOVEDIR never removes a folder, nor what a link names.
    if (::unlinkat(folder.get(), target.name.c_str(), 0) != 0 && errno != ENOENT) return Status::IoError;
    return Status::Ok;
}

} // namespace hxsim::drive
