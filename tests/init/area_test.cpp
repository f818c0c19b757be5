#include "init/AreaPicker.h"

#include "TempDir.h"
#include "transfer/Profile.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

struct FieldCase {
    const char *text;
    int n;
    const char *expected;
};

class SubStrOfCase : public testing::TestWithParam<FieldCase> {};

TEST_P(SubStrOfCase, TakesTheNthFieldWithoutBlanks)
{
    EXPECT_EQ(SubStrOf(GetParam().text, GetParam().n), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Fields, SubStrOfCase,
                         testing::Values(FieldCase{"64,0,64,32,", 1, "64"}, FieldCase{"64,0,64,32,", 2, "0"},
                                         FieldCase{"64,0,64,32,", 4, "32"},
                                         FieldCase{"64,0,64,32", 4, "3"},  // the last character is never taken
                                         FieldCase{" 6 4 , 0 ,\t64 , 32 ,", 1, "64"},
                                         FieldCase{" 6 4 , 0 ,64 , 32 ,", 4, "32"}, FieldCase{"1,2,", 3, ""},
                                         FieldCase{"1,  ,3,", 2, ""}, FieldCase{"", 1, ""},
                                         FieldCase{",", 1, ""}, FieldCase{"7,", 0, "7"}));

TEST(StrToDec, AccumulatesEveryCharacterAsADigit)
{
    EXPECT_EQ(StrToDec(""), 0);
    EXPECT_EQ(StrToDec("4032"), 4032);
    EXPECT_EQ(StrToDec("1a"), 10 + ('a' - '0'));
    EXPECT_EQ(StrToDec("4294967295"), -1);        // wraps in 32 bits
    EXPECT_EQ(StrToDec(std::string(50, '9')), StrToDec(std::string(50, '9')));  // garbage, but no UB
    EXPECT_EQ(DecValOf("3968,0,128,32,", 1), 3968);
    EXPECT_EQ(DecValOf("3968,0,128,32,", 3), 128);
}

TEST(PictureRate, FitsTheScreenInto256By192)
{
    EXPECT_DOUBLE_EQ(*pictureRate(192, 64), 256.0 / 192);
    EXPECT_DOUBLE_EQ(*pictureRate(64, 64), 3.0);
    EXPECT_DOUBLE_EQ(*pictureRate(256, 192), 1.0);  // exactly 4/3 goes by the height
    EXPECT_DOUBLE_EQ(*pictureRate(0, 96), 2.0);
    EXPECT_FALSE(pictureRate(128, 0));
    EXPECT_FALSE(pictureRate(128, -4));
}

TEST(RateV, RoundsHalvesUpAndClampsHugeValues)
{
    EXPECT_EQ(RateV(64, 1.0), 64);
    EXPECT_EQ(RateV(1, 0.5), 1);
    EXPECT_EQ(RateV(1, 0.49), 0);
    EXPECT_EQ(RateV(INT_MAX, 3.0), INT_MAX);
    EXPECT_EQ(RateV(INT_MIN, 3.0), INT_MIN);
}

PlayListAreas areasOf(std::vector<std::string> positions)
{
    std::array<std::string, MaxPickerAreas> fields;
    for (std::size_t i = 0; i < positions.size() && i < fields.size(); ++i) fields[i] = positions[i];
    return parsePlayListAreas(static_cast<int32_t>(positions.size()), fields);
}

void expectArea(const PosiType &area, int32_t left, int32_t top, int32_t width, int32_t height)
{
    EXPECT_EQ(area.Left, left);
    EXPECT_EQ(area.Top, top);
    EXPECT_EQ(area.Width, width);
    EXPECT_EQ(area.Height, height);
}

TEST(ParsePlayListAreas, BlanksAndMissingFields)
{
    const PlayListAreas read = areasOf({" 64 , 0 , 64 , 32 ", "128,0", ""});
    ASSERT_EQ(read.count, 3);
    expectArea(read.areas[0], 64, 0, 64, 32);
    expectArea(read.areas[1], 128, 0, 0, 0);
    expectArea(read.areas[2], 0, 0, 0, 0);
}

TEST(ParsePlayListAreas, CountIsLimitedToFourAndNegativeMeansNone)
{
    EXPECT_EQ(parsePlayListAreas(9, {"1,2,3,4", "1,2,3,4", "1,2,3,4", "1,2,3,4"}).count, 4);
    EXPECT_EQ(parsePlayListAreas(-2, {"1,2,3,4"}).count, 0);
}

TEST(LayoutAreas, LeftEdgesAreRelativeToTheLeftmostArea)
{
    const auto layout = layoutAreas(areasOf({"64,0,64,32", "128,0,64,32"}), 128, 32, 272, 218);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->areas[0].Left, 0);
    EXPECT_EQ(layout->areas[1].Left, 64);
    // 128 x 32 at rate 2: a 256 x 64 picture centred in 272 x 218.
    EXPECT_EQ(layout->panels[0], (PanelRect{8, 77, 128, 64}));
    EXPECT_EQ(layout->panels[1], (PanelRect{136, 77, 128, 64}));
}

TEST(LayoutAreas, TheLeftmostStartsFrom4096)
{
    const auto layout = layoutAreas(areasOf({"5000,0,64,32"}), 128, 32, 272, 218);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->areas[0].Left, 5000 - 4096);
}

TEST(LayoutAreas, NothingToPick)
{
    EXPECT_FALSE(layoutAreas(areasOf({}), 128, 32, 272, 218));
    EXPECT_FALSE(layoutAreas(areasOf({"0,0,64,32"}), 128, 0, 272, 218));
}

TEST(LayoutAreas, GarbageNeverOverflows)
{
    const auto layout = layoutAreas(areasOf({"zz,4294967295,99999999999,-5", "0,0,1,1"}), 64, 64, 272, 218);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->count, 2);
    EXPECT_EQ(layout->areas[0].Top, -1);  // shown as it is
}

TEST(ApplyPickedArea, LeftIsLimitedAndAreaIndexCountsFromOne)
{
    const PickedArea picked = applyPickedArea({5000, 8, 64, 32}, 2);
    EXPECT_EQ(picked.Left, 4032);
    EXPECT_EQ(picked.Top, 8);
    EXPECT_EQ(picked.Width, 64);
    EXPECT_EQ(picked.Height, 32);
    EXPECT_EQ(picked.AreaIndex, 3);
    EXPECT_EQ(applyPickedArea({-3, 0, 0, 0}, 0).Left, 0);
}

class PlayListFile : public testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("Playlist.qv");

    void write(const char *section, const char *key, const std::string &value)
    {
        ASSERT_TRUE(WriteProfileString(section, key, value, path));
    }
};

TEST_F(PlayListFile, ReadsTheAreasOfTheFirstProgram)
{
    write("Program1", "Screen", "2");
    write("Program1_Screen1", "Position", "3968,0,128,32");
    write("Program1_Screen2", "Position", " 4000 , 32 , 96 , 16 ");
    const PlayListAreas read = readPlayListAreas(path);
    ASSERT_EQ(read.count, 2);
    expectArea(read.areas[0], 3968, 0, 128, 32);
    expectArea(read.areas[1], 4000, 32, 96, 16);
}

TEST_F(PlayListFile, MoreThanFourAreasGiveTheFirstFour)
{
    write("Program1", "Screen", "6");
    for (int n = 1; n <= 6; ++n)
        write(("Program1_Screen" + std::to_string(n)).c_str(), "Position", std::to_string(n) + ",0,1,1");
    const PlayListAreas read = readPlayListAreas(path);
    ASSERT_EQ(read.count, 4);
    EXPECT_EQ(read.areas[3].Left, 4);
}

TEST_F(PlayListFile, BadScreenCountsMeanNoAreas)
{
    for (const char *screen : {"-1", "abc", "0"}) {
        write("Program1", "Screen", screen);
        EXPECT_EQ(readPlayListAreas(path).count, 0) << screen;
    }
    EXPECT_EQ(readPlayListAreas(dir.file("missing.qv")).count, 0);
}

}  // namespace
