#include "init/FrmArea.h"

#include <QEvent>
#include <QShowEvent>
#include <QFrame>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace {

const QColor panelColor(0, 0, 0);
const QColor highlightColor(0, 0, 128);

}  // namespace

TFormArea::TFormArea(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    FormCreate();
}

void TFormArea::FormCreate()
{
    setWindowTitle(QStringLiteral("选取区域"));
    setModal(true);
    setFixedSize(272, 253);

    PnBk = new QFrame(this);
    PnBk->setObjectName(QStringLiteral("PnBk"));
    PnBk->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PnBk->setGeometry(0, 0, 272, 218);

    mPn = {new QFrame(PnBk), new QFrame(PnBk), new QFrame(PnBk), new QFrame(PnBk)};
    Pn1 = mPn[0];
    Pn2 = mPn[1];
    Pn3 = mPn[2];
    Pn4 = mPn[3];
    for (int i = 0; i < MaxPickerAreas; ++i) {
        mPn[i]->setObjectName(QStringLiteral("Pn%1").arg(i + 1));
        mPn[i]->setAutoFillBackground(true);
        // A raised edge keeps touching or overlapping areas apart.
        mPn[i]->setFrameStyle(QFrame::Panel | QFrame::Raised);
        mPn[i]->installEventFilter(this);
        mPn[i]->hide();
        paintPanel(i, false);
    }

    BtnOK = new QPushButton(QStringLiteral("确  定"), this);
    BtnOK->setObjectName(QStringLiteral("BtnOK"));
    BtnOK->setGeometry((272 - 75) / 2, 222, 75, 25);
    connect(BtnOK, &QPushButton::clicked, this, &TFormArea::BtnOKClick);
}

void TFormArea::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TFormArea::FormShow()
{
    mAreaIndex = -1;
    const auto layout = layoutAreas(readPlayListAreas(PlayList), LEDWidth, LEDHeight, PnBk->width(),
                                    PnBk->height());
    if (!layout) {
        // Closing from inside the show would race exec(); let it start first.
        QTimer::singleShot(0, this, &QDialog::reject);
        return;
    }
    mRate = layout->rate;
    mAreaCount = layout->count;
    mArea = layout->areas;
    for (int i = 0; i < MaxPickerAreas; ++i) {
        const PanelRect &rect = layout->panels[i];
        mPn[i]->setGeometry(rect.left, rect.top, rect.width, rect.height);
        mPn[i]->setVisible(i < mAreaCount);
        paintPanel(i, false);
    }
}

void TFormArea::paintPanel(int index, bool highlighted)
{
    QPalette palette = mPn[index]->palette();
    palette.setColor(QPalette::Window, highlighted ? highlightColor : panelColor);
    mPn[index]->setPalette(palette);
}

void TFormArea::AreaClick(int index)
{
    for (int i = 0; i < MaxPickerAreas; ++i) paintPanel(i, i == index);
}

void TFormArea::AreaDblClick(int index)
{
    mAreaIndex = index;
    accept();
}

int TFormArea::highlightedArea() const
{
    for (int i = 0; i < MaxPickerAreas; ++i) {
        if (mPn[i]->palette().color(QPalette::Window) == highlightColor) return i;
    }
    return -1;
}

void TFormArea::BtnOKClick()
{
    mAreaIndex = highlightedArea();
    if (mAreaIndex >= 0) accept();
}

bool TFormArea::eventFilter(QObject *watched, QEvent *event)
{
    const auto panel = std::find(mPn.begin(), mPn.end(), watched);
    if (panel != mPn.end()) {
        const int index = static_cast<int>(panel - mPn.begin());
        const bool mouse = event->type() == QEvent::MouseButtonPress ||
                           event->type() == QEvent::MouseButtonRelease ||
                           event->type() == QEvent::MouseButtonDblClick;
        // Only the left button highlights or confirms an area; the others do nothing.
        if (mouse && static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton) return true;
        if (event->type() == QEvent::MouseButtonPress) {
            AreaClick(index);
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            // Highlighted here too, in case no press came before the double click.
            AreaClick(index);
            AreaDblClick(index);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
