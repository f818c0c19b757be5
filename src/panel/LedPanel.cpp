#include "panel/LedPanel.h"

#include <algorithm>
#include <utility>

LedPanel::LedPanel(int width, int height)
    : mWidth(std::max(width, 0)), mHeight(std::max(height, 0)),
      mLeds(static_cast<std::size_t>(mWidth) * static_cast<std::size_t>(mHeight), 0)
{
}

bool LedPanel::lit(int x, int y) const
{
    if (x < 0 || y < 0 || x >= mWidth || y >= mHeight) return false;
    return mLeds[static_cast<std::size_t>(y) * static_cast<std::size_t>(mWidth) + static_cast<std::size_t>(x)] != 0;
}

void LedPanel::set(int x, int y, bool on)
{
    if (x < 0 || y < 0 || x >= mWidth || y >= mHeight) return;
    mLeds[static_cast<std::size_t>(y) * static_cast<std::size_t>(mWidth) + static_cast<std::size_t>(x)] = on ? 1 : 0;
}

void LedPanel::clear(const PanelArea &area)
{
    const int right = std::min(mWidth, area.left + area.width);
    const int bottom = std::min(mHeight, area.top + area.height);
    for (int y = std::max(0, area.top); y < bottom; ++y)
        for (int x = std::max(0, area.left); x < right; ++x) set(x, y, false);
}

int LedPanel::litCount() const { return static_cast<int>(std::count(mLeds.begin(), mLeds.end(), 1)); }

FontLibrary::FontLibrary(FontDescriptor descriptor, std::vector<uint8_t> bytes, bool rotated)
    : mDescriptor(std::move(descriptor)), mBytes(std::move(bytes)), mRotated(rotated),
      mBytesPerColumn((mDescriptor.height + 7) / 8)
{
}

std::optional<FontLibrary> FontLibrary::fromBytes(const FontDescriptor &descriptor, std::vector<uint8_t> bytes,
                                                  bool rotated, std::string *error)
{
    const std::size_t expected = static_cast<std::size_t>(descriptor.count) *
                                 static_cast<std::size_t>(descriptor.width) *
                                 static_cast<std::size_t>((descriptor.height + 7) / 8);
    if (descriptor.count <= 0 || descriptor.width <= 0 || descriptor.height <= 0 || bytes.size() != expected) {
        if (error)
            *error = "font library " + descriptor.path + " holds " + std::to_string(bytes.size()) +
                     " bytes where its descriptor needs " + std::to_string(expected);
        return std::nullopt;
    }
    return FontLibrary(descriptor, std::move(bytes), rotated);
}

std::optional<int> FontLibrary::recordOf(uint8_t first, uint8_t second) const
{
    if (mDescriptor.type == 'A') return first < 0x80 ? std::optional<int>(first) : std::nullopt;
    if (first < mDescriptor.start1 || second < mDescriptor.start2) return std::nullopt;
    return (first - mDescriptor.start1) * (0x100 - mDescriptor.start2) + (second - mDescriptor.start2);
}

bool FontLibrary::recordBit(int record, int column, int row) const
{
    if (record < 0 || record >= mDescriptor.count || column < 0 || column >= mDescriptor.width || row < 0 ||
        row >= mBytesPerColumn * 8)
        return false;
    const std::size_t index = (static_cast<std::size_t>(record) * static_cast<std::size_t>(mDescriptor.width) +
                               static_cast<std::size_t>(column)) *
                                  static_cast<std::size_t>(mBytesPerColumn) +
                              static_cast<std::size_t>(row / 8);
    return (mBytes[index] >> (7 - row % 8)) & 1;
}

bool FontLibrary::glyphPixel(int record, int x, int y) const
{
    const int width = mDescriptor.width;
    const int height = mDescriptor.height;
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    if (!mRotated) return recordBit(record, x, y);
    // Stored turned counter-clockwise: cell (x, y) sits at record column y, row H-1-x.
    return recordBit(record, y, height - 1 - x);
}

void drawText(LedPanel &panel, const PanelArea &area, std::string_view text, const FontLibrary &ascii,
              const FontLibrary &chinese)
{
    panel.clear(area);
    const int lineHeight = std::max(ascii.cellHeight(), chinese.cellHeight());
    const auto inArea = [&](int x, int y) { return x < area.width && y < area.height; };
    int x = 0;
    int y = 0;
    const auto newLine = [&] {
        x = 0;
        y += lineHeight;
    };
    for (std::size_t i = 0; i < text.size() && y < area.height; ++i) {
        const auto byte = static_cast<uint8_t>(text[i]);
        if (byte == '\r' || byte == '\n') {
            if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            newLine();
            continue;
        }
        const FontLibrary *library = &ascii;
        std::optional<int> record;
        if (byte < 0x80) {
            record = ascii.recordOf(byte);
        } else {
            if (i + 1 >= text.size()) break;
            library = &chinese;
            record = chinese.recordOf(byte, static_cast<uint8_t>(text[++i]));
        }
        if (!record) continue;
        const int width = library->cellWidth();
        // A character wider than the whole area still gets a line of its own.
        if (x > 0 && x + width > area.width) newLine();
        if (y >= area.height) break;
        for (int gy = 0; gy < library->cellHeight(); ++gy)
            for (int gx = 0; gx < width; ++gx)
                if (inArea(x + gx, y + gy) && library->glyphPixel(*record, gx, gy))
                    panel.set(area.left + x + gx, area.top + y + gy, true);
        x += width;
    }
}

