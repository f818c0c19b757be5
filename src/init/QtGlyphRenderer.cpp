#include "init/QtGlyphRenderer.h"

#include <QRawFont>

namespace {

QFont withoutAntialiasing(QFont font)
{
    font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::NoAntialias));
    return font;
}

QString textOf(std::u32string_view text)
{
    return QString::fromUcs4(text.data(), qsizetype(text.size()));
}

constexpr QRgb kBlack = 0xFF000000u;
constexpr QRgb kRed = 0xFFFF0000u;

}  // namespace

QtGlyphRenderer::QtGlyphRenderer(const QFont &font)
    : mFont(withoutAntialiasing(font)), mMetrics(mFont)
{
}

CellSize QtGlyphRenderer::textExtent(std::u32string_view text)
{
    return {mMetrics.horizontalAdvance(textOf(text)), mMetrics.height()};
}

void QtGlyphRenderer::prepare(const std::vector<char32_t> &characters, CellSize cell)
{
    const QRawFont rawFont = QRawFont::fromFont(mFont);
    mGlyphRun.setRawFont(rawFont);
    mGlyphIndexes.assign(characters.size(), 0);
    mTexts.assign(characters.size(), QString());
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const char32_t character = characters[i];
        if (character == kNoCharacter) continue;
        if (character <= 0xFFFF && rawFont.supportsCharacter(character)) {
            const QChar single{char16_t(character)};
            int count = 1;
            rawFont.glyphIndexesForChars(&single, 1, &mGlyphIndexes[i], &count);
        }
        if (mGlyphIndexes[i] == 0) mTexts[i] = textOf(std::u32string_view(&character, 1));
    }
    if (mPainter.isActive()) mPainter.end();
    mSurface = QImage(cell.width, cell.height, QImage::Format_RGB32);
    mSurface.fill(kBlack);
    mPainter.begin(&mSurface);
    mPainter.setFont(mFont);
    mPainter.setPen(QColor::fromRgb(kRed));
}

PixelView QtGlyphRenderer::renderGlyph(std::size_t index)
{
    static const QPointF kOrigin(0, 0);
    mSurface.fill(kBlack);
    const QPointF baseline(0, mMetrics.ascent());
    if (index < mGlyphIndexes.size() && mGlyphIndexes[index] != 0) {
        mGlyphRun.setRawData(&mGlyphIndexes[index], &kOrigin, 1);
        mPainter.drawGlyphRun(baseline, mGlyphRun);
    } else if (index < mTexts.size() && !mTexts[index].isEmpty()) {
        mPainter.drawText(baseline, mTexts[index]);
    }
    return {mSurface.constBits(), mSurface.bytesPerLine(), mSurface.width(), mSurface.height()};
}

QImage QtGlyphRenderer::finish()
{
    if (mPainter.isActive()) mPainter.end();
    return mSurface;
}

PixelView pixelViewOf(const QImage &image, QImage &keep)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        keep = image;
        break;
    default:
        keep = image.convertToFormat(QImage::Format_RGB32);
    }
    if (keep.isNull()) return {};
    return {keep.constScanLine(0), keep.bytesPerLine(), keep.width(), keep.height()};
}
