#include "FileIO.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include <sys/stat.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

char nativeSeparator()
{
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

fs::path localPath(const std::string &path)
{
#ifdef _WIN32
    return fs::path(std::u8string(path.begin(), path.end()));
#else
    return fs::path(path);
#endif
}

std::FILE *openFile(const std::string &path, const char *mode)
{
#ifdef _WIN32
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    return ::_wfopen(localPath(path).c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

std::string utf8Path(const fs::path &path)
{
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}

static bool fail(std::string *error, const std::string &message)
{
    if (error) *error = message;
    return false;
}

bool replaceFileAtomically(const std::string &path, std::string_view content, std::string *error)
{
    std::random_device entropy;
    const std::string temp = path + ".tmp" + std::to_string(entropy() % 1000000);
    FILE *file = openFile(temp, "wb");
    if (!file) return fail(error, path + ": " + std::strerror(errno));
    bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    int writeErrno = errno;
    ok = std::fflush(file) == 0 && ok;
    if (!ok) writeErrno = errno;
#ifndef _WIN32
    // The rename must not reach the disk before the data does.
    ok = ok && fsync(fileno(file)) == 0;
    if (!ok && !writeErrno) writeErrno = errno;
#endif
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::remove(temp.c_str());
        return fail(error, path + ": " + std::strerror(writeErrno ? writeErrno : EIO));
    }
    std::error_code ec;
    fs::rename(localPath(temp), localPath(path), ec);
    if (ec) {
        std::remove(temp.c_str());
        return fail(error, path + ": " + ec.message());
    }
    return true;
}

static std::string notRegularMessage(const std::string &path, bool folder)
{
    return path + ": " + (folder ? std::string(std::strerror(EISDIR)) : std::string("not a regular file"));
}

// Opens path for reading ("rb") or for writing ("wb": created, emptied) when
// it is a regular file. Non-blocking so that a FIFO or a device returns at once; the
// type is then taken from the opened descriptor, so a swap between a check
// and the open cannot slip a FIFO in.
static FileHandle openRegular(const std::string &path, bool forWriting, std::string *error)
{
    const char *mode = forWriting ? "wb" : "rb";
#ifdef _WIN32
    // No FIFOs at file paths here; a folder or a device is refused before the open.
    std::error_code ec;
    const auto status = fs::status(localPath(path), ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        fail(error, notRegularMessage(path, fs::is_directory(status)));
        return nullptr;
    }
    FileHandle file(openFile(path, mode));
    if (!file) fail(error, path + ": " + std::strerror(errno));
    return file;
#else
    const int flags = forWriting ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY;
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        // ENXIO: a FIFO without a reader (or a device without its unit) refused the writer.
        fail(error, errno == ENXIO ? notRegularMessage(path, false) : path + ": " + std::strerror(errno));
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        fail(error, notRegularMessage(path, S_ISDIR(info.st_mode)));
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FileHandle file(::fdopen(fd, mode));
    if (!file) {
        fail(error, path + ": " + std::strerror(errno));
        ::close(fd);
    }
    return file;
#endif
}

FileHandle openRegularFile(const std::string &path, std::string *error)
{
    return openRegular(path, false, error);
}

FileHandle createRegularFile(const std::string &path, std::string *error)
{
    return openRegular(path, true, error);
}

std::optional<std::string> readWholeFile(const std::string &path, std::string *error)
{
    const FileHandle file = openRegularFile(path, error);
    if (!file) return std::nullopt;
    std::string content;
    char chunk[16384];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;) content.append(chunk, got);
    if (std::ferror(file.get())) {
        fail(error, path + ": " + std::strerror(EIO));
        return std::nullopt;
    }
    return content;
}

FileKind fileKind(const std::string &path)
{
    std::error_code ec;
    const auto status = fs::status(localPath(path), ec);
    if (status.type() == fs::file_type::not_found) return FileKind::Absent;
    return fs::is_regular_file(status) ? FileKind::Regular : FileKind::Other;
}
