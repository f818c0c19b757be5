// An LED panel and the text a controller draws on it: which LEDs are lit, the
// font libraries as the controller holds them, and the way it lays text out
// in an area. The simulated controller draws its panel with this, and the
// preview draws what a display will show with the same code. No Qt here, so
// the lit LEDs can be checked bit by bit; QtPanelPicture turns a panel into a
// picture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A rectangle of LEDs; it may reach beyond the panel, drawing clips it.
struct PanelArea {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PanelArea &) const = default;
};

// Which LEDs of a width x height panel are lit.
class LedPanel {
public:
    LedPanel(int width = 0, int height = 0);

    int width() const { return mWidth; }
    int height() const { return mHeight; }
    bool lit(int x, int y) const;          // false outside the panel
    void set(int x, int y, bool on);       // ignored outside the panel
    void clear(const PanelArea &area);     // darkens the part inside the panel
    int litCount() const;
    bool operator==(const LedPanel &) const = default;

private:
    int mWidth;
    int mHeight;
    std::vector<uint8_t> mLeds;  // row by row, 1 for lit
};

// What a library descriptor ("Fon\MyHZ.Fon,9216,C,16,16,A0,A0") says about
// a library: where it is, how many records, its type ('A' ASCII, 'C'
// Chinese), its cell, and for a Chinese one the first byte values.
struct FontDescriptor {
    std::string path;  // controller path on the configuration's disk
    int count = 0;
    char type = 0;
    int width = 0;
    int height = 0;
    uint8_t start1 = 0;
    uint8_t start2 = 0;
};

// One font library file: ChCount glyph records of W x ceil(H / 8) bytes, pixel
// columns left to right, bit 7 the top row of each byte. An ASCII library holds
// codes 0..127; a Chinese one every pair start1..FF x start2..FF, the second
// byte varying fastest. A rotated library keeps each glyph turned a quarter
// turn counter-clockwise (record column x, row k is cell column H-1-k, row x);
// glyphPixel hands it back upright.
class FontLibrary {
public:
    // Nothing when the descriptor's sizes and the file disagree; error says why.
    static std::optional<FontLibrary> fromBytes(const FontDescriptor &descriptor, std::vector<uint8_t> bytes,
                                                bool rotated, std::string *error);

    int cellWidth() const { return mDescriptor.width; }
    int cellHeight() const { return mDescriptor.height; }
    // The record of a code, or nothing when the library does not hold it:
    // ASCII takes one byte below 0x80, Chinese a pair in its range.
    std::optional<int> recordOf(uint8_t first, uint8_t second = 0) const;
    // Whether the upright glyph of record has its pixel (x, y) lit; false outside the cell.
    bool glyphPixel(int record, int x, int y) const;

private:
    FontLibrary(FontDescriptor descriptor, std::vector<uint8_t> bytes, bool rotated);
    bool recordBit(int record, int column, int row) const;

    FontDescriptor mDescriptor;
    std::vector<uint8_t> mBytes;
    bool mRotated;
    int mBytesPerColumn;
};

// Draws text (ANSI code-page bytes) into area, which is darkened first: bytes
// below 0x80 from the ASCII library, a byte from 0x80 up together with the next
// one from the Chinese library (pairs it does not hold are skipped). Lines end
// at CR, LF or CR LF, and before a character that would not fit on the line;
// every line is as high as the taller cell. Drawing stops below the area: only
// the first screenful is shown.
void drawText(LedPanel &panel, const PanelArea &area, std::string_view text, const FontLibrary &ascii,
              const FontLibrary &chinese);
