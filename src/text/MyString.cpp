#include "MyString.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <iconv.h>

int32_t FMyString::InitialAll(uint8_t requested)
{
    if (requested == 255)
        Language = languageOfIdentifier(identifierOfLocale(systemLocaleName()));
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

const char *ansiCodePage(int32_t language)
{
    return language == 1 ? "BIG5" : "GBK";
}

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

bool isValidUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > bytes.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
        if (length == 2 && c < 0xC2) return false;  // overlong
        i += length;
    }
    return true;
}
