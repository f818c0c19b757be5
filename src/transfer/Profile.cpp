#include "transfer/Profile.h"

#include "settings/FileIO.h"

#include <filesystem>
#include <utility>

namespace {

std::string_view trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool sameName(std::string_view a, std::string_view b)
{
    a = trimmed(a);
    b = trimmed(b);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The name of a section line ("[name]"), if the line is one. A "[" without
// its "]" makes no section line.
std::optional<std::string_view> sectionName(std::string_view line)
{
    line = trimmed(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return line.substr(1, close - 1);
}

// A value in matching quotes is meant without them.
std::string_view unquoted(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> keyLine(std::string_view line)
{
    const auto text = trimmed(line);
    if (text.empty() || text.front() == ';' || sectionName(text)) return std::nullopt;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return KeyLine{trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1))};
}

std::string keyText(std::string_view key, std::string_view value)
{
    std::string line(key);
    line += '=';
    line += value;
    return line;
}

}  // namespace

IniDocument IniDocument::parse(std::string_view bytes)
{
    IniDocument document;
    while (!bytes.empty()) {
        const auto end = bytes.find_first_of("\r\n");
        Line line{std::string(bytes.substr(0, end))};
        if (end == std::string_view::npos) {
            document.mLines.push_back(std::move(line));
            break;
        }
        std::size_t next = end + 1;
        // A CR that ends the text is taken as CR LF, as it always was written back.
        if (bytes[end] == '\r' && next < bytes.size()) {
            if (bytes[next] == '\n')
                ++next;
            else
                line.loneCR = true;
        }
        document.mLines.push_back(std::move(line));
        bytes.remove_prefix(next);
    }
    return document;
}

std::optional<std::size_t> IniDocument::findSection(std::string_view section) const
{
    for (std::size_t i = 0; i < mLines.size(); ++i) {
        const auto name = sectionName(mLines[i].text);
        if (name && sameName(*name, section)) return i;
    }
    return std::nullopt;
}

std::size_t IniDocument::sectionEnd(std::size_t header) const
{
    std::size_t end = header + 1;
    while (end < mLines.size() && !sectionName(mLines[end].text)) ++end;
    return end;
}

std::optional<std::string> IniDocument::value(std::string_view section, std::string_view key) const
{
    const auto header = findSection(section);
    if (!header) return std::nullopt;
    for (std::size_t i = *header + 1, end = sectionEnd(*header); i < end; ++i) {
        const auto entry = keyLine(mLines[i].text);
        if (entry && sameName(entry->key, key)) return std::string(unquoted(entry->value));
    }
    return std::nullopt;
}

void IniDocument::set(std::string_view section, std::string_view key, std::string_view value)
{
    const auto header = findSection(section);
    if (!header) {
        std::string header = "[";
        header += trimmed(section);
        header += ']';
        mLines.push_back({std::move(header)});
        mLines.push_back({keyText(trimmed(key), value)});
        return;
    }
    const std::size_t end = sectionEnd(*header);
    std::size_t insertAt = *header + 1;
    for (std::size_t i = *header + 1; i < end; ++i) {
        const auto entry = keyLine(mLines[i].text);
        if (entry && sameName(entry->key, key)) {
            mLines[i].text = keyText(entry->key, value);
            return;
        }
        // New keys go after the section's last non-blank line, before the blank
        // lines that separate it from the next section.
        if (!trimmed(mLines[i].text).empty()) insertAt = i + 1;
    }
    mLines.insert(mLines.begin() + static_cast<std::ptrdiff_t>(insertAt), Line{keyText(trimmed(key), value)});
}

std::string IniDocument::text() const
{
    std::string out;
    for (const auto &line : mLines) {
        out += line.text;
        out += line.loneCR ? "\r" : "\r\n";
    }
    return out;
}

int32_t profileInteger(std::string_view value)
{
    std::size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
    uint32_t number = 0;  // wraps like the platform's conversion does
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
        number = number * 10u + static_cast<uint32_t>(value[i] - '0');
    return static_cast<int32_t>(negative ? 0u - number : number);
}

std::optional<IniDocument> loadIni(const std::string &path, std::string *error)
{
    std::error_code ec;
    if (!std::filesystem::exists(localPath(path), ec) && !ec) return IniDocument{};
    const auto content = readWholeFile(path, error);
    if (!content) return std::nullopt;
    return IniDocument::parse(*content);
}

bool saveIni(const IniDocument &document, const std::string &path, std::string *error)
{
    return replaceFileAtomically(path, document.text(), error);
}

std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view defaultValue, const std::string &path)
{
    const auto content = readWholeFile(path);
    if (content) {
        if (auto found = IniDocument::parse(*content).value(section, key)) return *found;
    }
    return std::string(defaultValue);
}

int32_t GetProfileInt(std::string_view section, std::string_view key, int32_t defaultValue,
                      const std::string &path)
{
    const std::string text = GetProfileString(section, key, "", path);
    return text.empty() ? defaultValue : profileInteger(text);
}

bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                        const std::string &path, std::string *error)
{
    auto document = loadIni(path, error);
    if (!document) return false;
    document->set(section, key, value);
    return saveIni(*document, path, error);
}
