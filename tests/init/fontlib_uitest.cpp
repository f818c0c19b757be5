#include "init/QtFontLib.h"

#include "QtTestApp.h"
#include "TempDir.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <filesystem>

namespace {

const QString kUming = QStringLiteral("AR PL UMing CN");

// One library written by writeFontLibrary, with what it left behind.
struct Generated {
    FontLibResult result;
    std::string file;
    QImage bmp;
    int glyphSteps = 0;
};

class FontLibUi : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        qtTestApp();
        // The project installs a fontconfig alias; without it, point Qt at the same face.
        if (QFontInfo(QFont(QStringLiteral("宋体"))).family() != kUming)
            QFont::insertSubstitution(QStringLiteral("宋体"), kUming);
    }

    static QFont uming(int points, bool bold = false)
    {
        QFont font(kUming, points);
        font.setBold(bold);
        return font;
    }

    Generated generate(const QFont &font, bool chinese, bool rotate90 = false, int32_t language = 0)
    {
        Generated run;
        run.result = writeFontLibrary(font, chinese, rotate90, language, mDir.path(), run.bmp,
                                      [&run] { ++run.glyphSteps; });
        run.file = mDir.read(chinese ? "MyHZ.Fon" : "MyASC.Fon");
        return run;
    }

    TempDir mDir;
};

std::string recordOf(const Generated &run, int index)
{
    const std::size_t size = std::size_t(recordBytes({run.result.cellWidth, run.result.cellHeight}));
    return run.file.substr(std::size_t(index) * size, size);
}

int litBits(const std::string &record)
{
    int count = 0;
    for (unsigned char byte : record) count += std::popcount(byte);
    return count;
}

int expectedPixels(int points)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return qRound(points * (screen ? screen->logicalDotsPerInchY() : 96.0) / 72.0);
}

TEST_F(FontLibUi, FontsAreSizedInPixelsAndAsciiIsPlainSongti)
{
    EXPECT_EQ(renderingFont(uming(12)).pixelSize(), expectedPixels(12));
    QFont pixelSized(kUming);
    pixelSized.setPixelSize(20);
    EXPECT_EQ(renderingFont(pixelSized).pixelSize(), 20);

    QFont fancy = uming(12, true);
    fancy.setItalic(true);
    fancy.setStyleName(QStringLiteral("Bold Italic"));
    const QFont ascii = libraryFont(fancy, LibraryKind::Ascii);
    EXPECT_EQ(ascii.family(), QStringLiteral("宋体"));
    EXPECT_FALSE(ascii.bold());
    EXPECT_FALSE(ascii.italic());
    EXPECT_TRUE(ascii.styleName().isEmpty());
    EXPECT_EQ(ascii.pixelSize(), expectedPixels(12));
    EXPECT_TRUE(libraryFont(fancy, LibraryKind::Chinese).bold());
}

TEST_F(FontLibUi, SampleSizeForTheLabel)
{
    const int pixels = expectedPixels(12);
    EXPECT_EQ(measureChineseSample(uming(12)), QSize(pixels, pixels));
}

TEST_F(FontLibUi, ChineseLibraryIsReproducibleWithRealGlyphs)
{
    const Generated first = generate(uming(12), true);
    ASSERT_TRUE(first.result.ok) << first.result.error;
    const int side = expectedPixels(12);
    const CellSize cell{side, side};
    EXPECT_EQ(first.result.descriptor, libraryDescriptor(libraryLayout(LibraryKind::Chinese, 0), cell));
    EXPECT_EQ(first.file.size(), 9216u * std::size_t(recordBytes(cell)));
    EXPECT_EQ(first.glyphSteps, 9216);
    EXPECT_EQ(first.bmp.size(), QSize(side, side));

    const Generated second = generate(uming(12), true);
    EXPECT_TRUE(first.file == second.file);

    const LibraryLayout &gb = libraryLayout(LibraryKind::Chinese, 0);
    const int lit = litBits(recordOf(first, gb.recordIndex(0xB0, 0xA1)));
    EXPECT_GT(lit, side * side / 10);
    EXPECT_LT(lit, side * side / 2);
    EXPECT_EQ(litBits(recordOf(first, gb.recordIndex(0xA0, 0xA0))), 0);  // encodes nothing
    EXPECT_EQ(litBits(recordOf(first, gb.recordIndex(0xA1, 0xA1))), 0);  // ideographic space
}

TEST_F(FontLibUi, RotatedRecordsAreTheUprightOnesTurned)
{
    const Generated upright = generate(uming(12), true);
    const Generated turned = generate(uming(12), true, true);
    ASSERT_TRUE(upright.result.ok && turned.result.ok);
    EXPECT_EQ(turned.result.descriptor, upright.result.descriptor);
    const int side = upright.result.cellWidth, bytes = bytesPerColumn(side);
    ASSERT_EQ(side % 8, 0);
    const int index = libraryLayout(LibraryKind::Chinese, 0).recordIndex(0xB0, 0xA1);
    const std::string a = recordOf(upright, index), b = recordOf(turned, index);
    auto bit = [bytes](const std::string &record, int column, int row) {
        return (uint8_t(record[std::size_t(column * bytes + row / 8)]) >> (7 - row % 8)) & 1;
    };
    for (int x = 0; x < side; ++x)
        for (int k = 0; k < side; ++k) ASSERT_EQ(bit(b, x, k), bit(a, side - 1 - k, x)) << x << "," << k;
}

TEST_F(FontLibUi, Big5LibraryStartsAt8040AndHoldsItsCharacters)
{
    const Generated big5 = generate(uming(12), true, false, 1);
    ASSERT_TRUE(big5.result.ok) << big5.result.error;
    EXPECT_EQ(big5.glyphSteps, 24576);
    EXPECT_EQ(big5.result.descriptor.substr(big5.result.descriptor.size() - 6), ",40,80");
    EXPECT_EQ(litBits(recordOf(big5, 0)), 0);  // 0x80 0x40 encodes nothing

    const Generated gb = generate(uming(12), true, false, 0);
    ASSERT_EQ(gb.result.cellWidth, big5.result.cellWidth);
    ASSERT_EQ(gb.result.cellHeight, big5.result.cellHeight);
    // 是 is AC 4F in Big5 and CA C7 in GB2312: the same glyph either way.
    const std::string shi = recordOf(big5, libraryLayout(LibraryKind::Chinese, 1).recordIndex(0xAC, 0x4F));
    EXPECT_GT(litBits(shi), 0);
    EXPECT_EQ(shi, recordOf(gb, libraryLayout(LibraryKind::Chinese, 0).recordIndex(0xCA, 0xC7)));
}

TEST_F(FontLibUi, BoldAppliesToTheChineseLibraryOnly)
{
    const Generated plainAscii = generate(uming(12), false);
    const Generated boldAscii = generate(uming(12, true), false);
    ASSERT_TRUE(plainAscii.result.ok) << plainAscii.result.error;
    const CellSize asciiCell{expectedPixels(12) / 2, expectedPixels(12)};
    EXPECT_EQ(plainAscii.result.descriptor, libraryDescriptor(libraryLayout(LibraryKind::Ascii, 0), asciiCell));
    EXPECT_EQ(plainAscii.file.size(), 128u * std::size_t(recordBytes(asciiCell)));
    EXPECT_EQ(plainAscii.bmp.size(), QSize(asciiCell.width, asciiCell.height));
    EXPECT_GT(litBits(recordOf(plainAscii, 'W')), 0);
    EXPECT_TRUE(plainAscii.file == boldAscii.file);

    const Generated plain = generate(uming(12), true);
    const Generated bold = generate(uming(12, true), true);
    const int index = libraryLayout(LibraryKind::Chinese, 0).recordIndex(0xB0, 0xA1);
    EXPECT_GT(litBits(recordOf(bold, index)), litBits(recordOf(plain, index)));
}

TEST_F(FontLibUi, CharactersMissingFromTheFaceComeFromAFallbackFont)
{
    const QFont latin(QStringLiteral("DejaVu Sans"), 12);
    if (QFontInfo(latin).family() != latin.family()) GTEST_SKIP() << "DejaVu Sans is not installed";
    const Generated run = generate(latin, true);
    ASSERT_TRUE(run.result.ok) << run.result.error;
    EXPECT_GT(litBits(recordOf(run, libraryLayout(LibraryKind::Chinese, 0).recordIndex(0xB0, 0xA1))), 0);
}

TEST_F(FontLibUi, OversizedFontsAreRefusedBeforeAnythingIsWritten)
{
    EXPECT_EQ(checkFontLibraries(uming(12), 0), "");
    const QFont huge = uming(200);
    const auto namesALimit = [](const std::string &error) {
        return error.find(std::to_string(kMaxCellWidth)) != std::string::npos ||
               error.find(std::to_string(kMaxRecordBytes)) != std::string::npos;
    };
    const std::string error = checkFontLibraries(huge, 0);
    EXPECT_TRUE(namesALimit(error)) << error;

    QImage bmp(5, 7, QImage::Format_RGB32);
    for (bool chinese : {false, true}) {
        const FontLibResult result = writeFontLibrary(huge, chinese, false, 0, mDir.path(), bmp, {});
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.descriptor, "");
        EXPECT_TRUE(namesALimit(result.error)) << result.error;
        const std::string cell = std::to_string(result.cellWidth) + "x" + std::to_string(result.cellHeight);
        EXPECT_NE(result.error.find(cell), std::string::npos) << result.error;
    }
    EXPECT_TRUE(std::filesystem::is_empty(mDir.path()));
    EXPECT_EQ(bmp.size(), QSize(5, 7));
}

TEST_F(FontLibUi, PackGlyphReadsAnyImageFormat)
{
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied,
                                  QImage::Format_RGB888, QImage::Format_Grayscale8}) {
        QImage image(16, 16, format);
        image.fill(Qt::black);
        image.setPixelColor(15, 0, Qt::red);
        std::array<uint8_t, kMaxRecordBytes> buf{};
        ASSERT_EQ(packGlyph(image, true, buf), 32) << format;
        EXPECT_EQ(buf[0], 0x80) << format;
        EXPECT_EQ(litBits(std::string(buf.begin(), buf.begin() + 32)), 1) << format;
    }
    std::array<uint8_t, kMaxRecordBytes> buf{};
    EXPECT_EQ(packGlyph(QImage(), false, buf), 0);
}

}  // namespace
