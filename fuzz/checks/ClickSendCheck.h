// Click-send: a text file the operator loads, converted for the controller
// and broken into the lines one display line holds.
#pragma once

#include "Check.h"
#include "clicksend/ClickSend.h"
#include "clicksend/LineBreak.h"
#include "text/TextFile.h"

#include <string>
#include <vector>

namespace fuzzcheck {

// Columns of one display line: a byte of 0x81 or above followed by another
// byte is one double-byte character of two columns.
inline std::size_t columnsOf(std::string_view line)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < line.size(); ++i, ++width)
        if (static_cast<unsigned char>(line[i]) >= 0x81 && i + 1 < line.size()) ++i, ++width;
    return width;
}

// Where the characters of a line start, as a mask over its bytes.
inline std::vector<bool> characterStarts(std::string_view line)
{
    std::vector<bool> starts(line.size() + 1, false);
    std::size_t i = 0;
    for (; i < line.size(); i += static_cast<unsigned char>(line[i]) >= 0x81 && i + 1 < line.size() ? 2 : 1)
        starts[i] = true;
    starts[i] = true;
    return starts;
}

// The rule the breaking implements: breaks fall between characters; the
// display lines, in order, are the source line with nothing but blanks dropped
// at the breaks; no display line is empty unless its source line is. From two
// columns up, each display line holds at most `columns` columns and none but
// the first starts with a blank. (One column cannot hold a double-byte
// character: it stands alone, and a blank after it may make a line of its own.)
inline void checkBrokenLine(std::string_view line, int columns)
{
    const auto broken = breakLine(line, columns);
    FUZZ_CHECK(!broken.empty());
    if (columns <= 0) {
        FUZZ_CHECK(broken.size() == 1 && broken[0] == line);
        return;
    }
    if (line.empty()) {
        FUZZ_CHECK(broken.size() == 1 && broken[0].empty());
        return;
    }
    const auto starts = characterStarts(line);
    std::size_t at = 0;
    for (std::size_t n = 0; n < broken.size(); ++n) {
        const std::string &piece = broken[n];
        FUZZ_CHECK(!piece.empty());
        if (columns >= 2) {
            FUZZ_CHECK(columnsOf(piece) <= static_cast<std::size_t>(columns));
            // A break never leaves blanks at the start of the next line.
            FUZZ_CHECK(n == 0 || piece[0] != ' ');
        }
        // Blanks dropped at the break: the fewest that let the piece follow.
        if (n > 0)
            while (at < line.size() && line[at] == ' ' && line.compare(at, piece.size(), piece) != 0) ++at;
        FUZZ_CHECK(starts[at] && line.compare(at, piece.size(), piece) == 0);
        at += piece.size();
        FUZZ_CHECK(starts[at]);
    }
    // Blanks that did not fit at the end of the line are dropped too.
    FUZZ_CHECK(line.find_first_not_of(' ', at) == std::string_view::npos);
}

// What reaches the controller: ASCII as it was, every byte from 0x80 up the
// start of a pair (the stand-in or a character kept), a report no longer than
// it may be, and a file already fit for the controller unchanged.
inline void checkControllerText(std::string_view bytes, const ControllerText &converted)
{
    const std::string_view out = converted.bytes;
    for (std::size_t i = 0; i < out.size(); ++i)
        if (static_cast<unsigned char>(out[i]) >= 0x80) FUZZ_CHECK(++i < out.size());
    FUZZ_CHECK(converted.named.size() <= kNamedReplacements);
    FUZZ_CHECK(static_cast<std::size_t>(converted.replacedCount) >= converted.named.size());
    FUZZ_CHECK(converted.moreUnnamed == false || converted.named.size() == kNamedReplacements);
    const bool plainAscii = std::all_of(bytes.begin(), bytes.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
    });
    if (plainAscii) FUZZ_CHECK(converted.unchanged());
    if (converted.unchanged()) FUZZ_CHECK(out == bytes);
}

inline void checkClickSendText(Bytes input)
{
    InputReader in(input);
    const uint8_t options = in.u8();
    const int columns = static_cast<int>(options & 0x7F) - 1;  // -1 .. 126
    const int32_t language = options >> 7;                     // GBK or Big5
    const std::string_view bytes = asText(in.rest());

    const ControllerText converted = toControllerText(bytes, language);
    checkControllerText(bytes, converted);
    std::string text = converted.bytes;
    std::erase(text, '\0');

    const auto lines = splitLines(text);
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(lines[i].find_first_of("\r\n") == std::string::npos);
        joined += (i ? "\n" : "") + lines[i];
    }
    std::string normalised;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        normalised += text[i] == '\r' ? '\n' : text[i];
    }
    if (!normalised.empty() && normalised.back() == '\n') normalised.pop_back();
    FUZZ_CHECK(joined == normalised);

    std::vector<std::string> expected;
    for (const auto &line : lines) {
        checkBrokenLine(line, columns);
        const auto broken = breakLine(line, columns);
        expected.insert(expected.end(), broken.begin(), broken.end());
    }
    FUZZ_CHECK(breakText(text, columns) == expected);
}

}  // namespace fuzzcheck
