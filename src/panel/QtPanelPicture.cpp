#include "panel/QtPanelPicture.h"

#include <QPainter>

namespace {

const QColor kLit(255, 32, 16);
const QColor kDark(56, 8, 8);

// One LED cell: a dot with a one-pixel gap to its neighbours.
QImage dotTile(int size, const QColor &colour)
{
    QImage tile(size, size, QImage::Format_RGB32);
    tile.fill(Qt::black);
    QPainter painter(&tile);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    const double gap = size > 2 ? 1.0 : 0.0;
    painter.drawEllipse(QRectF(gap / 2, gap / 2, size - gap, size - gap));
    return tile;
}

} // namespace

QImage panelPicture(const LedPanel &panel, int pixelsPerLed)
{
    QImage picture(panel.width() * pixelsPerLed, panel.height() * pixelsPerLed, QImage::Format_RGB32);
    picture.fill(Qt::black);
    const QImage lit = dotTile(pixelsPerLed, kLit);
    const QImage dark = dotTile(pixelsPerLed, kDark);
    QPainter painter(&picture);
    for (int y = 0; y < panel.height(); ++y)
        for (int x = 0; x < panel.width(); ++x)
            painter.drawImage(x * pixelsPerLed, y * pixelsPerLed, panel.lit(x, y) ? lit : dark);
    return picture;
}

LedPanel panelOfPicture(const QImage &picture, int pixelsPerLed)
{
    LedPanel panel(picture.width() / pixelsPerLed, picture.height() / pixelsPerLed);
    for (int y = 0; y < panel.height(); ++y)
        for (int x = 0; x < panel.width(); ++x)
            panel.set(x, y, qRed(picture.pixel(x * pixelsPerLed + pixelsPerLed / 2,
                                               y * pixelsPerLed + pixelsPerLed / 2)) > 128);
    return panel;
}
