// Small file helpers shared by the store, the INI code and the transfers.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Replaces path with content: written to a temporary file in the same folder,
// flushed, then renamed over path, so readers see the old or the new file and
// never half of one. On failure path is untouched and error names the cause.
bool replaceFileAtomically(const std::string &path, std::string_view content,
                           std::string *error = nullptr);

// The whole file, or nothing when it cannot be read (missing, a folder, no rights).
std::optional<std::string> readWholeFile(const std::string &path, std::string *error = nullptr);

// Paths are UTF-8 text everywhere in the program. These name the file for the
// platform: on Windows through the wide API, elsewhere byte for byte.
std::filesystem::path localPath(const std::string &path);
std::FILE *openFile(const std::string &path, const char *mode);
// A path of the platform back as UTF-8 text.
std::string utf8Path(const std::filesystem::path &path);

// The native folder separator, "\" on Windows and "/" elsewhere.
char nativeSeparator();
