#include "TrayStatus.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace {

// The sizes drawn when the icon has no pictures of its own, as the tray asks for them.
constexpr int FallbackSizes[] = {16, 22, 32, 48, 64};

QPixmap marked(QPixmap picture)
{
    const int side = std::min(picture.width(), picture.height());
    const qreal diameter = std::max(6.0, side * 0.55);
    const qreal ring = std::max(1.0, side / 16.0);
    const QRectF badge(picture.width() - diameter, picture.height() - diameter, diameter, diameter);

    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);  // the ring keeps the badge apart from the red lamps of the icon
    painter.drawEllipse(badge);
    painter.setBrush(QColor(220, 0, 0));
    painter.drawEllipse(badge.adjusted(ring, ring, -ring, -ring));
    if (diameter >= 12) {
        // An exclamation mark: a bar and a dot.
        const qreal width = std::max(1.5, diameter / 7);
        const qreal x = badge.center().x() - width / 2;
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(x, badge.top() + diameter * 0.22, width, diameter * 0.36));
        painter.drawRect(QRectF(x, badge.top() + diameter * 0.66, width, width));
    }
    return picture;
}

}  // namespace

QIcon TrayStatus::markedIcon(const QIcon &icon)
{
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty())
        for (int side : FallbackSizes) sizes.append(QSize(side, side));
    QIcon result;
    for (const QSize &size : sizes) {
        QPixmap picture = icon.pixmap(size);
        if (picture.isNull() || picture.size() != size) {
            // A picture of the icon's own size, transparent where it has none.
            QPixmap canvas(size);
            canvas.fill(Qt::transparent);
            if (!picture.isNull()) QPainter(&canvas).drawPixmap(canvas.rect(), picture);
            picture = canvas;
        }
        result.addPixmap(marked(picture));
    }
    return result;
}

void TrayStatus::follow(QSystemTrayIcon &tray, const QIcon &icon, TransferStatus &status)
{
    const QIcon mark = markedIcon(icon);
    const auto show = [&tray, icon, mark, &status] {
        tray.setIcon(status.anyFailing() ? mark : icon);
        tray.setToolTip(QString::fromStdString(status.toolTip()));
    };
    status.onChange = show;
    show();
}
