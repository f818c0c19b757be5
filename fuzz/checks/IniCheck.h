// The INI reader behind play lists and the controller configuration: any text
// a controller or a user hands over.
#pragma once

#include "Check.h"
#include "transfer/Profile.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fuzzcheck {

// The (section, key) names the text appears to hold, as a reader would ask for them.
inline std::vector<std::pair<std::string, std::string>> namesIn(std::string_view text)
{
    std::vector<std::pair<std::string, std::string>> names;
    std::string section;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos) continue;
        line.remove_prefix(first);
        if (line.front() == '[') {
            const auto close = line.find(']');
            section = std::string(close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1));
        } else if (const auto equals = line.find('='); equals != std::string_view::npos) {
            names.emplace_back(section, std::string(line.substr(0, equals)));
        }
        if (names.size() >= 64) break;
    }
    return names;
}

// A name made of the input's letters and digits only, so it is a name in any reader.
inline std::string plainName(Bytes bytes, const char *fallback)
{
    std::string name;
    for (uint8_t byte : bytes)
        if ((byte >= '0' && byte <= '9') || ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z'))
            name += static_cast<char>(byte);
    return name.empty() ? fallback : name;
}

// Parsing the written text gives the same document: the same text again and
// the same value for every name. A written key reads back as written and
// leaves every other name's value as it was.
inline void checkIniDocument(Bytes input)
{
    InputReader in(input);
    const Bytes sectionBytes = in.take(in.u8() % 8);
    const Bytes keyBytes = in.take(in.u8() % 8);
    const Bytes valueBytes = in.take(in.u8() % 16);
    const std::string_view text = asText(in.rest());

    const IniDocument document = IniDocument::parse(text);
    const std::string written = document.text();
    const IniDocument reparsed = IniDocument::parse(written);
    FUZZ_CHECK(reparsed.text() == written);
    const auto names = namesIn(text);
    for (const auto &[section, key] : names) FUZZ_CHECK(document.value(section, key) == reparsed.value(section, key));

    const std::string section = plainName(sectionBytes, "S");
    const std::string key = plainName(keyBytes, "K");
    std::string value(asText(valueBytes));
    std::erase_if(value, [](char c) { return c == '\r' || c == '\n'; });
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!value.empty() && blank(value.back())) value.pop_back();
    while (!value.empty() && blank(value.front())) value.erase(0, 1);

    IniDocument changed = reparsed;
    changed.set(section, key, value);
    FUZZ_CHECK(changed.value(section, key) == value);
    const IniDocument changedAgain = IniDocument::parse(changed.text());
    FUZZ_CHECK(changedAgain.value(section, key) == value);
    // The written name, as the reader matches names (trimmed, ASCII case ignored).
    const IniDocument writtenName = IniDocument::parse("[" + section + "]\n" + key + "=\n");
    for (const auto &[otherSection, otherKey] : names) {
        if (!writtenName.value(otherSection, otherKey))
            FUZZ_CHECK(changedAgain.value(otherSection, otherKey) == document.value(otherSection, otherKey));
    }
}

}  // namespace fuzzcheck
