// Text files in the encodings operators save them in, as the controller gets them.
#include "Connection.h"
#include "FileIO.h"
#include "HX_Dll.h"
#include "HxSim.h"
#include "TempDir.h"
#include "TextFile.h"
#include "WatchDriver.h"

#include <gtest/gtest.h>

namespace {

const std::string kWelcomeUtf8 = "欢迎光临 / Welcome\r\n";
const std::string kWelcomeGbk = "\xBB\xB6\xD3\xAD\xB9\xE2\xC1\xD9 / Welcome\r\n";
const std::string kTraditionalUtf8 = "歡迎光臨 / Welcome\r\n";
const std::string kTraditionalBig5 = "\xC5\x77\xAA\xEF\xA5\xFA\xC1\x7B / Welcome\r\n";

std::string utf16(const std::u16string &text, bool littleEndian)
{
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (const char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        bytes += littleEndian ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

TEST(TextFile, EveryEncodingReachesTheControllerInItsCodePage)
{
    struct Case {
        const char *what;
        std::string file;
        int32_t language;
        std::string expected;
        TextEncoding encoding;
    };
    const Case cases[] = {
        {"UTF-8", kWelcomeUtf8, 0, kWelcomeGbk, TextEncoding::Utf8},
        {"UTF-8 with mark", "\xEF\xBB\xBF" + kWelcomeUtf8, 0, kWelcomeGbk, TextEncoding::Utf8},
        {"UTF-16LE", utf16(u"欢迎光临 / Welcome\r\n", true), 0, kWelcomeGbk, TextEncoding::Utf16LE},
        {"UTF-16BE", utf16(u"欢迎光临 / Welcome\r\n", false), 0, kWelcomeGbk, TextEncoding::Utf16BE},
        {"GBK", kWelcomeGbk, 0, kWelcomeGbk, TextEncoding::CodePage},
        {"ASCII", "Welcome\r\n", 0, "Welcome\r\n", TextEncoding::CodePage},
        {"UTF-8 to Big5", kTraditionalUtf8, 1, kTraditionalBig5, TextEncoding::Utf8},
        {"UTF-16LE to Big5", utf16(u"歡迎光臨 / Welcome\r\n", true), 1, kTraditionalBig5, TextEncoding::Utf16LE},
        {"Big5", kTraditionalBig5, 1, kTraditionalBig5, TextEncoding::CodePage},
        {"UTF-8 mark, ASCII", "\xEF\xBB\xBFHi", 0, "Hi", TextEncoding::Utf8},
        {"malformed UTF-8 is GBK", "\xC0\x80\xB0\xA1", 0, "\xA3\xBF\xB0\xA1", TextEncoding::CodePage},
    };
    HxSim sim;
    TempDir dir;
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = "T" + std::to_string(++n) + ".TXT";
        dir.write(name, c.file);
        std::string error;
        const std::optional<ControllerText> text = readForController(dir.file(name), c.language, &error);
        ASSERT_TRUE(text) << error;
        EXPECT_EQ(text->encoding, c.encoding);
        EXPECT_EQ(text->unchanged(), c.file == c.expected);
        // Watched, the file goes up converted; the operator's file stays as it is.
        FMySetup store;
        store.mProgPath = dir.path();
        store.mSetup[0] = sim.display();
        setShortString(store.mSetup[0].FileName, dir.file(name));
        store.Enable(true);
        WatchOptions options = WatchDriver::quiet();
        options.language = c.language;
        WatchDriver(store, hxTable(), options).tick();
        EXPECT_TRUE(+store.mSetup[0].TmrStart);
        EXPECT_EQ(readWholeFile(sim.diskPath() + "/C/" + name), c.expected);
        EXPECT_EQ(readWholeFile(dir.file(name)), c.file);
    }
}

TEST(TextFile, CharactersTheControllerCannotShowAreReplacedAndNamed)
{
    struct Case {
        const char *what;
        std::string file;
        int32_t language;
        std::string expected;
        std::vector<ReplacedCharacter> named;
        std::string summary;
    };
    const std::string standIn = "\xA3\xBF";  // ？ in GBK
    const Case cases[] = {
        {"UTF-8", "a😀镕€b😀", 0, "a" + standIn + standIn + standIn + "b" + standIn,
         {{"😀", Unshowable::NotInCodePage}, {"镕", Unshowable::OutsideLibrary}, {"€", Unshowable::OutsideLibrary}},
         "4 个字符无法显示，已换成“？”：😀（GBK 中没有）、镕（字库中没有）、€（字库中没有）"},
        // 镕 is E9 46, a pair the GB2312 library has no glyph for; FF starts
        // no character, so the "z" after it stays; 80 is the euro sign.
        {"GBK", "\xE9\x46 \xFFz\x80", 0, standIn + " " + standIn + "z" + standIn,
         {{"镕", Unshowable::OutsideLibrary}, {"\xEF\xBF\xBD", Unshowable::NotInCodePage},
          {"€", Unshowable::OutsideLibrary}},
         "3 个字符无法显示，已换成“？”：镕（字库中没有）、\xEF\xBF\xBD（GBK 中没有）、€（字库中没有）"},
        {"Big5", "欢迎", 1, "\xA1\x48\xAA\xEF", {{"欢", Unshowable::NotInCodePage}},
         "1 个字符无法显示，已换成“？”：欢（Big5 中没有）"},
        {"lone surrogate", std::string("\xFF\xFE\x00\xD8", 4), 0, standIn, {{"\xEF\xBF\xBD", Unshowable::NotInCodePage}},
         "1 个字符无法显示，已换成“？”：\xEF\xBF\xBD（GBK 中没有）"},
        {"many", "①😀😁😂😃😄😅", 0, "\xA2\xD9" + standIn + standIn + standIn + standIn + standIn + standIn,
         {{"😀", Unshowable::NotInCodePage}, {"😁", Unshowable::NotInCodePage}, {"😂", Unshowable::NotInCodePage},
          {"😃", Unshowable::NotInCodePage}, {"😄", Unshowable::NotInCodePage}},
         "6 个字符无法显示，已换成“？”：😀（GBK 中没有）、😁（GBK 中没有）、😂（GBK 中没有）、😃（GBK 中没有）、😄（GBK 中没有）等"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const ControllerText text = toControllerText(c.file, c.language);
        EXPECT_EQ(text.bytes, c.expected);
        EXPECT_EQ(text.named, c.named);
        EXPECT_FALSE(text.unchanged());
        EXPECT_EQ(replacementSummary(text, c.language), c.summary);
    }
    EXPECT_EQ(replacementSummary(toControllerText(kWelcomeGbk, 0), 0), "");
}

TEST(TextFile, AFileThatCannotBeReadNamesTheCause)
{
    TempDir dir;
    std::string error;
    EXPECT_FALSE(readForController(dir.file("gone.txt"), 0, &error));
    EXPECT_NE(error.find("gone.txt"), std::string::npos) << error;
}

}  // namespace
