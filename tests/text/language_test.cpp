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
    EXPECT_TRUE(isValidUtf8("AB 啊"));
    EXPECT_FALSE(isValidUtf8("\xB0\xA1"));
    EXPECT_FALSE(isValidUtf8("\xC0\x80"));
}
