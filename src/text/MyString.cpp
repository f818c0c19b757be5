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

// Length of the well-formed UTF-8 character at bytes[i], 0 when there is none.
static std::size_t utf8CharacterLength(std::string_view bytes, std::size_t i)
{
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return 0;
    if (length == 2 && c < 0xC2) return 0;  // overlong
    return length;
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

// Character by character, so that each one the code page cannot hold (or
// a malformed sequence) becomes one "?", as with iconv.
std::string utf8ToAnsi(std::string_view utf8, int32_t language)
{
    const UINT codePage = codePageNumber(ansiCodePage(language));
    std::string output;
    output.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t length = utf8CharacterLength(utf8, i);
        if (length == 1) {
            output += utf8[i++];
            continue;
        }
        if (length == 0) {
            // Skip the whole broken character, not just its first byte.
            output += '?';
            for (++i; i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80;) ++i;
            continue;
        }
        wchar_t wide[2];
        const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data() + i,
                                              static_cast<int>(length), wide, 2);
        char bytes[8];
        BOOL replaced = FALSE;
        const int count = units > 0 ? WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, units, bytes,
                                                          sizeof bytes, nullptr, &replaced)
                                    : 0;
        if (count > 0 && !replaced)
            output.append(bytes, static_cast<std::size_t>(count));
        else
            output += '?';
        i += length;
    }
    return output;
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

// Converts with iconv; an input sequence the target cannot hold becomes
// replacement and conversion goes on after it.
static std::string convert(std::string_view input, const char *from, const char *to,
                           std::string_view replacement, bool fromUtf8)
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
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return output;
}

std::string utf8ToAnsi(std::string_view utf8, int32_t language)
{
    return convert(utf8, "UTF-8", ansiCodePage(language), "?", true);
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

bool isValidUtf8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = utf8CharacterLength(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}
