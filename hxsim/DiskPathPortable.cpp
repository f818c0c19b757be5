// The drive folder operations where the POSIX *at calls are missing
// (Windows): each part is looked up and checked to be no link (nor junction)
// before the next step. Unlike DiskPathPosix.cpp a link swapped in between
// the check and the use is not caught; the paths themselves are confined.
#include "DiskPath.h"

#include <chrono>
#include <fstream>
#include <random>

namespace fs = std::filesystem;
using hx::Status;

namespace hxsim::drive {

namespace {

struct Entry {
    fs::path path;
    Kind kind = Kind::Missing;
};

Kind kindOf(const fs::path &path)
{
    std::error_code ec;
    const auto status = fs::symlink_status(path, ec);
    if (status.type() == fs::file_type::not_found) return Kind::Missing;
    if (ec) return Kind::Failed;
    // A junction is a reparse point that std::filesystem may report as
    // neither link nor folder; anything but a plain folder or file counts as a link.
    if (fs::is_symlink(status) || status.type() == fs::file_type::unknown) return Kind::Link;
    if (fs::is_directory(status)) return Kind::Folder;
    return fs::is_regular_file(status) ? Kind::File : Kind::Other;
}

Entry lookUp(const fs::path &folder, const std::string &part)
{
    Entry entry{folder / part, kindOf(folder / part)};
    if (entry.kind != Kind::Missing) return entry;
    std::error_code ec;
    for (const auto &item : fs::directory_iterator(folder, ec)) {
        if (sameNameIgnoringCase(item.path().filename().string(), part)) return {item.path(), kindOf(item.path())};
    }
    return entry;
}

Status findParent(const fs::path &root, const std::vector<std::string> &parts, fs::path &folder)
{
    folder = root;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        const Entry entry = lookUp(folder, parts[i]);
        switch (entry.kind) {
        case Kind::Folder: folder = entry.path; break;
        case Kind::Link: return Status::BadPath;
        case Kind::Failed: return Status::IoError;
        default: return Status::NotFound;
        }
    }
    return Status::Ok;
}

} // namespace

Status readFile(const fs::path &root, const std::vector<std::string> &parts, std::size_t maxBytes, bool wholeFile,
                std::vector<uint8_t> &bytes)
{
    bytes.clear();
    fs::path folder;
    if (const Status status = findParent(root, parts, folder); status != Status::Ok) return status;
    const Entry entry = lookUp(folder, parts.back());
    if (entry.kind == Kind::Link) return Status::BadPath;
    if (entry.kind == Kind::Failed) return Status::IoError;
    if (entry.kind != Kind::File) return Status::NotFound;
    std::error_code ec;
    const auto size = fs::file_size(entry.path, ec);
    if (ec || (wholeFile && size > maxBytes)) return Status::IoError;
    std::ifstream in(entry.path, std::ios::binary);
    bytes.resize(static_cast<std::size_t>(std::min<std::uintmax_t>(size, maxBytes)));
    in.read(reinterpret_cast<char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (wholeFile && static_cast<std::size_t>(in.gcount()) != bytes.size()) {
        bytes.clear();
        return Status::IoError;
    }
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return Status::Ok;
}

Status writeFile(const fs::path &root, const std::vector<std::string> &parts, std::span<const uint8_t> bytes,
                 std::optional<std::time_t> modified)
{
    fs::path folder;
    if (const Status status = findParent(root, parts, folder); status != Status::Ok) return status;
    const Entry target = lookUp(folder, parts.back());
    if (target.kind == Kind::Link || target.kind == Kind::Folder) return Status::BadPath;
    if (target.kind == Kind::Failed) return Status::IoError;

    std::random_device entropy;
    const fs::path temp = folder / (".hxsim-upload-" + std::to_string(entropy()));
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::error_code ignored;
            fs::remove(temp, ignored);
            return Status::IoError;
        }
    }
    std::error_code ec;
    if (modified) {
        // From the system clock to the file clock through "now" on both.
        const auto fromNow = std::chrono::system_clock::from_time_t(*modified) - std::chrono::system_clock::now();
        fs::last_write_time(
            temp, fs::file_time_type::clock::now() + std::chrono::duration_cast<fs::file_time_type::duration>(fromNow),
            ec);
    }
    fs::rename(temp, target.path, ec);
    if (ec) {
        fs::remove(temp, ec);
        return Status::IoError;
    }
    return Status::Ok;
}

Status makeFolders(const fs::path &root, const std::vector<std::string> &parts)
{
    fs::path folder = root;
    for (const auto &part : parts) {
        const Entry entry = lookUp(folder, part);
        std::error_code ec;
        switch (entry.kind) {
        case Kind::Missing:
            if (!fs::create_directory(entry.path, ec)) return Status::IoError;
            [[fallthrough]];
        case Kind::Folder: folder = entry.path; break;
        case Kind::Link: return Status::BadPath;
        default: return Status::IoError;
        }
    }
    return Status::Ok;
}

Status removeFile(const fs::path &root, const std::vector<std::string> &parts)
{
    fs::path folder;
    const Status status = findParent(root, parts, folder);
    if (status == Status::NotFound) return Status::Ok; // no such folder, so no such file
    if (status != Status::Ok) return status;
    const Entry target = lookUp(folder, parts.back());
    if (const auto answer = removalAnswer(target.kind)) return *answer;
    std::error_code ec;
    fs::remove(target.path, ec);
    return ec ? Status::IoError : Status::Ok;
}

} // namespace hxsim::drive
