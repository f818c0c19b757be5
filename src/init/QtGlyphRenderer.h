// Draws library glyphs with QPainter on a QImage, the way the controller's
// one-bit cells want them: no anti-aliasing, red on black, text at the top left.
#pragma once

#include "init/FontLib.h"

#include <QFont>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QString>

#include <vector>

class QtGlyphRenderer final : public GlyphRenderer {
public:
    // font is drawn as given (its size should be in pixels, see renderingFont);
    // anti-aliasing is switched off so every lit pixel is part of a stroke.
    explicit QtGlyphRenderer(const QFont &font);

    CellSize textExtent(std::u32string_view text) override;
    void prepare(const std::vector<char32_t> &characters, CellSize cell) override;
    PixelView renderGlyph(std::size_t index) override;

    // Ends drawing and hands over the cell surface with the last glyph drawn;
    // a null image when nothing was prepared.
    QImage finish();

private:
    QFont mFont;
    QFontMetrics mMetrics;
    QImage mSurface;
    QPainter mPainter;
    // A character the font holds is drawn straight from its glyph index, found
    // once for the whole library; the others go through text layout, which
    // finds them in a fallback font.
    QGlyphRun mGlyphRun;
    std::vector<quint32> mGlyphIndexes;  // 0: not in the font
    std::vector<QString> mTexts;
};

// The pixels of an image in the 32-bit RGB layout the packing reads; other
// formats are converted into keep first.
PixelView pixelViewOf(const QImage &image, QImage &keep);
