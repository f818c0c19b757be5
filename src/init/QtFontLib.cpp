#include "init/QtFontLib.h"

#include "init/QtGlyphRenderer.h"
#include "text/MyString.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

double screenDpi()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

}  // namespace

QFont renderingFont(const QFont &chosen)
{
    QFont font = chosen;
    if (chosen.pointSizeF() > 0)
        font.setPixelSize(qMax(1, qRound(chosen.pointSizeF() * screenDpi() / 72.0)));
    return font;
}

QFont libraryFont(const QFont &chosen, LibraryKind kind)
{
    if (kind == LibraryKind::Chinese) return renderingFont(chosen);
    // A fresh font carries no weight, slant, style name or decoration of the chosen one.
    QFont ascii(QStringLiteral("宋体"));
    if (chosen.pointSizeF() > 0)
        ascii.setPointSizeF(chosen.pointSizeF());
    else
        ascii.setPixelSize(chosen.pixelSize());
    return renderingFont(ascii);
}

FontLibResult writeFontLibrary(const QFont &chosenFont, bool chinese, bool rotate90, int32_t language,
                               const std::string &progPath, QImage &mBmp,
                               const std::function<void()> &afterGlyph)
{
    const LibraryKind kind = chinese ? LibraryKind::Chinese : LibraryKind::Ascii;
    QtGlyphRenderer renderer(libraryFont(chosenFont, kind));
    FontLibResult result = writeLibrary(renderer, kind, rotate90, language, progPath, afterGlyph);
    QImage lastCell = renderer.finish();
    if (!lastCell.isNull()) mBmp = lastCell;
    return result;
}

FontLibResult renderFontLibrary(const QFont &chosenFont, bool chinese, bool rotate90, int32_t language,
                                std::vector<uint8_t> &bytes)
{
    const LibraryKind kind = chinese ? LibraryKind::Chinese : LibraryKind::Ascii;
    QtGlyphRenderer renderer(libraryFont(chosenFont, kind));
    return renderLibrary(renderer, kind, rotate90, language, bytes);
}

QFont recordFont(const QFont &windowFont, const MySetupType &record, int32_t language)
{
    QFont font = windowFont;
    font.setFamily(QString::fromStdString(ansiToUtf8(shortString(record.FontName), language)));
    font.setPointSize(record.FontSize > 0 ? record.FontSize : 12);
    return font;
}

std::string checkFontLibraries(const QFont &chosenFont, int32_t language)
{
    for (LibraryKind kind : {LibraryKind::Ascii, LibraryKind::Chinese}) {
        QtGlyphRenderer renderer(libraryFont(chosenFont, kind));
        std::string error = cellLimitError(measureCell(renderer, libraryLayout(kind, language)));
        if (!error.empty()) return error;
    }
    return {};
}

QSize measureChineseSample(const QFont &chosenFont)
{
    QtGlyphRenderer renderer(renderingFont(chosenFont));
    const CellSize cell = chineseCell(renderer.textExtent(U"啊"));
    return {cell.width, cell.height};
}

int packGlyph(const QImage &mBmp, bool b90, std::span<uint8_t> Buf)
{
    QImage keep;
    return GetFont(pixelViewOf(mBmp, keep), b90, Buf);
}
