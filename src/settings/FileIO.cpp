#include "FileIO.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

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

std::optional<std::string> readWholeFile(const std::string &path, std::string *error)
{
    std::error_code ec;
    if (fs::is_directory(localPath(path), ec)) {
        fail(error, path + ": " + std::strerror(EISDIR));
        return std::nullopt;
    }
    std::ifstream in(localPath(path), std::ios::binary);
    if (!in) {
        fail(error, path + ": " + std::strerror(errno));
        return std::nullopt;
    }
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        fail(error, path + ": " + std::strerror(EIO));
        return std::nullopt;
    }
    return content;
}
