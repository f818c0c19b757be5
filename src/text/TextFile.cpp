#include "text/TextFile.h"

#include "init/FontLib.h"
#include "settings/FileIO.h"
#include "text/MyString.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEMark = "\xFF\xFE";
constexpr std::string_view kUtf16BEMark = "\xFE\xFF";
constexpr std::string_view kNoCharacterText = "\xEF\xBF\xBD";  // U+FFFD

// The character of every record of the display's Chinese library, worked out
// once per coding for the whole run.
const std::vector<char32_t> &libraryGlyphs(int32_t language)
{
    if (language == 1) {
        static const std::vector<char32_t> big5 = libraryCharacters(libraryLayout(LibraryKind::Chinese, 1));
        return big5;
    }
    static const std::vector<char32_t> gb2312 = libraryCharacters(libraryLayout(LibraryKind::Chinese, 0));
    return gb2312;
}

// Whether the controller shows the bytes of one code-page character: ASCII
// from its own library, a pair when the Chinese library has a glyph for it.
bool controllerShows(std::string_view bytes, int32_t language)
{
    if (bytes.size() == 1) return static_cast<unsigned char>(bytes[0]) < 0x80;
    if (bytes.size() != 2) return false;
    const LibraryLayout &layout = libraryLayout(LibraryKind::Chinese, language);
    const auto first = static_cast<uint8_t>(bytes[0]);
    const auto second = static_cast<uint8_t>(bytes[1]);
    if (first < layout.Start1V || first > layout.End1V || second < layout.Start2V || second > layout.End2V)
        return false;
    return libraryGlyphs(language)[static_cast<std::size_t>(layout.recordIndex(first, second))] != kNoCharacter;
}

std::string utf8Of(char32_t character)
{
    std::string text;
    if (character < 0x80) {
        text += static_cast<char>(character);
    } else if (character < 0x800) {
        text += static_cast<char>(0xC0 | character >> 6);
        text += static_cast<char>(0x80 | (character & 0x3F));
    } else if (character < 0x10000) {
        text += static_cast<char>(0xE0 | character >> 12);
        text += static_cast<char>(0x80 | (character >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (character & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | character >> 18);
        text += static_cast<char>(0x80 | (character >> 12 & 0x3F));
        text += static_cast<char>(0x80 | (character >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (character & 0x3F));
    }
    return text;
}

class Converter {
public:
    explicit Converter(int32_t language) : mLanguage(language), mEncoder(language)
    {
        mStandIn = mEncoder.encode(U'？').value_or("?");
    }

    ControllerText fromUnicode(const DecodedText &decoded, TextEncoding encoding)
    {
        mText.encoding = encoding;
        for (const char32_t character : decoded.characters) {
            if (character < 0x80) {
                mText.bytes += static_cast<char>(character);
                continue;
            }
            const std::optional<std::string> encoded = mEncoder.encode(character);
            if (!encoded)
                replace(character == U'\xFFFD' ? std::string(kNoCharacterText) : utf8Of(character),
                        Unshowable::NotInCodePage);
            else if (controllerShows(*encoded, mLanguage))
                mText.bytes += *encoded;
            else
                replace(utf8Of(character), Unshowable::OutsideLibrary);
        }
        return std::move(mText);
    }

    // Read as the controller reads it: a byte from 0x80 up starts a pair.
    ControllerText fromCodePage(std::string_view bytes)
    {
        PairDecoder codePage(ansiCodePage(mLanguage));
        mText.bytes.reserve(bytes.size());
        for (std::size_t i = 0; i < bytes.size();) {
            const auto first = static_cast<uint8_t>(bytes[i]);
            const std::string_view pair = bytes.substr(i, 2);
            if (first < 0x80) {
                mText.bytes += bytes[i++];
            } else if (pair.size() == 2 && controllerShows(pair, mLanguage)) {
                mText.bytes += pair;
                i += 2;
            } else if (const auto character =
                           pair.size() == 2 ? codePage.decode(first, static_cast<uint8_t>(pair[1])) : std::nullopt) {
                replace(utf8Of(*character), Unshowable::OutsideLibrary);
                i += 2;
            } else {
                // A byte that starts no double-byte character is replaced alone,
                // so the character after it survives.
                const std::string &single = singleByteText(first);
                replace(single, single == kNoCharacterText ? Unshowable::NotInCodePage : Unshowable::OutsideLibrary);
                ++i;
            }
        }
        return std::move(mText);
    }

private:
    void replace(const std::string &text, Unshowable reason)
    {
        mText.bytes += mStandIn;
        ++mText.replacedCount;
        const ReplacedCharacter replaced{text, reason};
        if (std::find(mText.named.begin(), mText.named.end(), replaced) != mText.named.end()) return;
        if (mText.named.size() < kNamedReplacements)
            mText.named.push_back(replaced);
        else
            mText.moreUnnamed = true;
    }

    // A single byte from 0x80 up as the code page reads it (GBK's 0x80 is
    // the euro sign), U+FFFD when it is no character.
    const std::string &singleByteText(uint8_t byte)
    {
        std::optional<std::string> &text = mSingleBytes[byte - 0x80u];
        if (!text) text = ansiToUtf8(std::string(1, static_cast<char>(byte)), mLanguage);
        return *text;
    }

    int32_t mLanguage;
    CharacterEncoder mEncoder;
    std::string mStandIn;
    ControllerText mText;
    std::array<std::optional<std::string>, 0x80> mSingleBytes;
};

}  // namespace

std::string textEncodingName(TextEncoding encoding, int32_t language)
{
    switch (encoding) {
    case TextEncoding::CodePage: return language == 1 ? "Big5" : "GBK";
    case TextEncoding::Utf8: return "UTF-8";
    case TextEncoding::Utf16LE: return "UTF-16LE";
    case TextEncoding::Utf16BE: return "UTF-16BE";
    }
    return {};
}

ControllerText toControllerText(std::string_view fileBytes, int32_t language)
{
    Converter converter(language);
    if (fileBytes.starts_with(kUtf16LEMark))
        return converter.fromUnicode(decodeUnicode(fileBytes.substr(2), UnicodeForm::Utf16LE), TextEncoding::Utf16LE);
    if (fileBytes.starts_with(kUtf16BEMark))
        return converter.fromUnicode(decodeUnicode(fileBytes.substr(2), UnicodeForm::Utf16BE), TextEncoding::Utf16BE);
    if (fileBytes.starts_with(kUtf8Mark))
        return converter.fromUnicode(decodeUnicode(fileBytes.substr(kUtf8Mark.size()), UnicodeForm::Utf8),
                                     TextEncoding::Utf8);
    const bool pureAscii =
        std::all_of(fileBytes.begin(), fileBytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!pureAscii) {
        const DecodedText decoded = decodeUnicode(fileBytes, UnicodeForm::Utf8);
        if (decoded.wellFormed) return converter.fromUnicode(decoded, TextEncoding::Utf8);
    }
    return converter.fromCodePage(fileBytes);
}

std::optional<ControllerText> readForController(const std::string &path, int32_t language, std::string *error)
{
    const std::optional<std::string> bytes = readWholeFile(path, error);
    if (!bytes) return std::nullopt;
    return toControllerText(*bytes, language);
}

std::string replacementSummary(const ControllerText &text, int32_t language)
{
    if (text.replacedCount == 0) return {};
    std::string line = std::to_string(text.replacedCount) + " 个字符无法显示，已换成“" + std::string(kStandIn) + "”：";
    for (const ReplacedCharacter &replaced : text.named) {
        if (&replaced != &text.named.front()) line += "、";
        line += replaced.text + "（";
        line += replaced.reason == Unshowable::NotInCodePage
                    ? textEncodingName(TextEncoding::CodePage, language) + " 中没有"
                    : std::string("字库中没有");
        line += "）";
    }
    if (text.moreUnnamed) line += "等";
    return line;
}
