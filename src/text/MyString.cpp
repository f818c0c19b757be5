#include "MyString.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

int32_t FMyString::InitialAll(uint8_t requested)
{
    if (requested == 255)
        Language = languageOfIdentifier(systemLocaleIdentifier());
    else
        Language = requested;
    return Language;
}

int32_t FMyString::languageOfIdentifier(std::string_view identifier)
{
    std::string upper(identifier);
    for (char &c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    static const std::array<std::pair<const char *, int32_t>, 11> table{{
        {"0804", 0}, {"0C04", 1}, {"0404", 1}, {"080C", 2}, {"040C", 2}, {"0C0C", 2},
        {"140C", 2}, {"180C", 2}, {"100C", 2}, {"0429", 4}, {"0415", 5},
    }};
    for (const auto &[id, number] : table)
        if (upper == id) return number;
    return 15;
}

std::string FMyString::identifierOfLocale(std::string_view localeName)
{
    // "zh_TW.UTF-8@euro" -> "zh_TW"
    std::string_view name = localeName.substr(0, localeName.find_first_of(".@"));
    static const std::array<std::pair<const char *, const char *>, 22> table{{
        {"zh_CN", "0804"}, {"zh_TW", "0404"}, {"zh_HK", "0C04"}, {"zh_SG", "1004"},
        {"zh_MO", "1404"}, {"fr_FR", "040C"}, {"fr_BE", "080C"}, {"fr_CA", "0C0C"},
        {"fr_CH", "100C"}, {"fr_LU", "140C"}, {"fr_MC", "180C"}, {"fa_IR", "0429"},
        {"pl_PL", "0415"}, {"en_US", "0409"}, {"en_GB", "0809"}, {"de_DE", "0407"},
        {"ja_JP", "0411"}, {"ko_KR", "0412"}, {"ru_RU", "0419"}, {"es_ES", "0C0A"},
        {"it_IT", "0410"}, {"pt_BR", "0416"},
    }};
    for (const auto &[locale, id] : table)
        if (name == locale) return id;
    return {};
}

std::string FMyString::systemLocaleName()
{
    for (const char *variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = std::getenv(variable);
        if (value && *value) return value;
    }
    return {};
}

std::string FMyString::systemLocaleIdentifier()
{
#ifdef _WIN32
    // Starts as NULs, so a failed query matches nothing.
    char text[5] = {};
    GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE, text, sizeof text);
    return std::string(text, 4);
#else
    return identifierOfLocale(systemLocaleName());
#endif
}

const char *ansiCodePage(int32_t language)
{
    return language == 1 ? "BIG5" : "GBK";
}

// UTF-16 units to characters: a surrogate pair is one character, a lone
// surrogate is malformed.
static void appendUtf16(DecodedText &text, std::u16string_view units)
{
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            text.characters += 0x10000 + ((unit - 0xD800) << 10) + (char32_t(units[++i]) - 0xDC00);
        } else if (high || low) {
            text.characters += U'\xFFFD';
            text.wellFormed = false;
        } else {
            text.characters += unit;
        }
    }
}

static void decodeUtf8(std::string_view bytes, DecodedText &text);

DecodedText decodeUnicode(std::string_view bytes, UnicodeForm form)
{
    DecodedText text;
    if (form == UnicodeForm::Utf8) {
        decodeUtf8(bytes, text);
        return text;
    }
    const bool littleEndian = form == UnicodeForm::Utf16LE;
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        units[i] = static_cast<char16_t>(littleEndian ? first | second << 8 : first << 8 | second);
    }
    appendUtf16(text, units);
    if (bytes.size() % 2 != 0) {
        text.characters += U'\xFFFD';
        text.wellFormed = false;
    }
    return text;
}

bool isValidUtf8(std::string_view bytes)
{
    return decodeUnicode(bytes, UnicodeForm::Utf8).wellFormed;
}

std::string utf8ToAnsi(std::string_view utf8, int32_t language)
{
    CharacterEncoder encoder(language);
    std::string output;
    output.reserve(utf8.size());
    for (const char32_t character : decodeUnicode(utf8, UnicodeForm::Utf8).characters) {
        if (character < 0x80)
            output += static_cast<char>(character);
        else
            output += encoder.encode(character).value_or("?");
    }
    return output;
}

#ifdef _WIN32

static UINT codePageNumber(const char *name)
{
    return std::string_view(name) == "BIG5" ? 950 : 936;
}

// Windows gives the user-defined areas of GBK and Big5 private-use
// characters; iconv and every font leave them undefined, and so do we.
static bool isPrivateUse(wchar_t c)
{
    return c >= 0xE000 && c <= 0xF8FF;
}

// One character of the code page (one or two bytes) as UTF-16, or nothing.
static std::wstring decodeCharacter(UINT codePage, const char *bytes, int length)
{
    wchar_t wide[2];
    const int count = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, length, wide, 2);
    if (count != 1 || isPrivateUse(wide[0])) return {};
    return std::wstring(wide, 1);
}

static void appendUtf8(std::string &output, const std::wstring &wide)
{
    char bytes[8];
    const int count = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), bytes, sizeof bytes,
                                          nullptr, nullptr);
    output.append(bytes, static_cast<std::size_t>(std::max(count, 0)));
}

// MultiByteToWideChar refuses ill-formed UTF-8 (overlong forms, surrogates)
// when asked to; asked again without the flag it marks each with U+FFFD.
static void decodeUtf8(std::string_view bytes, DecodedText &text)
{
    if (bytes.empty()) return;
    const int length = static_cast<int>(bytes.size());
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    const DWORD flags = units > 0 ? MB_ERR_INVALID_CHARS : 0;
    if (units <= 0) {
        text.wellFormed = false;
        units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, nullptr, 0);
    }
    std::u16string wide(static_cast<std::size_t>(std::max(units, 0)), u'\0');
    MultiByteToWideChar(CP_UTF8, flags, bytes.data(), length, reinterpret_cast<wchar_t *>(wide.data()), units);
    appendUtf16(text, wide);
}

CharacterEncoder::CharacterEncoder(int32_t language) : mCodePage(codePageNumber(ansiCodePage(language))) {}

CharacterEncoder::~CharacterEncoder() = default;

std::optional<std::string> CharacterEncoder::encode(char32_t character)
{
    if (character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF)) return std::nullopt;
    wchar_t wide[2];
    int units = 1;
    if (character >= 0x10000) {
        wide[0] = static_cast<wchar_t>(0xD800 + ((character - 0x10000) >> 10));
        wide[1] = static_cast<wchar_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
        units = 2;
    } else {
        wide[0] = static_cast<wchar_t>(character);
        if (isPrivateUse(wide[0])) return std::nullopt;
    }
    char bytes[8];
    BOOL replaced = FALSE;
    const int count = WideCharToMultiByte(mCodePage, WC_NO_BEST_FIT_CHARS, wide, units, bytes, sizeof bytes, nullptr,
                                          &replaced);
    if (count <= 0 || replaced) return std::nullopt;
    return std::string(bytes, static_cast<std::size_t>(count));
}

std::string ansiToUtf8(std::string_view ansi, int32_t language)
{
    const UINT codePage = codePageNumber(ansiCodePage(language));
    std::string output;
    output.reserve(ansi.size() * 2);
    for (std::size_t i = 0; i < ansi.size();) {
        const unsigned char c = static_cast<unsigned char>(ansi[i]);
        if (c < 0x80) {
            output += ansi[i++];
            continue;
        }
        std::wstring wide;
        if (IsDBCSLeadByteEx(codePage, c) && i + 1 < ansi.size()) wide = decodeCharacter(codePage, ansi.data() + i, 2);
        if (!wide.empty()) {
            i += 2;
        } else {
            // A byte that starts nothing: marked, and decoding goes on after it.
            wide = decodeCharacter(codePage, ansi.data() + i, 1);
            if (wide.empty()) wide = L"\xFFFD";
            ++i;
        }
        appendUtf8(output, wide);
    }
    return output;
}

PairDecoder::PairDecoder(const char *codePage)
    : mCodePage(codePageNumber(codePage)), mGb2312(std::string_view(codePage) == "GB2312")
{
}

PairDecoder::~PairDecoder() = default;

bool PairDecoder::valid() const
{
    return IsValidCodePage(mCodePage);
}

std::optional<char32_t> PairDecoder::decode(uint8_t first, uint8_t second)
{
    // Exactly one character from both bytes; a pair read as two single-byte
    // characters is not a double-byte code.
    // Code page 936 is GBK; GB2312 is its part with both bytes in A1..FE.
    if (mGb2312 && (first < 0xA1 || first > 0xFE || second < 0xA1 || second > 0xFE)) return std::nullopt;
    const char bytes[2] = {static_cast<char>(first), static_cast<char>(second)};
    const std::wstring wide = decodeCharacter(mCodePage, bytes, 2);
    if (wide.empty() || !IsDBCSLeadByteEx(mCodePage, first)) return std::nullopt;
    return static_cast<char32_t>(wide[0]);
}

#else

// Converts with iconv; an input sequence the target cannot hold, or a
// malformed one, becomes replacement and conversion goes on after it.
// failures, when given, counts them.
static std::string convert(std::string_view input, const char *from, const char *to,
                           std::string_view replacement, bool fromUtf8, int *failures = nullptr)
{
    std::string output;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return output;
    output.reserve(input.size() * 2);
    char *in = const_cast<char *>(input.data());
    std::size_t inLeft = input.size();
    char buffer[1024];
    while (inLeft > 0) {
        char *out = buffer;
        std::size_t outLeft = sizeof buffer;
        std::size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
        output.append(buffer, static_cast<std::size_t>(out - buffer));
        if (rc != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ: a character the target cannot hold or a malformed input;
        // EINVAL: a sequence cut off at the end.
        std::size_t skip = 1;
        if (errno == EINVAL) {
            skip = inLeft;
        } else if (fromUtf8) {
            // Skip the whole character, not just its first byte.
            while (skip < inLeft && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) ++skip;
        }
        output.append(replacement);
        if (failures) ++*failures;
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return output;
}

// glibc's UTF-8 decoder refuses overlong forms, surrogates and values
// beyond U+10FFFF, which is the strictness the encoding rule needs.
static void decodeUtf8(std::string_view bytes, DecodedText &text)
{
    int failures = 0;
    const std::string utf32 =
        convert(bytes, "UTF-8", "UTF-32LE", std::string_view("\xFD\xFF\x00\x00", 4), true, &failures);
    text.wellFormed = failures == 0;
    text.characters.reserve(utf32.size() / 4);
    for (std::size_t i = 0; i + 3 < utf32.size(); i += 4) {
        const auto *b = reinterpret_cast<const unsigned char *>(utf32.data() + i);
        text.characters += static_cast<char32_t>(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24);
    }
}

CharacterEncoder::CharacterEncoder(int32_t language) : mCd(iconv_open(ansiCodePage(language), "UTF-32LE")) {}

CharacterEncoder::~CharacterEncoder()
{
    if (mCd != reinterpret_cast<void *>(-1)) iconv_close(static_cast<iconv_t>(mCd));
}

std::optional<std::string> CharacterEncoder::encode(char32_t character)
{
    if (mCd == reinterpret_cast<void *>(-1)) return std::nullopt;
    const auto cd = static_cast<iconv_t>(mCd);
    char in[4] = {static_cast<char>(character & 0xFF), static_cast<char>(character >> 8 & 0xFF),
                  static_cast<char>(character >> 16 & 0xFF), static_cast<char>(character >> 24 & 0xFF)};
    char out[8];
    char *inPtr = in;
    char *outPtr = out;
    std::size_t inLeft = sizeof in, outLeft = sizeof out;
    const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (rc == static_cast<std::size_t>(-1) || inLeft != 0 || outPtr == out) return std::nullopt;
    return std::string(out, static_cast<std::size_t>(outPtr - out));
}

std::string ansiToUtf8(std::string_view ansi, int32_t language)
{
    return convert(ansi, ansiCodePage(language), "UTF-8", "\xEF\xBF\xBD", false);
}

PairDecoder::PairDecoder(const char *codePage) : mCd(iconv_open("UTF-32LE", codePage)) {}

PairDecoder::~PairDecoder()
{
    if (valid()) iconv_close(static_cast<iconv_t>(mCd));
}

bool PairDecoder::valid() const
{
    return mCd != reinterpret_cast<void *>(-1);
}

std::optional<char32_t> PairDecoder::decode(uint8_t first, uint8_t second)
{
    if (!valid()) return std::nullopt;
    const auto cd = static_cast<iconv_t>(mCd);
    char in[2] = {static_cast<char>(first), static_cast<char>(second)};
    unsigned char out[8] = {};
    char *inPtr = in;
    char *outPtr = reinterpret_cast<char *>(out);
    std::size_t inLeft = sizeof in, outLeft = sizeof out;
    const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    // Exactly one character from both bytes; a pair read as two single-byte
    // characters is not a double-byte code.
    if (rc == static_cast<std::size_t>(-1) || inLeft != 0 || sizeof out - outLeft != 4) return std::nullopt;
    return static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | uint32_t(out[3]) << 24);
}

#endif
