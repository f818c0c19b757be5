// Font libraries for the controller: which codes they hold, how big a cell is,
// how a rendered cell becomes a glyph record, and the loop that writes a
// library file. Drawing is left to a GlyphRenderer, so all of this runs and is
// tested without a font system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class LibraryKind { Ascii, Chinese };

// The codes one library holds: first byte Start1V..End1V, second byte
// Start2V..End2V, the second byte varying fastest in the file.
struct LibraryLayout {
    const char *fileName;   // "MyASC.Fon" or "MyHZ.Fon"
    char TypeCh;            // 'A' or 'C'
    uint8_t Start1V, End1V, Start2V, End2V;
    const char *encoding;   // the double-byte coding ("GB2312", "BIG5"), nullptr for ASCII
    uint8_t sample1, sample2;  // the code measured for a Chinese cell

    int ChCount() const { return (End1V - Start1V + 1) * (End2V - Start2V + 1); }
    // Record number of a byte pair inside the range.
    int recordIndex(uint8_t b1, uint8_t b2) const
    {
        return (b1 - Start1V) * (End2V - Start2V + 1) + (b2 - Start2V);
    }
};

// ASCII; GB2312 (A0..FF x A0..FF), or Big5 (80..FF x 40..FF) when language is 1.
const LibraryLayout &libraryLayout(LibraryKind kind, int32_t language);

// Marks a code that encodes no character; its cell stays blank.
inline constexpr char32_t kNoCharacter = 0xFFFFFFFF;

// The character of every record in file order (ASCII: code n is U+00nn, control
// codes included), decoded with one set-up for the whole library.
std::vector<char32_t> libraryCharacters(const LibraryLayout &layout);

struct CellSize {
    int width = 0;
    int height = 0;
    bool operator==(const CellSize &) const = default;
};

// Chinese cell from the text extent of the sample character: a height one more
// than the width is taken as square.
CellSize chineseCell(CellSize sampleExtent);
// ASCII cell from the width of "W" and the height of "QW": a height of 2W + 1 is
// taken as 2W, then both sides are rounded down to even.
CellSize asciiCell(int widthOfW, int heightOfQW);

// Bytes per pixel column, B = ceil(H / 8).
int bytesPerColumn(int height);
// Size of one glyph record, W x B.
int recordBytes(CellSize cell);

inline constexpr int kMaxRecordBytes = 4096;
inline constexpr int kMaxCellWidth = 256;
// Why the controller cannot take cells of this size, or "" when it can.
std::string cellLimitError(CellSize cell);

// "Fon\MyHZ.Fon,9216,C,16,16,A0,A0", "Fon\MyASC.Fon,128,A,8,16".
std::string libraryDescriptor(const LibraryLayout &layout, CellSize cell);

// A rendered cell: rows of 32-bit pixels (0xAARRGGBB), bytesPerLine apart.
struct PixelView {
    const unsigned char *bits = nullptr;
    std::ptrdiff_t bytesPerLine = 0;
    int width = 0;
    int height = 0;

    const uint32_t *row(int y) const
    {
        return reinterpret_cast<const uint32_t *>(bits + y * bytesPerLine);
    }
};

// Any colour but exact black is lit; anti-aliasing fringes count too.
inline bool isLit(uint32_t pixel) { return (pixel & 0x00FFFFFFu) != 0; }

// Packs the cell into one glyph record in Buf: pixel columns left to right, for
// each column B bytes top to bottom, bit 7 the uppermost row of a byte, rows
// below the cell set. With b90 the record holds the cell turned a quarter turn
// counter-clockwise (bit of column x, row k from cell column H-1-k, row x;
// positions outside the cell set). Returns W x B, or 0 (nothing written) when
// Buf is too small.
int GetFont(const PixelView &cell, bool b90, std::span<uint8_t> Buf);

// Draws the characters of a library into one cell-sized surface.
class GlyphRenderer {
public:
    virtual ~GlyphRenderer() = default;
    // Width and height (ascent + descent) of the text in the renderer's font.
    virtual CellSize textExtent(std::u32string_view text) = 0;
    // Sizes the surface to the cell; characters are what renderGlyph draws later.
    virtual void prepare(const std::vector<char32_t> &characters, CellSize cell) = 0;
    // Fills the cell black and draws characters[index] at its top-left corner
    // (nothing for kNoCharacter). The view stays valid until the next call.
    virtual PixelView renderGlyph(std::size_t index) = 0;
};

// The cell of a library as measured by the renderer, before any limit check.
CellSize measureCell(GlyphRenderer &renderer, const LibraryLayout &layout);

struct FontLibResult {
    std::string descriptor;  // "" when the file could not be created or the font was refused
    int cellWidth = 0;
    int cellHeight = 0;
    bool ok = false;
    std::string error;       // what went wrong, naming the file or the cell size
};

// Writes one library into progPath (which ends with a separator) and returns
// its descriptor. A cell outside the limits is refused before the file is
// touched; a file that cannot be created leaves the descriptor empty with
// nothing rendered; a write error stops the run. afterGlyph runs once per
// record written. b90 applies to the Chinese library only.
FontLibResult writeLibrary(GlyphRenderer &renderer, LibraryKind kind, bool b90, int32_t language,
                           const std::string &progPath, const std::function<void()> &afterGlyph);

// The same library drawn into bytes instead of a file (what writeLibrary
// would store), so what a display will show can be drawn without touching the
// program folder. A cell outside the limits is refused as there.
FontLibResult renderLibrary(GlyphRenderer &renderer, LibraryKind kind, bool b90, int32_t language,
                            std::vector<uint8_t> &bytes);
