// Profile strings: INI files read and written key by key, the way controller
// play lists and configuration files expect them. Values are bytes in the ANSI
// code page and are never converted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An INI text held line by line, so that a write changes only the line it must.
// Read as the profile-string functions read: CR LF, LF or a lone CR ends a line,
// the final line end may be missing, blanks around names and "=" are dropped,
// ";" starts a comment, lines without "=" are no keys, a line is a section
// header only with its "]", and a value in matching quotes ('' or "") is read
// without them. Writing produces CR LF, except that a lone CR between two lines
// stays as it was.
class IniDocument {
public:
    static IniDocument parse(std::string_view bytes);

    // The value of the first matching key of the first matching section;
    // names compare without regard to ASCII letter case, blanks trimmed.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // Replaces an existing key's value in place (keeping its spelling), or adds
    // the key at the end of its section, or the section at the end of the text.
    void set(std::string_view section, std::string_view key, std::string_view value);

    std::string text() const;

private:
    struct Line {
        std::string text;        // without its line end
        bool loneCR = false;     // ended by a CR alone, written back the same way
    };
    std::vector<Line> mLines;

    std::optional<std::size_t> findSection(std::string_view section) const;
    // One past the last line of the section starting at header.
    std::size_t sectionEnd(std::size_t header) const;
};

// The integer a profile value reads as: leading blanks skipped, an optional
// sign, the digits up to the first other character (none gives 0).
int32_t profileInteger(std::string_view value);

// Read the file at path (a native UTF-8 path); a missing file or key gives the default.
std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view defaultValue, const std::string &path);
// A missing key or an empty value gives the default.
int32_t GetProfileInt(std::string_view section, std::string_view key, int32_t defaultValue,
                      const std::string &path);

// Writes one key straight to the file, which is replaced as a whole, so a failure
// leaves the previous file untouched. On failure error names the cause.
bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string &path, std::string *error = nullptr);

// Loads a file for several changes written back at once with saveIni; a missing
// file is an empty document, an unreadable one an error.
std::optional<IniDocument> loadIni(const std::string &path, std::string *error = nullptr);
bool saveIni(const IniDocument &document, const std::string &path, std::string *error = nullptr);
