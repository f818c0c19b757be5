#include "MyString.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(Language, IdentifiersSelectTheirNumber)
{
    struct Case {
        std::string identifier;  // a failed query leaves four NULs
        int32_t language;
    };
    const Case cases[] = {
        {"0804", 0}, {"0404", 1}, {"0C04", 1}, {"0c04", 1}, {"080C", 2}, {"040C", 2},
        {"0C0C", 2}, {"140C", 2}, {"180C", 2}, {"100c", 2}, {"0429", 4}, {"0415", 5},
        {"1004", 15}, {"1404", 15}, {"0409", 15}, {"", 15}, {std::string(4, '\0'), 15},
        {"08040", 15},
    };
    for (const auto &c : cases) EXPECT_EQ(FMyString::languageOfIdentifier(c.identifier), c.language) << c.identifier.c_str();
}

TEST(Language, PosixLocalesMapToIdentifiers)
{
    EXPECT_EQ(FMyString::identifierOfLocale("zh_CN.UTF-8"), "0804");
    EXPECT_EQ(FMyString::identifierOfLocale("zh_TW.Big5"), "0404");
    EXPECT_EQ(FMyString::identifierOfLocale("zh_HK"), "0C04");
    EXPECT_EQ(FMyString::identifierOfLocale("zh_SG.GBK"), "1004");
    EXPECT_EQ(FMyString::identifierOfLocale("fr_CA.UTF-8@euro"), "0C0C");
    EXPECT_EQ(FMyString::identifierOfLocale("en_US.UTF-8"), "0409");
    EXPECT_EQ(FMyString::identifierOfLocale("C"), "");
    EXPECT_EQ(FMyString::identifierOfLocale(""), "");
}

// Windows asks GetLocaleInfo, which the environment does not change.
#ifndef _WIN32
TEST(Language, DetectionReadsLcAllThenLcMessagesThenLang)
{
    FMyString language;
    setenv("LC_ALL", "", 1);
    setenv("LC_MESSAGES", "zh_TW.UTF-8", 1);
    setenv("LANG", "zh_CN.UTF-8", 1);
    EXPECT_EQ(language.InitialAll(255), 1);
    setenv("LC_ALL", "zh_CN.UTF-8", 1);
    EXPECT_EQ(language.InitialAll(255), 0);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    unsetenv("LANG");
    EXPECT_EQ(language.InitialAll(255), 15);  // nothing set: a failed query
    EXPECT_EQ(language.Language, 15);
}
#endif

TEST(Language, AnyOtherRequestIsTakenAsItIs)
{
    FMyString language;
    EXPECT_EQ(language.InitialAll(1), 1);
    EXPECT_EQ(language.Language, 1);
    EXPECT_EQ(language.InitialAll(4), 4);
}

TEST(CodePage, ConvertsBothWaysAndMarksWhatCannotBeHeld)
{
    EXPECT_EQ(utf8ToAnsi("宋体"), "\xCB\xCE\xCC\xE5");
    EXPECT_EQ(ansiToUtf8("\xCB\xCE\xCC\xE5"), "宋体");
    EXPECT_EQ(utf8ToAnsi("是", 1), "\xAC\x4F");
    EXPECT_EQ(utf8ToAnsi("a€😀b"), "a\x80?b");  // GBK has the euro sign at 0x80
    EXPECT_EQ(utf8ToAnsi("a😀b"), "a?b");
    EXPECT_EQ(utf8ToAnsi("a\xFF" "b"), "a?b");  // malformed UTF-8
    EXPECT_EQ(ansiToUtf8("a\xFF"), "a\xEF\xBF\xBD");
}

TEST(CodePage, OnlyWellFormedUtf8IsValid)
{
    EXPECT_TRUE(isValidUtf8("AB 啊😀"));
    // GBK, an overlong NUL and slash, a surrogate, beyond U+10FFFF, cut off.
    for (const char *bytes : {"\xB0\xA1", "\xC0\x80", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "a\xE5\x95"})
        EXPECT_FALSE(isValidUtf8(bytes)) << bytes;
}

TEST(CodePage, Utf16PairsSurrogatesAndMarksLoneOnes)
{
    const DecodedText pair = decodeUnicode(std::string("\x3D\xD8\x00\xDE" "A\0", 6), UnicodeForm::Utf16LE);
    EXPECT_TRUE(pair.wellFormed);
    EXPECT_EQ(pair.characters, U"😀A");
    const DecodedText lone = decodeUnicode(std::string("\xD8\x3D\0A\0", 5), UnicodeForm::Utf16BE);
    EXPECT_FALSE(lone.wellFormed);
    EXPECT_EQ(lone.characters, U"\uFFFDA\uFFFD") << "a lone surrogate, then a byte cut off";
}
