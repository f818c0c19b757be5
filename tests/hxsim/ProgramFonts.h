// Font libraries made by the program's own font code ("宋体", 12 points: an
// 8 x 16 ASCII cell, a 16 x 16 GB2312 cell), written once per test run, and
// the bits a panel must show for them, read straight from the files.
#pragma once

#include "InitialRun.h"
#include "Panel.h"
#include "QtFontLib.h"
#include "QtTestApp.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QImage>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct ProgramFonts {
    TempDir folder;  // MyASC.Fon, MyHZ.Fon and Config.qv
    std::vector<uint8_t> ascii;
    std::vector<uint8_t> chinese;
    int asciiWidth = 0, asciiHeight = 0, chineseWidth = 0, chineseHeight = 0;

    // Copies the libraries and Config.qv where a controller of type 0 keeps them.
    void installOn(const std::string &diskRoot) const
    {
        namespace fs = std::filesystem;
        fs::create_directories(diskRoot + "/A/Fon");
        fs::copy_file(folder.file("MyASC.Fon"), diskRoot + "/A/Fon/MyASC.Fon", fs::copy_options::overwrite_existing);
        fs::copy_file(folder.file("MyHZ.Fon"), diskRoot + "/A/Fon/MyHZ.Fon", fs::copy_options::overwrite_existing);
        fs::copy_file(folder.file("Config.qv"), diskRoot + "/A/Config.qv", fs::copy_options::overwrite_existing);
    }

    // Lights the upright glyph of record (ASCII or GB2312) at (atX, atY), as the unrotated file holds it.
    void placeGlyph(LedPanel &panel, bool fromChinese, int record, int atX, int atY) const
    {
        const auto &bytes = fromChinese ? chinese : ascii;
        const int width = fromChinese ? chineseWidth : asciiWidth;
        const int height = fromChinese ? chineseHeight : asciiHeight;
        const int perColumn = (height + 7) / 8;
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y) {
                const auto byte = bytes.at(static_cast<std::size_t>((record * width + x) * perColumn + y / 8));
                if ((byte >> (7 - y % 8)) & 1) panel.set(atX + x, atY + y, true);
            }
    }
};

inline std::vector<uint8_t> readBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// rotated: the Chinese library in the "竖排" layout.
inline const ProgramFonts &programFonts(bool rotated)
{
    static ProgramFonts fonts[2];
    ProgramFonts &made = fonts[rotated ? 1 : 0];
    if (!made.ascii.empty()) return made;
    qtTestApp();
    QFont font(QStringLiteral("宋体"));
    font.setPointSize(12);
    QImage bitmap;
    const auto none = [] {};
    const std::string progPath = made.folder.path();
    const FontLibResult ascii = writeFontLibrary(font, false, false, 0, progPath, bitmap, none);
    const FontLibResult chinese = writeFontLibrary(font, true, rotated, 0, progPath, bitmap, none);
    EXPECT_TRUE(ascii.ok && chinese.ok) << ascii.error << chinese.error;
    EXPECT_TRUE(writeConfigFile(progPath, ascii.descriptor, chinese.descriptor, nullptr));
    made.ascii = readBytes(made.folder.file("MyASC.Fon"));
    made.chinese = readBytes(made.folder.file("MyHZ.Fon"));
    made.asciiWidth = ascii.cellWidth;
    made.asciiHeight = ascii.cellHeight;
    made.chineseWidth = chinese.cellWidth;
    made.chineseHeight = chinese.cellHeight;
    return made;
}

// GB2312 啊 (B0 A1) in a library starting at A0 A0.
inline constexpr int kRecordOfAh = (0xB0 - 0xA0) * 96 + (0xA1 - 0xA0);
