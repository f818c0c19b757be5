#include "clicksend/LineBreak.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string ni = "\xC4\xE3";  // a GBK double-byte character

struct BreakCase {
    const char *name;
    std::string line;
    int columns;
    Lines expected;
};

class BreakLine : public testing::TestWithParam<BreakCase> {};

TEST_P(BreakLine, BreaksToTheColumnLimit)
{
    EXPECT_EQ(breakLine(GetParam().line, GetParam().columns), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BreakLine,
    testing::Values(
        BreakCase{"FortyColumnsMakeThreeEntries", std::string(40, 'a'), 16,
                  {std::string(16, 'a'), std::string(16, 'a'), std::string(8, 'a')}},
        BreakCase{"ShortLineStaysWhole", "short", 16, {"short"}},
        BreakCase{"ExactFitStaysWhole", std::string(16, 'b'), 16, {std::string(16, 'b')}},
        BreakCase{"EmptyLineIsOneEmptyEntry", "", 16, {""}},
        BreakCase{"BreaksAfterTheLastFittingSpace", "hello world again", 8, {"hello ", "world ", "again"}},
        BreakCase{"SpaceAtTheLimitIsDropped", "abcd    efgh", 4, {"abcd", "efgh"}},
        BreakCase{"LongWordAfterSpaceIsCut", "a bbbbbbbbbb", 4, {"a ", "bbbb", "bbbb", "bb"}},
        BreakCase{"DoubleByteAtTheEdgeMovesDown", std::string(15, 'a') + ni, 16, {std::string(15, 'a'), ni}},
        BreakCase{"DoubleByteFillingTheEdgeStays", std::string(14, 'a') + ni, 16, {std::string(14, 'a') + ni}},
        BreakCase{"DoubleBytesCountTwoColumns", ni + ni + ni + ni + ni, 4, {ni + ni, ni + ni, ni}},
        BreakCase{"DoubleByteWordWrapsAfterSpace", "ab " + ni + ni, 4, {"ab ", ni + ni}},
        BreakCase{"DoubleByteWiderThanTheLineStandsAlone", ni + "a" + ni, 1, {ni, "a", ni}},
        BreakCase{"LoneLeadByteAtTheEndIsOneColumn", "abc\xC4", 4, {"abc\xC4"}},
        BreakCase{"NoWidthMeansNoBreaking", std::string(40, 'a'), 0, {std::string(40, 'a')}},
        BreakCase{"NegativeWidthMeansNoBreaking", "a b c", -3, {"a b c"}}),
    [](const auto &info) { return std::string(info.param.name); });

struct SplitCase {
    const char *name;
    std::string text;
    Lines expected;
};

class SplitLines : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitLines, SplitsAtEveryLineEnd)
{
    EXPECT_EQ(splitLines(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitLines,
                         testing::Values(SplitCase{"Mixed", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
                                         SplitCase{"FinalLineEndAddsNoLine", "a\r\n", {"a"}},
                                         SplitCase{"EmptyLinesKept", "a\n\n\r\n\rb", {"a", "", "", "", "b"}},
                                         SplitCase{"EmptyText", "", {}},
                                         SplitCase{"OnlyALineEnd", "\r\n", {""}}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(BreakText, BreaksEveryLineAndKeepsEmptyOnes)
{
    EXPECT_EQ(breakText("one two three\r\n\r\nfour", 8), (Lines{"one two ", "three", "", "four"}));
}

}  // namespace
