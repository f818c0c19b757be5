// The live panel: a window showing the latest panel picture at its own size.
#pragma once

#include <QImage>
#include <QRasterWindow>

namespace hxsim {

class PanelWindow : public QRasterWindow {
public:
    explicit PanelWindow(const QString &title);
    // Shows picture from now on; call on the window's (GUI) thread.
    void showPicture(const QImage &picture);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage mPicture;
};

} // namespace hxsim
