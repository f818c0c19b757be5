#include "FontLib.h"

#include "settings/FileIO.h"
#include "text/MyString.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr LibraryLayout kAscii{"MyASC.Fon", 'A', 0x00, 0x00, 0x00, 0x7F, nullptr, 0, 0};
// 啊 (B0 A1) and 是 (AC 4F) are the measured samples.
constexpr LibraryLayout kGb2312{"MyHZ.Fon", 'C', 0xA0, 0xFF, 0xA0, 0xFF, "GB2312", 0xB0, 0xA1};
constexpr LibraryLayout kBig5{"MyHZ.Fon", 'C', 0x80, 0xFF, 0x40, 0xFF, "BIG5", 0xAC, 0x4F};

std::string cellText(CellSize cell)
{
    return std::to_string(cell.width) + "x" + std::to_string(cell.height);
}

}  // namespace

const LibraryLayout &libraryLayout(LibraryKind kind, int32_t language)
{
    if (kind == LibraryKind::Ascii) return kAscii;
    return language == 1 ? kBig5 : kGb2312;
}

std::vector<char32_t> libraryCharacters(const LibraryLayout &layout)
{
    std::vector<char32_t> characters;
    characters.reserve(static_cast<std::size_t>(layout.ChCount()));
    if (!layout.encoding) {
        for (int code = layout.Start2V; code <= layout.End2V; ++code) characters.push_back(char32_t(code));
        return characters;
    }
    PairDecoder decoder(layout.encoding);
    for (int b1 = layout.Start1V; b1 <= layout.End1V; ++b1)
        for (int b2 = layout.Start2V; b2 <= layout.End2V; ++b2)
            characters.push_back(decoder.decode(uint8_t(b1), uint8_t(b2)).value_or(kNoCharacter));
    return characters;
}

CellSize chineseCell(CellSize sampleExtent)
{
    CellSize cell = sampleExtent;
    if (cell.height == cell.width + 1) cell.height = cell.width;
    return cell;
}

CellSize asciiCell(int widthOfW, int heightOfQW)
{
    CellSize cell{widthOfW, heightOfQW};
    if (cell.height == 2 * cell.width + 1) cell.height = 2 * cell.width;
    cell.width &= 0xFFE;
    cell.height &= 0xFFE;
    return cell;
}

int bytesPerColumn(int height) { return (height + 7) / 8; }

int recordBytes(CellSize cell) { return cell.width * bytesPerColumn(cell.height); }

std::string cellLimitError(CellSize cell)
{
    if (cell.width <= 0 || cell.height <= 0)
        return "字体点阵 " + cellText(cell) + " 无效: 宽和高都必须大于 0";
    if (cell.width > kMaxCellWidth)
        return "字体点阵 " + cellText(cell) + " 太宽: 宽度不能超过 " + std::to_string(kMaxCellWidth) + " 点";
    // Checked in 64 bits: a very tall cell must not overflow the product.
    const long long bytes = static_cast<long long>(cell.width) * ((cell.height + 7LL) / 8);
    if (bytes > kMaxRecordBytes)
        return "字体点阵 " + cellText(cell) + " 太大: 每字 " + std::to_string(bytes) +
               " 字节, 不能超过 " + std::to_string(kMaxRecordBytes) + " 字节";
    return {};
}

std::string libraryDescriptor(const LibraryLayout &layout, CellSize cell)
{
    std::array<char, 96> text{};
    int length = std::snprintf(text.data(), text.size(), "Fon\\%s,%d,%c,%d,%d", layout.fileName,
                               layout.ChCount(), layout.TypeCh, cell.width, cell.height);
    if (layout.encoding && length > 0 && length < int(text.size()))
        length += std::snprintf(text.data() + length, text.size() - std::size_t(length), ",%X,%X",
                                unsigned(layout.Start2V), unsigned(layout.Start1V));
    return std::string(text.data());
}

int GetFont(const PixelView &cell, bool b90, std::span<uint8_t> Buf)
{
    const int W = cell.width, H = cell.height, B = bytesPerColumn(H);
    if (W <= 0 || H <= 0 || std::size_t(W) * std::size_t(B) > Buf.size()) return 0;
    if (!b90) {
        // Eight scan lines make one byte of every column.
        for (int c = 0; c < B; ++c) {
            const int rows = std::min(8, H - 8 * c);
            std::array<const uint32_t *, 8> line{};
            for (int j = 0; j < rows; ++j) line[std::size_t(j)] = cell.row(8 * c + j);
            // Rows H .. 8B-1 lie below the cell and are stored lit.
            const uint8_t below = uint8_t(0xFFu >> rows);
            uint8_t *out = Buf.data() + c;
            for (int x = 0; x < W; ++x, out += B) {
                uint8_t byte = below;
                for (int j = 0; j < rows; ++j)
                    if (isLit(line[std::size_t(j)][x])) byte |= uint8_t(0x80u >> j);
                *out = byte;
            }
        }
        return W * B;
    }

    std::fill_n(Buf.begin(), W * B, uint8_t{0});
    // Output column x comes from cell row x, output row k from cell column H-1-k.
    for (int x = 0; x < W; ++x) {
        uint8_t *out = Buf.data() + x * B;
        if (x >= H) {
            std::fill_n(out, B, uint8_t{0xFF});
            continue;
        }
        const uint32_t *row = cell.row(x);
        for (int k = 0; k < 8 * B; ++k) {
            const int column = H - 1 - k;
            if (column < 0 || column >= W || isLit(row[column])) out[k >> 3] |= uint8_t(0x80u >> (k & 7));
        }
    }
    return W * B;
}

CellSize measureCell(GlyphRenderer &renderer, const LibraryLayout &layout)
{
    if (!layout.encoding) {
        const int widthOfW = renderer.textExtent(U"W").width;
        return asciiCell(widthOfW, renderer.textExtent(U"QW").height);
    }
    const char32_t sample = PairDecoder(layout.encoding).decode(layout.sample1, layout.sample2).value_or(kNoCharacter);
    return chineseCell(renderer.textExtent(std::u32string_view(&sample, 1)));
}

namespace {

// The cell of the library in the renderer's font, refused (error set) when
// the controller cannot take it.
FontLibResult measuredCell(GlyphRenderer &renderer, const LibraryLayout &layout)
{
    FontLibResult result;
    const CellSize cell = measureCell(renderer, layout);
    result.cellWidth = cell.width;
    result.cellHeight = cell.height;
    result.error = cellLimitError(cell);
    return result;
}

// Draws every code of the library in file order and hands each packed
// record to take, until take returns false.
void renderRecords(GlyphRenderer &renderer, const LibraryLayout &layout, CellSize cell, bool rotate,
                   const std::function<bool(std::span<const uint8_t>)> &take)
{
    const auto characters = libraryCharacters(layout);
    renderer.prepare(characters, cell);
    std::array<uint8_t, kMaxRecordBytes> Buf;
    for (std::size_t index = 0; index < characters.size(); ++index) {
        const int count = GetFont(renderer.renderGlyph(index), rotate, Buf);
        if (!take(std::span<const uint8_t>(Buf.data(), std::size_t(count)))) return;
    }
}

}  // namespace

FontLibResult writeLibrary(GlyphRenderer &renderer, LibraryKind kind, bool b90, int32_t language,
                           const std::string &progPath, const std::function<void()> &afterGlyph)
{
    const LibraryLayout &layout = libraryLayout(kind, language);
    FontLibResult result = measuredCell(renderer, layout);
    if (!result.error.empty()) return result;

    const std::string path = progPath + layout.fileName;
    std::string reason;
    FileHandle file = createRegularFile(path, &reason);
    if (!file) {
        result.error = "无法创建字库文件 " + reason;
        return result;
    }
    const CellSize cell{result.cellWidth, result.cellHeight};
    int writeErrno = 0;
    renderRecords(renderer, layout, cell, b90 && kind == LibraryKind::Chinese, [&](std::span<const uint8_t> record) {
        if (std::fwrite(record.data(), 1, record.size(), file.get()) != record.size()) {
            writeErrno = errno ? errno : EIO;
            return false;
        }
        if (afterGlyph) afterGlyph();
        return true;
    });
    // Buffered records reach the disk only here, so closing can fail too.
    if (std::fclose(file.release()) != 0 && !writeErrno) writeErrno = errno ? errno : EIO;
    if (writeErrno) {
        result.error = "写字库文件 " + path + " 失败: " + std::strerror(writeErrno);
        return result;
    }
    result.descriptor = libraryDescriptor(layout, cell);
    result.ok = true;
    return result;
}

FontLibResult renderLibrary(GlyphRenderer &renderer, LibraryKind kind, bool b90, int32_t language,
                            std::vector<uint8_t> &bytes)
{
    const LibraryLayout &layout = libraryLayout(kind, language);
    FontLibResult result = measuredCell(renderer, layout);
    if (!result.error.empty()) return result;
    const CellSize cell{result.cellWidth, result.cellHeight};
    bytes.clear();
    bytes.reserve(std::size_t(layout.ChCount()) * std::size_t(recordBytes(cell)));
    renderRecords(renderer, layout, cell, b90 && kind == LibraryKind::Chinese, [&](std::span<const uint8_t> record) {
        bytes.insert(bytes.end(), record.begin(), record.end());
        return true;
    });
    result.descriptor = libraryDescriptor(layout, cell);
    result.ok = true;
    return result;
}
