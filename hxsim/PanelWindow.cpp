#include "PanelWindow.h"

#include <QPainter>

namespace hxsim {

PanelWindow::PanelWindow(const QString &title) { setTitle(title); }

void PanelWindow::showPicture(const QImage &picture)
{
    if (picture.size() != mPicture.size()) resize(picture.size());
    mPicture = picture;
    update();
}

void PanelWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(QRect(QPoint(0, 0), size()), Qt::black);
    painter.drawImage(0, 0, mPicture);
}

} // namespace hxsim
