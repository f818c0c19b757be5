#include "clicksend/FrmClickSend.h"

#include "clicksend/ClickSend.h"
#include "forms/FrmDialogs.h"
#include "text/MyString.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int margin = 8;
constexpr int listWidth = 160;
constexpr int listHeight = 233;
constexpr int buttonTop = margin + listHeight + 8;
constexpr int textLeft = margin + listWidth + margin;
constexpr int clientHeight = buttonTop + 25 + margin;
// A display line wider than this scrolls instead of widening the window without bound.
constexpr int maxTextAreaWidth = 1200;

}  // namespace

TFormClickSend::TFormClickSend(FMySetup &store, Watch &watch, const HX_Dll &dll, int32_t language,
                               std::function<void()> closeMainWindow, QWidget *parent)
    // A tool window: the program has no taskbar button of its own besides,
    // on a desktop without a tray, the minimised main window.
    : QWidget(parent, Qt::Tool), mData(store), mWatch(watch), mDll(dll), mLanguage(language),
      mCloseMainWindow(std::move(closeMainWindow))
{
    setWindowTitle(QStringLiteral("发送文本"));
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);

    LEDList = new QListWidget(this);
    LEDList->setObjectName(QStringLiteral("LEDList"));
    LEDList->setGeometry(margin, margin, listWidth, listHeight);

    BtnLoadFile = new QPushButton(QStringLiteral("装入文本"), this);
    BtnLoadFile->setObjectName(QStringLiteral("BtnLoadFile"));
    BtnLoadFile->setGeometry(margin, buttonTop, 75, 25);
    connect(BtnLoadFile, &QPushButton::clicked, this, &TFormClickSend::BtnLoadFileClick);

    TextList = new QListWidget(this);
    TextList->setObjectName(QStringLiteral("TextList"));
    TextList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A mouse selection is sent on the press (which also re-sends a line that
    // is already selected); a keyboard selection when the selection moves.
    // Only the left button selects, as in a list box.
    TextList->viewport()->installEventFilter(this);
    connect(TextList, &QListWidget::pressed, this, &TFormClickSend::TextListClick);
    connect(TextList, &QListWidget::itemSelectionChanged, this, [this] {
        if (QGuiApplication::mouseButtons() == Qt::NoButton) TextListClick();
    });
    placeTextList();
    resize(textLeft + TextList->width() + margin, clientHeight);

    TimerShow = new QTimer(this);
    TimerShow->setSingleShot(true);
    TimerShow->setInterval(100);
    connect(TimerShow, &QTimer::timeout, this, &TFormClickSend::TimerShowTimer);
}

std::vector<std::string> TFormClickSend::entries() const
{
    std::vector<std::string> texts;
    for (int i = 0; i < LEDList->count(); ++i) texts.push_back(LEDList->item(i)->text().toStdString());
    return texts;
}

bool TFormClickSend::fillFromStore(bool fromTimer)
{
    LEDList->clear();
    for (const auto &entry : clickSendEntries(mData)) {
        auto *item = new QListWidgetItem(QString::fromStdString(entry), LEDList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    const bool added = LEDList->count() > 0;
    if (!added)
        hide();
    else if (fromTimer)
        show();
    return added;
}

MySetupPtr TFormClickSend::GetPtrFromList(int index) const
{
    if (index < 0 || index >= LEDList->count()) return nullptr;
    return recordOfEntry(mData, LEDList->item(index)->text().toStdString());
}

void TFormClickSend::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TFormClickSend::FormShow()
{
    const MySetupPtr first = GetPtrFromList(0);
    if (!first) return;
    mASCPerLine = first->ASCPerLine;
    TimerShow->start();
}

void TFormClickSend::placeTextList()
{
    const int frame = TextList->frameWidth() * 2;
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, TextList);
    const int textWidth = std::min(textAreaWidth(static_cast<uint16_t>(mASCPerLine)), maxTextAreaWidth);
    TextList->setGeometry(textLeft, margin, textWidth + 4 + scrollBar + frame, clientHeight - 2 * margin);
}

void TFormClickSend::TimerShowTimer()
{
    TimerShow->stop();
    if (GetPtrFromList(0)) {
        placeTextList();
        resize(textLeft + TextList->width() + margin, clientHeight);
        setLines({});
    }
    prepareDisplays(mWatch.jobs(), mDll, mData, mWatch.playLists(), entries());
}

void TFormClickSend::setLines(std::vector<std::string> lines)
{
    mLines = std::move(lines);
    const QSignalBlocker quiet(TextList);
    TextList->clear();
    for (const auto &line : mLines) TextList->addItem(QString::fromStdString(ansiToUtf8(line, mLanguage)));
}

void TFormClickSend::BtnLoadFileClick()
{
    const auto file = Dialogs::openFile(this, QStringLiteral("文本文件(*.txt)"), QString(), true);
    if (!file) return;
    ClickSendText text = loadClickSendText(file->toStdString(), mLanguage, mASCPerLine);
    if (!text.ok) {
        Dialogs::message(this, QStringLiteral("无法读取文本文件 %1").arg(QString::fromStdString(text.error)),
                         windowTitle());
        return;
    }
    setLines(std::move(text.lines));
    TextList->setToolTip(QString::fromStdString(text.replaced));
}

void TFormClickSend::TextListClick()
{
    const int row = TextList->currentRow();
    if (row < 0 || row >= static_cast<int>(mLines.size())) return;
    mLineSender.show(mWatch.jobs(), mDll, mData, entries(), mLines[static_cast<std::size_t>(row)]);
}

bool TFormClickSend::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == TextList->viewport()) {
        // Presses, releases and double-clicks of the other buttons never reach
        // the list (it selects with any of them); moves select only while the
        // left button is down.
        const auto *mouse = dynamic_cast<const QMouseEvent *>(event);
        if (mouse && mouse->button() != Qt::NoButton && mouse->button() != Qt::LeftButton) return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TFormClickSend::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    FormClose();
}

void TFormClickSend::FormClose()
{
    if (mCloseMainWindow) mCloseMainWindow();
}
