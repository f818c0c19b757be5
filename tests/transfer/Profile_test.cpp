#include "TempDir.h"
#include "transfer/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct WriteCase {
    const char *name;
    std::string before;
    const char *section;
    const char *key;
    const char *value;
    std::string after;
};

class ProfileWrite : public ::testing::TestWithParam<WriteCase> {};

}  // namespace

TEST_P(ProfileWrite, ChangesOnlyWhatItMust)
{
    auto document = IniDocument::parse(GetParam().before);
    document.set(GetParam().section, GetParam().key, GetParam().value);
    EXPECT_EQ(document.text(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWrite,
    ::testing::Values(
        WriteCase{"ReplaceInPlace", "[A]\r\nx=1\r\ny=2\r\n", "A", "x", "9", "[A]\r\nx=9\r\ny=2\r\n"},
        WriteCase{"NewKeyAtEndOfItsSection", "[A]\r\nx=1\r\n\r\n[B]\r\nz=3\r\n", "A", "y", "2",
                  "[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\nz=3\r\n"},
        WriteCase{"NewSectionAtEndOfFile", "[A]\r\nx=1\r\n", "B", "k", "v", "[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
        WriteCase{"EmptyFile", "", "Program1", "Screen", "1", "[Program1]\r\nScreen=1\r\n"},
        WriteCase{"NamesMatchWithoutCaseAndKeepTheirSpelling", "[program1]\r\nitemCOUNT=4\r\n", "PROGRAM1",
                  "ItemCount", "1", "[program1]\r\nitemCOUNT=1\r\n"},
        WriteCase{"BlanksAroundNamesAndEquals", "[ A ]\r\n  x =  1\r\n", "A", "x", "2", "[ A ]\r\nx=2\r\n"},
        WriteCase{"LfOnlyAndNoFinalLineEndBecomeCrLf", "[A]\nx=1\n[B]\ny=2", "B", "y", "3",
                  "[A]\r\nx=1\r\n[B]\r\ny=3\r\n"},
        WriteCase{"CommentsAndLinesWithoutEqualsStay", "; head\r\n[A]\r\nnoise\r\n;x=5\r\n", "A", "x", "1",
                  "; head\r\n[A]\r\nnoise\r\n;x=5\r\nx=1\r\n"},
        WriteCase{"BytesAreNotConverted", "[A]\r\nx=\xD0\xC2\r\n", "A", "x", "\xCE\xC5",
                  "[A]\r\nx=\xCE\xC5\r\n"},
        WriteCase{"LoneCrElsewhereStaysAsItWas", "[A]\rx=1\r\n[B]\r\ny=2\r\n", "B", "y", "3",
                  "[A]\rx=1\r\n[B]\r\ny=3\r\n"},
        WriteCase{"KeyAfterALoneCrIsReplacedInPlace", "[A]\rx=1\r[B]\r\ny=2\r\n", "A", "x", "9",
                  "[A]\rx=9\r[B]\r\ny=2\r\n"},
        WriteCase{"UnclosedBracketLeavesTheKeysInTheirSection", "[A]\r\n[note\r\nx=1\r\n", "A", "x", "2",
                  "[A]\r\n[note\r\nx=2\r\n"},
        WriteCase{"QuotedValueIsReplacedWhole", "[A]\r\nx=\"old\"\r\n", "A", "x", "new", "[A]\r\nx=new\r\n"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ProfileRead, AcceptsWhatOtherToolsWrite)
{
    const auto document = IniDocument::parse("; comment\n[Program1]\n  Screen = 2 \nbare line\n[Program1_Screen2]\n"
                                             "Position=1,2,3,4");
    EXPECT_EQ(document.value("program1", "SCREEN"), "2");
    EXPECT_EQ(document.value("Program1_Screen2", "Position"), "1,2,3,4");
    EXPECT_EQ(document.value("Program1", "bare line"), std::nullopt);
    EXPECT_EQ(document.value("Program1", "Position"), std::nullopt);
    EXPECT_EQ(document.value("Missing", "Screen"), std::nullopt);
    EXPECT_EQ(IniDocument::parse("[A]\r\n;x=1\r\n").value("A", ";x"), std::nullopt);
}

TEST(ProfileRead, ReadsAsTheProfileStringFunctions)
{
    // A hand-edited play list: a stray "[" line and lone CRs.
    const auto document = IniDocument::parse("[Program1]\r\n[areas follow\r\nScreen=2\r"
                                             "[Program1_Screen1]\rPosition=1,2,3,4\r");
    EXPECT_EQ(document.value("Program1", "Screen"), "2");
    EXPECT_EQ(document.value("areas follow", "Screen"), std::nullopt);
    EXPECT_EQ(document.value("Program1_Screen1", "Position"), "1,2,3,4");
    EXPECT_EQ(document.value("Program1", "Position"), std::nullopt);

    const auto quoted = IniDocument::parse("[A]\nd=\"two words\"\ns= 'one' \nmixed=\"x'\none=\"\nempty=''\n"
                                           "inner=a\"b\"c\n");
    EXPECT_EQ(quoted.value("A", "d"), "two words");
    EXPECT_EQ(quoted.value("A", "s"), "one");
    EXPECT_EQ(quoted.value("A", "mixed"), "\"x'");
    EXPECT_EQ(quoted.value("A", "one"), "\"");
    EXPECT_EQ(quoted.value("A", "empty"), "");
    EXPECT_EQ(quoted.value("A", "inner"), "a\"b\"c");
}

TEST(ProfileRead, UnchangedTextIsWrittenBackAsBefore)
{
    // Every line end becomes CR LF except a lone CR between two lines.
    const std::pair<std::string, std::string> cases[] = {
        {"a\rb\r\n", "a\rb\r\n"}, {"a\r", "a\r\n"},        {"a\r\r\n", "a\r\r\n"}, {"a\rb", "a\rb\r\n"},
        {"\n\n", "\r\n\r\n"},     {"x\n", "x\r\n"},        {"\r", "\r\n"},          {"", ""},
        {"a\r\r", "a\r\r\n"},     {"[A\r\nk=1", "[A\r\nk=1\r\n"},
    };
    for (const auto &[before, after] : cases) EXPECT_EQ(IniDocument::parse(before).text(), after) << before;
}

TEST(ProfileRead, FirstOfDuplicateKeysWins)
{
    EXPECT_EQ(IniDocument::parse("[A]\nx=1\nx=2\n[a]\nx=3\n").value("A", "x"), "1");
}

TEST(ProfileInteger, ReadsLikeThePlatform)
{
    const std::pair<const char *, int32_t> cases[] = {
        {"12", 12}, {"  7", 7}, {"\t3x", 3}, {"-4", -4}, {"+5", 5}, {"abc", 0}, {"1,2", 1}, {"", 0},
    };
    for (const auto &[text, expected] : cases) EXPECT_EQ(profileInteger(text), expected) << text;
}

class ProfileFile : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("Test.ini");
};

TEST_F(ProfileFile, EveryWriteGoesStraightToTheFile)
{
    ASSERT_TRUE(WriteProfileString("Program1", "Screen", "1", path));
    EXPECT_EQ(dir.read("Test.ini"), "[Program1]\r\nScreen=1\r\n");
    ASSERT_TRUE(WriteProfileString("program1", "screen", "2", path));
    EXPECT_EQ(dir.read("Test.ini"), "[Program1]\r\nScreen=2\r\n");
    EXPECT_EQ(GetProfileString("PROGRAM1", "SCREEN", "none", path), "2");
    EXPECT_EQ(GetProfileInt("Program1", "Screen", 9, path), 2);
}

TEST_F(ProfileFile, MissingFileOrKeyOrEmptyValueGivesTheDefault)
{
    EXPECT_EQ(GetProfileString("A", "x", "def", path), "def");
    EXPECT_EQ(GetProfileInt("A", "x", 9, path), 9);
    dir.write("Test.ini", "[A]\nx=\ny= 42 \n");
    EXPECT_EQ(GetProfileString("A", "x", "def", path), "");
    EXPECT_EQ(GetProfileInt("A", "x", 9, path), 9);
    EXPECT_EQ(GetProfileInt("A", "y", 9, path), 42);
}

TEST_F(ProfileFile, UnwritableFolderIsAnErrorAndChangesNothing)
{
    // A regular file where the folder should be stops the write even for root.
    dir.write("notafolder", "keep");
    std::string error;
    EXPECT_FALSE(WriteProfileString("A", "x", "1", dir.file("notafolder/Test.ini"), &error));
    EXPECT_NE(error.find("Test.ini"), std::string::npos);
    EXPECT_FALSE(WriteProfileString("A", "x", "1", dir.file("missing/Test.ini"), &error));
    EXPECT_EQ(dir.read("notafolder"), "keep");
}

TEST_F(ProfileFile, UnreadableExistingFileIsNotOverwritten)
{
    std::filesystem::create_directory(path);
    std::string error;
    EXPECT_FALSE(WriteProfileString("A", "x", "1", path, &error));
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_FALSE(error.empty());
}
