// Small file helpers shared by the store, the INI code and the transfers.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Replaces path with content: written to a temporary file in the same folder,
// flushed, then renamed over path, so readers see the old or the new file and
// never half of one. On failure path is untouched and error names the cause.
bool replaceFileAtomically(const std::string &path, std::string_view content,
                           std::string *error = nullptr);

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// path opened for reading, links followed, when it is a regular file; nothing
// for anything else (missing, no rights, a folder, a FIFO, a device), with
// the cause in error. The open never waits: a FIFO nobody writes to, or a
// device, would block a plain open for ever.
FileHandle openRegularFile(const std::string &path, std::string *error = nullptr);

// path created or emptied for writing ("wb") when it is, or becomes, a
// regular file; nothing for anything else, with the cause in error. The open
// never waits either: a FIFO without a reader blocks a plain open for writing.
FileHandle createRegularFile(const std::string &path, std::string *error = nullptr);

// The whole file, or nothing when it cannot be read (missing, no rights, no
// regular file); opened as openRegularFile opens it.
std::optional<std::string> readWholeFile(const std::string &path, std::string *error = nullptr);

enum class FileKind { Absent, Regular, Other };
// What path names, links followed: nothing, a regular file, or anything else
// (a folder, a FIFO, a device, a socket, or a path it may not look at).
FileKind fileKind(const std::string &path);

// Paths are UTF-8 text everywhere in the program. These name the file for the
// platform: on Windows through the wide API, elsewhere byte for byte.
std::filesystem::path localPath(const std::string &path);
std::FILE *openFile(const std::string &path, const char *mode);
// A path of the platform back as UTF-8 text.
std::string utf8Path(const std::filesystem::path &path);

// The native folder separator, "\" on Windows and "/" elsewhere.
char nativeSeparator();
