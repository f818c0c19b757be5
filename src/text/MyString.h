// The language object and the conversions between UTF-8 and the ANSI code page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Decides once, from the system locale, which Chinese coding the font library
// covers: Language 1 (Traditional Chinese) selects Big5, everything else GB2312.
class FMyString {
public:
    int32_t Language = 15;

    // 255 asks for detection from the system locale; any other value is taken as it is.
    int32_t InitialAll(uint8_t requested);

    // The number a four-hex-digit locale identifier selects ("0804" -> 0, "0C04" -> 1 ...);
    // compared after upper-casing, anything unknown gives 15.
    static int32_t languageOfIdentifier(std::string_view identifier);
    // The identifier of a POSIX locale name ("zh_TW.UTF-8" -> "0404"), or "" when unknown.
    static std::string identifierOfLocale(std::string_view localeName);
    // The locale from LC_ALL, then LC_MESSAGES, then LANG; "" when none is set.
    static std::string systemLocaleName();
    // The four-digit identifier of the system default locale: on Windows
    // GetLocaleInfo's, elsewhere that of systemLocaleName().
    static std::string systemLocaleIdentifier();
};

// The ANSI code page in force: "GBK" (code page 936) or "BIG5" (950) when Language is 1.
const char *ansiCodePage(int32_t language);

// UTF-8 to the code page; a character the code page cannot hold, and a
// malformed sequence, becomes "?".
std::string utf8ToAnsi(std::string_view utf8, int32_t language = 0);
// The code page to UTF-8; bytes that encode nothing become U+FFFD.
std::string ansiToUtf8(std::string_view ansi, int32_t language = 0);
// Decodes the double-byte codes of one code page ("GB2312", "BIG5") one by
// one, with one conversion set-up for all of them.
class PairDecoder {
public:
    explicit PairDecoder(const char *codePage);
    ~PairDecoder();
    PairDecoder(const PairDecoder &) = delete;
    PairDecoder &operator=(const PairDecoder &) = delete;

    bool valid() const;
    // The one character the two bytes encode together, or nothing.
    std::optional<char32_t> decode(uint8_t first, uint8_t second);

private:
#ifdef _WIN32
    unsigned mCodePage;
    bool mGb2312;
#else
    void *mCd;  // iconv_t
#endif
};

// Encodes characters one at a time into the ANSI code page of a language,
// with one conversion set-up for all of them.
class CharacterEncoder {
public:
    explicit CharacterEncoder(int32_t language);
    ~CharacterEncoder();
    CharacterEncoder(const CharacterEncoder &) = delete;
    CharacterEncoder &operator=(const CharacterEncoder &) = delete;

    // The character's bytes in the code page (one or two), or nothing when
    // the code page has no such character.
    std::optional<std::string> encode(char32_t character);

private:
#ifdef _WIN32
    unsigned mCodePage;
#else
    void *mCd;  // iconv_t
#endif
};

enum class UnicodeForm { Utf8, Utf16LE, Utf16BE };

struct DecodedText {
    std::u32string characters;
    // False when a sequence was malformed: UTF-8 that is overlong, a surrogate
    // or beyond U+10FFFF, a lone UTF-16 surrogate, a unit cut off at the end.
    bool wellFormed = true;
};

// Decodes text in one of the Unicode forms (without its byte-order mark).
// Each malformed sequence becomes U+FFFD and decoding goes on after it.
DecodedText decodeUnicode(std::string_view bytes, UnicodeForm form);

// Whether the bytes are well-formed UTF-8, by the rules of decodeUnicode.
bool isValidUtf8(std::string_view bytes);
