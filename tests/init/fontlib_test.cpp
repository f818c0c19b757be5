#include "init/FontLib.h"

#include "TempDir.h"
#ifndef _WIN32
#include "../faults/FaultHelpers.h"
#endif

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

namespace {

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kRed = 0xFFFF0000u;

// A cell of 32-bit pixels with a padded stride, like a real image.
struct Cell {
    int width, height, stride;
    std::vector<uint32_t> pixels;

    Cell(int w, int h) : width(w), height(h), stride(w + 3), pixels(std::size_t(stride * h), kBlack) {}
    void light(int x, int y, uint32_t colour = kRed) { pixels[std::size_t(y * stride + x)] = colour; }
    PixelView view() const
    {
        return {reinterpret_cast<const unsigned char *>(pixels.data()), std::ptrdiff_t(stride * 4), width, height};
    }
};

std::vector<uint8_t> pack(const Cell &cell, bool b90)
{
    std::array<uint8_t, kMaxRecordBytes> buf;
    buf.fill(0xAA);
    const int count = GetFont(cell.view(), b90, buf);
    return {buf.begin(), buf.begin() + count};
}

TEST(GetFont, ColumnsLeftToRightBytesTopToBottomBit7Uppermost)
{
    Cell cell(16, 16);
    cell.light(3, 2);
    cell.light(5, 9);
    std::vector<uint8_t> expected(32, 0);
    expected[3 * 2 + 0] = 0x20;
    expected[5 * 2 + 1] = 0x40;
    EXPECT_EQ(pack(cell, false), expected);
}

TEST(GetFont, RowsBelowATwelveRowCellAreLit)
{
    Cell cell(4, 12);
    cell.light(1, 11);
    std::vector<uint8_t> expected{0x00, 0x0F, 0x00, 0x1F, 0x00, 0x0F, 0x00, 0x0F};
    EXPECT_EQ(pack(cell, false), expected);
}

TEST(GetFont, NonSquareCellKeepsItsWidthAndHeight)
{
    Cell cell(6, 10);
    cell.light(5, 9);
    cell.light(0, 0);
    std::vector<uint8_t> expected{0x80, 0x3F, 0, 0x3F, 0, 0x3F, 0, 0x3F, 0, 0x3F, 0x00, 0x7F};
    EXPECT_EQ(pack(cell, false), expected);
}

TEST(GetFont, AnythingButExactBlackIsLit)
{
    Cell cell(1, 8);
    cell.light(0, 0, 0xFF000001u);  // a fringe pixel barely off black
    cell.light(0, 1, 0x00000000u);  // black, whatever the alpha
    cell.light(0, 2, 0x00010000u);
    EXPECT_EQ(pack(cell, false), std::vector<uint8_t>{0xA0});
}

TEST(GetFont, RotatedTopRightCornerLandsInColumnZeroRowZero)
{
    Cell cell(16, 16);
    cell.light(15, 0);
    std::vector<uint8_t> expected(32, 0);
    expected[0] = 0x80;
    EXPECT_EQ(pack(cell, true), expected);

    Cell topLeft(16, 16);
    topLeft.light(0, 0);
    expected[0] = 0x00;
    expected[1] = 0x01;  // the left edge ends up along the bottom
    EXPECT_EQ(pack(topLeft, true), expected);
}

TEST(GetFont, RotatedTallCellLightsColumnsOutsideTheCell)
{
    // 8 x 12: record rows 0..3 come from cell columns 11..8 and rows 12..15
    // from columns -1..-4, all outside the cell.
    Cell cell(8, 12);
    cell.light(7, 0);
    std::vector<uint8_t> expected;
    for (int x = 0; x < 8; ++x) {
        expected.push_back(x == 0 ? 0xF8 : 0xF0);
        expected.push_back(0x0F);
    }
    EXPECT_EQ(pack(cell, true), expected);
}

TEST(GetFont, RotatedWideCellLightsColumnsBeyondItsHeight)
{
    Cell cell(10, 8);
    cell.light(0, 7);  // record column 7, row 7
    std::vector<uint8_t> expected(10, 0);
    expected[7] = 0x01;
    expected[8] = expected[9] = 0xFF;
    EXPECT_EQ(pack(cell, true), expected);
}

TEST(GetFont, RefusesABufferTooSmall)
{
    Cell cell(16, 16);
    std::array<uint8_t, 31> small{};
    EXPECT_EQ(GetFont(cell.view(), false, small), 0);
    EXPECT_EQ(GetFont(PixelView{}, false, small), 0);
}

TEST(CellRules, Chinese)
{
    struct Case { CellSize extent, cell; int bytes; };
    for (const Case &c : std::vector<Case>{
             {{16, 16}, {16, 16}, 2}, {{16, 17}, {16, 16}, 2}, {{16, 18}, {16, 18}, 3},
             {{12, 13}, {12, 12}, 2}, {{24, 26}, {24, 26}, 4}}) {
        EXPECT_EQ(chineseCell(c.extent), c.cell) << c.extent.width << "x" << c.extent.height;
        EXPECT_EQ(bytesPerColumn(c.cell.height), c.bytes);
    }
}

TEST(CellRules, AsciiIsEvenAndAtMostTwiceAsHighAsWide)
{
    struct Case { int widthOfW, heightOfQW; CellSize cell; };
    for (const Case &c : std::vector<Case>{
             {8, 16, {8, 16}}, {8, 17, {8, 16}}, {7, 16, {6, 16}}, {7, 15, {6, 14}}, {6, 12, {6, 12}},
             {9, 19, {8, 18}}, {1, 3, {0, 2}}})
        EXPECT_EQ(asciiCell(c.widthOfW, c.heightOfQW), c.cell) << c.widthOfW << "," << c.heightOfQW;
}

TEST(CellRules, Limits)
{
    struct Case { CellSize cell; const char *mentions; };
    for (const Case &c : std::vector<Case>{
             {{16, 16}, nullptr}, {{256, 128}, nullptr}, {{178, 178}, nullptr}, {{1, 32768}, nullptr},
             {{0, 16}, "0x16"}, {{16, 0}, "16x0"}, {{257, 8}, "256"}, {{256, 129}, "4096"},
             {{179, 179}, "179x179"}, {{1, 32769}, "4096"}, {{-2, 16}, "-2x16"}}) {
        const std::string error = cellLimitError(c.cell);
        if (!c.mentions) {
            EXPECT_EQ(error, "") << c.cell.width << "x" << c.cell.height;
            continue;
        }
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
        const std::string size = std::to_string(c.cell.width) + "x" + std::to_string(c.cell.height);
        EXPECT_NE(error.find(size), std::string::npos) << error;
    }
}

TEST(Layouts, RangesCountsAndDescriptors)
{
    const LibraryLayout &ascii = libraryLayout(LibraryKind::Ascii, 1);
    const LibraryLayout &gb = libraryLayout(LibraryKind::Chinese, 0);
    const LibraryLayout &big5 = libraryLayout(LibraryKind::Chinese, 1);
    EXPECT_EQ(ascii.ChCount(), 128);
    EXPECT_EQ(gb.ChCount(), 9216);
    EXPECT_EQ(big5.ChCount(), 24576);
    for (int32_t language : {0, 2, 4, 5, 15}) EXPECT_EQ(&libraryLayout(LibraryKind::Chinese, language), &gb);

    EXPECT_EQ(libraryDescriptor(gb, {16, 16}), "Fon\\MyHZ.Fon,9216,C,16,16,A0,A0");
    EXPECT_EQ(libraryDescriptor(big5, {16, 16}), "Fon\\MyHZ.Fon,24576,C,16,16,40,80");
    EXPECT_EQ(libraryDescriptor(big5, {24, 26}), "Fon\\MyHZ.Fon,24576,C,24,26,40,80");
    EXPECT_EQ(libraryDescriptor(ascii, {8, 16}), "Fon\\MyASC.Fon,128,A,8,16");

    EXPECT_EQ(gb.recordIndex(0xA0, 0xA0), 0);
    EXPECT_EQ(gb.recordIndex(0xB0, 0xA1), 16 * 96 + 1);
    EXPECT_EQ(big5.recordIndex(0x80, 0x40), 0);
    EXPECT_EQ(big5.recordIndex(0xAC, 0x4F), 44 * 192 + 15);
}

TEST(Layouts, CharactersOfEveryRecord)
{
    const LibraryLayout &gb = libraryLayout(LibraryKind::Chinese, 0);
    const LibraryLayout &big5 = libraryLayout(LibraryKind::Chinese, 1);
    const auto ascii = libraryCharacters(libraryLayout(LibraryKind::Ascii, 0));
    ASSERT_EQ(ascii.size(), 128u);
    for (std::size_t code = 0; code < ascii.size(); ++code) EXPECT_EQ(ascii[code], char32_t(code));

    const auto gbChars = libraryCharacters(gb);
    ASSERT_EQ(gbChars.size(), 9216u);
    struct Case { const LibraryLayout &layout; const std::vector<char32_t> &chars; uint8_t b1, b2; char32_t expected; };
    const auto big5Chars = libraryCharacters(big5);
    ASSERT_EQ(big5Chars.size(), 24576u);
    for (const Case &c : std::vector<Case>{
             {gb, gbChars, 0xB0, 0xA1, U'啊'}, {gb, gbChars, 0xA1, 0xA1, U'\u3000'},
             {gb, gbChars, 0xF7, 0xFE, U'齄'}, {gb, gbChars, 0xA0, 0xA0, kNoCharacter},
             {gb, gbChars, 0xB0, 0xFF, kNoCharacter}, {gb, gbChars, 0xAA, 0xA1, kNoCharacter},
             {gb, gbChars, 0xFF, 0xFF, kNoCharacter}, {big5, big5Chars, 0x80, 0x40, kNoCharacter},
             {big5, big5Chars, 0xA4, 0x40, U'一'}, {big5, big5Chars, 0xAC, 0x4F, U'是'},
             {big5, big5Chars, 0xA4, 0x7F, kNoCharacter}, {big5, big5Chars, 0xFF, 0xFF, kNoCharacter}})
        EXPECT_EQ(uint32_t(c.chars[std::size_t(c.layout.recordIndex(c.b1, c.b2))]), uint32_t(c.expected))
            << std::hex << int(c.b1) << int(c.b2);
}

// Draws each glyph as its record number in binary along the top row, so the
// file shows which glyph went where.
class FakeRenderer : public GlyphRenderer {
public:
    std::map<std::u32string, CellSize> extents;
    std::vector<std::u32string> measured;
    std::vector<char32_t> characters;
    CellSize cell;
    std::size_t rendered = 0;

    CellSize textExtent(std::u32string_view text) override
    {
        measured.emplace_back(text);
        auto found = extents.find(std::u32string(text));
        return found == extents.end() ? CellSize{} : found->second;
    }
    void prepare(const std::vector<char32_t> &chars, CellSize size) override
    {
        characters = chars;
        cell = size;
        mPixels.assign(std::size_t(size.width * size.height), kBlack);
    }
    PixelView renderGlyph(std::size_t index) override
    {
        ++rendered;
        std::fill(mPixels.begin(), mPixels.end(), kBlack);
        for (int x = 0; x < cell.width && x < 16; ++x)
            if (index >> x & 1) mPixels[std::size_t(x)] = kRed;
        return {reinterpret_cast<const unsigned char *>(mPixels.data()), std::ptrdiff_t(cell.width * 4),
                cell.width, cell.height};
    }

private:
    std::vector<uint32_t> mPixels;
};

// The record number written along the top row of a 16-row record.
std::size_t topRowNumber(const std::string &file, std::size_t record, CellSize cell)
{
    const std::size_t size = std::size_t(recordBytes(cell)), bytes = std::size_t(bytesPerColumn(cell.height));
    std::size_t number = 0;
    for (int x = 0; x < cell.width && x < 16; ++x)
        if (uint8_t(file[record * size + std::size_t(x) * bytes]) & 0x80) number |= std::size_t(1) << x;
    return number;
}

struct Generation {
    FakeRenderer renderer;
    TempDir dir;
    int glyphSteps = 0;

    FontLibResult run(LibraryKind kind, bool b90, int32_t language)
    {
        return writeLibrary(renderer, kind, b90, language, dir.path(), [this] { ++glyphSteps; });
    }
};

TEST(WriteLibrary, ChineseLibrariesInCodeOrder)
{
    struct Case { int32_t language; std::u32string sample; std::size_t fileSize; const char *descriptor; };
    for (const Case &c : std::vector<Case>{
             {0, U"啊", 294912, "Fon\\MyHZ.Fon,9216,C,16,16,A0,A0"},
             {1, U"是", 786432, "Fon\\MyHZ.Fon,24576,C,16,16,40,80"}}) {
        Generation gen;
        gen.renderer.extents[c.sample] = {16, 17};
        const FontLibResult result = gen.run(LibraryKind::Chinese, false, c.language);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.descriptor, c.descriptor);
        EXPECT_EQ(result.cellWidth, 16);
        EXPECT_EQ(result.cellHeight, 16);
        EXPECT_EQ(gen.renderer.measured, std::vector<std::u32string>{c.sample});

        const std::string file = gen.dir.read("MyHZ.Fon");
        ASSERT_EQ(file.size(), c.fileSize);
        const std::size_t count = c.fileSize / 32;
        EXPECT_EQ(gen.glyphSteps, int(count));
        EXPECT_EQ(gen.renderer.rendered, count);
        EXPECT_EQ(gen.renderer.characters, libraryCharacters(libraryLayout(LibraryKind::Chinese, c.language)));
        for (std::size_t record : {std::size_t(0), std::size_t(1), std::size_t(4097), count - 1})
            EXPECT_EQ(topRowNumber(file, record, {16, 16}), record);
    }
}

TEST(WriteLibrary, AsciiLibraryIsNeverRotated)
{
    Generation gen;
    gen.renderer.extents[U"W"] = {9, 20};
    gen.renderer.extents[U"QW"] = {18, 17};
    const FontLibResult result = gen.run(LibraryKind::Ascii, true, 0);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.descriptor, "Fon\\MyASC.Fon,128,A,8,16");
    EXPECT_EQ(gen.renderer.measured, (std::vector<std::u32string>{U"W", U"QW"}));
    const std::string file = gen.dir.read("MyASC.Fon");
    ASSERT_EQ(file.size(), 2048u);
    EXPECT_EQ(gen.glyphSteps, 128);
    for (std::size_t record : {0, 65, 127}) EXPECT_EQ(topRowNumber(file, record, {8, 16}), record);
}

TEST(WriteLibrary, RotatedChineseRecordsAreTurned)
{
    Generation gen;
    gen.renderer.extents[U"啊"] = {16, 16};
    ASSERT_TRUE(gen.run(LibraryKind::Chinese, true, 0).ok);
    const std::string file = gen.dir.read("MyHZ.Fon");
    ASSERT_EQ(file.size(), 294912u);
    // Record 1 has only the top-left pixel lit: column 0, lowest row.
    const std::string record(file, 32, 32);
    std::string expected(32, '\0');
    expected[1] = '\x01';
    EXPECT_EQ(record, expected);
}

TEST(WriteLibrary, RefusesCellsOutsideTheLimitsBeforeWriting)
{
    struct Case { LibraryKind kind; std::u32string text; CellSize extent; };
    for (const Case &c : std::vector<Case>{{LibraryKind::Chinese, U"啊", {200, 200}},
                                           {LibraryKind::Chinese, U"啊", {0, 0}},
                                           {LibraryKind::Ascii, U"W", {1, 16}}}) {
        Generation gen;
        gen.renderer.extents[c.text] = c.extent;
        gen.renderer.extents[U"QW"] = {2, 16};
        const FontLibResult result = gen.run(c.kind, false, 0);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.descriptor, "");
        EXPECT_NE(result.error, "");
        EXPECT_EQ(gen.renderer.rendered, 0u);
        EXPECT_EQ(gen.glyphSteps, 0);
        EXPECT_TRUE(std::filesystem::is_empty(gen.dir.path()));
    }
}

TEST(WriteLibrary, UncreatableFileGivesAnEmptyDescriptorAndRendersNothing)
{
    Generation gen;
    gen.renderer.extents[U"啊"] = {16, 16};
    const std::string missing = gen.dir.path() + "missing/";
    const FontLibResult result = writeLibrary(gen.renderer, LibraryKind::Chinese, false, 0, missing, {});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.descriptor, "");
    EXPECT_NE(result.error.find(missing + "MyHZ.Fon"), std::string::npos) << result.error;
    EXPECT_EQ(gen.renderer.rendered, 0u);
}

// A device in the library's place and a disk that fills up need what only
// POSIX systems have (/dev/full, RLIMIT_FSIZE).
#ifndef _WIN32
TEST(WriteLibrary, ADeviceInItsPlaceIsRefusedBeforeRendering)
{
    Generation gen;
    gen.renderer.extents[U"啊"] = {16, 16};
    std::filesystem::create_symlink("/dev/full", gen.dir.file("MyHZ.Fon"));
    const FontLibResult result = gen.run(LibraryKind::Chinese, false, 0);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(gen.dir.file("MyHZ.Fon") + ": not a regular file"), std::string::npos) << result.error;
    EXPECT_EQ(gen.renderer.rendered, 0u);
}

TEST(WriteLibrary, WriteErrorEndsTheRunNamingFileAndReason)
{
    Generation gen;
    gen.renderer.extents[U"啊"] = {16, 16};
    FontLibResult result;
    {
        // The disk fills after 8 KiB: the writes stop with an error part-way.
        DiskFillsAt full(8192);
        result = gen.run(LibraryKind::Chinese, false, 0);
    }
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.descriptor, "");
    EXPECT_NE(result.error.find(gen.dir.file("MyHZ.Fon")), std::string::npos) << result.error;
    EXPECT_NE(result.error.find(std::strerror(EFBIG)), std::string::npos) << result.error;
    EXPECT_LT(gen.glyphSteps, 9216);
}
#endif

}  // namespace
