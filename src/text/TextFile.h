// Text files as operators save them, turned into the bytes a controller shows.
//
// One rule tells a file's encoding, for the watch, click-send and the preview:
//   1. A byte-order mark decides: FF FE is UTF-16 little-endian, FE FF UTF-16
//      big-endian, EF BB BF UTF-8. (FF FE and FE FF start no GBK or Big5 text; EF BB BF
//      only one that begins with the rare 锘 and a character led by BF.)
//      The mark is dropped; a malformed sequence after it counts as a
//      character the code page lacks.
//   2. Without a mark, a file that is well-formed UTF-8 (no overlong forms,
//      surrogates or values beyond U+10FFFF, as the platform's converter
//      checks it) and holds a byte from 0x80 up is UTF-8.
//   3. Anything else is in the display's code page (GBK, or Big5 for
//      language 1), pure ASCII included.
// Nothing is guessed: a code-page text that happens to be well-formed UTF-8
// (only short ones can be) is read as UTF-8.
//
// UTF-8 and UTF-16 become the code page. Every character the controller could
// not show becomes the stand-in "？", which both Chinese libraries hold: one
// the code page lacks, and one outside the Chinese library (a code-page
// character whose code the library's GB2312 or Big5 range has no glyph for,
// or a single byte from 0x80 up, which the controller would pair with the
// next one). A code-page file whose characters all lie in the library comes
// out byte for byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TextEncoding { CodePage, Utf8, Utf16LE, Utf16BE };

// "GBK", "Big5", "UTF-8", "UTF-16LE", "UTF-16BE".
std::string textEncodingName(TextEncoding encoding, int32_t language);

enum class Unshowable {
    NotInCodePage,   // the code page has no such character (or the bytes encode none)
    OutsideLibrary,  // a code-page character the display's Chinese library has no glyph for
};

struct ReplacedCharacter {
    std::string text;  // the character as UTF-8; U+FFFD when the bytes encode none
    Unshowable reason;
    bool operator==(const ReplacedCharacter &) const = default;
};

// The most different replaced characters a report names.
inline constexpr std::size_t kNamedReplacements = 5;

struct ControllerText {
    std::string bytes;  // in the code page, ready for the controller
    TextEncoding encoding = TextEncoding::CodePage;
    int replacedCount = 0;                  // every replaced occurrence
    std::vector<ReplacedCharacter> named;   // the first different ones, at most kNamedReplacements
    bool moreUnnamed = false;               // further different characters were replaced

    // Whether the file's bytes go up as they are.
    bool unchanged() const { return encoding == TextEncoding::CodePage && replacedCount == 0; }
};

// The stand-in for characters the controller cannot show, as UTF-8.
inline constexpr std::string_view kStandIn = "？";

// The controller bytes of a text file's content, by the rule above.
ControllerText toControllerText(std::string_view fileBytes, int32_t language);

// Reads path (a native UTF-8 path) and converts it; nothing when it cannot be
// read, with the cause in error.
std::optional<ControllerText> readForController(const std::string &path, int32_t language, std::string *error);

// One line for the status and the log, "" when nothing was replaced:
// 3 个字符无法显示，已换成“？”：😀（GBK 中没有）、镕（字库中没有）
std::string replacementSummary(const ControllerText &text, int32_t language);
