#include "panel/FrmPreview.h"

#include "init/QtFontLib.h"
#include "panel/Preview.h"
#include "panel/QtPanelPicture.h"
#include "settings/FileIO.h"
#include "text/MyString.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

namespace {

QString fromUtf8(const std::string &text)
{
    return QString::fromStdString(text);
}

}  // namespace

TFormPreview::TFormPreview(DisplaySource display, int32_t language, const QFont &windowFont, QWidget *parent)
    : QWidget(parent, Qt::Window), mDisplay(std::move(display)), mLanguage(language), mWindowFont(windowFont)
{
    setObjectName(QStringLiteral("FormPreview"));
    setWindowTitle(QStringLiteral("预览"));
    auto *layout = new QVBoxLayout(this);
    MsgInfo = new QLabel(this);
    MsgInfo->setObjectName(QStringLiteral("MsgInfo"));
    MsgInfo->setWordWrap(true);
    MsgInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ImgPanel = new QLabel;
    ImgPanel->setObjectName(QStringLiteral("ImgPanel"));
    ImgPanel->setAlignment(Qt::AlignCenter);
    ImgPanel->setWordWrap(true);
    mScroll = new QScrollArea(this);
    mScroll->setWidget(ImgPanel);
    mScroll->setWidgetResizable(true);
    layout->addWidget(MsgInfo);
    layout->addWidget(mScroll, 1);
    resize(480, 240);

    // A poll rather than a file-system watch: editors save by renaming a new
    // file over the old one, and the file may sit on a share without notices.
    TimerFollow = new QTimer(this);
    TimerFollow->setInterval(1000);
    connect(TimerFollow, &QTimer::timeout, this, &TFormPreview::refresh);
}

void TFormPreview::open()
{
    mDrawn = false;
    refresh();
    if (!mPicture.isNull()) {
        // Room for the whole panel where the screen allows it.
        QSize room(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            room = screen->availableGeometry().size() - (frameGeometry().size() - size());
        const QMargins margins = layout()->contentsMargins();
        const int frame = 2 * mScroll->frameWidth();
        const int width = std::min(mPicture.width() + frame + margins.left() + margins.right(), room.width());
        const int infoHeight = MsgInfo->heightForWidth(width - margins.left() - margins.right());
        const int height = mPicture.height() + frame + margins.top() + margins.bottom() + layout()->spacing() +
                           std::max(infoHeight, 0);
        resize(width, std::min(height, room.height()));
    }
    showNormal();
    raise();
    activateWindow();
}

QString TFormPreview::message() const
{
    return mPicture.isNull() ? ImgPanel->text() : QString();
}

void TFormPreview::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    TimerFollow->start();
}

void TFormPreview::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    TimerFollow->stop();
}

std::string TFormPreview::sourceKey(const MySetupType *record) const
{
    if (!record) return {};
    std::string key = std::to_string(record->LEDWidth) + "x" + std::to_string(record->LEDHeight) + " " +
                      std::to_string(record->Left) + "," + std::to_string(record->Top) + "," +
                      std::to_string(record->Width) + "," + std::to_string(record->Height) + " " +
                      std::to_string(record->bRotate90) + std::to_string(record->bFromFile) + " " +
                      std::to_string(record->FontSize) + shortString(record->FontName) + "|" +
                      shortString(record->FileName) + "|";
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file = localPath(ansiToUtf8(shortString(record->FileName), mLanguage));
    const auto written = fs::last_write_time(file, ec);
    if (!ec) key += std::to_string(written.time_since_epoch().count());
    const auto size = fs::file_size(file, ec);
    if (!ec) {
        key += ',';
        key += std::to_string(size);
    }
    return key;
}

void TFormPreview::refresh()
{
    const MySetupType *record = mDisplay();
    const std::string key = sourceKey(record);
    if (mDrawn && key == mShownKey) return;
    mShownKey = key;
    mDrawn = true;

    setWindowTitle(record ? QStringLiteral("预览 %1").arg(fromUtf8(displayEntryText(*record))).trimmed()
                          : QStringLiteral("预览"));
    MsgInfo->clear();
    if (const std::string problem = previewDisplayProblem(record); !problem.empty()) return showMessage(fromUtf8(problem));
    const PreviewText text = previewText(*record, mLanguage);
    if (!text.text) return showMessage(fromUtf8(text.problem));
    QString info = QStringLiteral("文件：%1（%2）")
                       .arg(fromUtf8(text.path), fromUtf8(textEncodingName(text.text->encoding, mLanguage)));
    if (const std::string replaced = replacementSummary(*text.text, mLanguage); !replaced.empty())
        info += QLatin1Char('\n') + fromUtf8(replaced);
    MsgInfo->setText(info);
    std::string fontProblem;
    const Fonts *fonts = fontsFor(*record, fontProblem);
    if (!fonts) return showMessage(fromUtf8(fontProblem));
    showPanel(previewPanel(*record, text.text->bytes, fonts->ascii, fonts->chinese));
}

const TFormPreview::Fonts *TFormPreview::fontsFor(const MySetupType &record, std::string &problem)
{
    const QFont font = recordFont(mWindowFont, record, mLanguage);
    const bool rotated = record.bRotate90 != 0;
    if (!mFontsMade || font != mFontsMadeFor || rotated != mFontsRotated) {
        mFontsMade = true;
        mFontsMadeFor = font;
        mFontsRotated = rotated;
        mFonts.reset();
        mFontProblem.clear();
        std::vector<uint8_t> asciiRecords, chineseRecords;
        const FontLibResult ascii = renderFontLibrary(font, false, false, mLanguage, asciiRecords);
        const FontLibResult chinese =
            ascii.ok ? renderFontLibrary(font, true, rotated, mLanguage, chineseRecords) : FontLibResult{};
        if (!ascii.ok || !chinese.ok) {
            mFontProblem = "字体无法生成字库：" + (ascii.ok ? chinese.error : ascii.error);
        } else {
            auto asciiLibrary = libraryOfRecords(ascii, LibraryKind::Ascii, false, mLanguage,
                                                 std::move(asciiRecords), &mFontProblem);
            auto chineseLibrary = libraryOfRecords(chinese, LibraryKind::Chinese, rotated, mLanguage,
                                                   std::move(chineseRecords), &mFontProblem);
            if (asciiLibrary && chineseLibrary) mFonts = Fonts{std::move(*asciiLibrary), std::move(*chineseLibrary)};
        }
    }
    problem = mFontProblem;
    return mFonts ? &*mFonts : nullptr;
}

void TFormPreview::showMessage(const QString &text)
{
    mPanel.reset();
    mPicture = QImage();
    ImgPanel->setPixmap(QPixmap());
    ImgPanel->setText(text);
}

void TFormPreview::showPanel(const LedPanel &panel)
{
    if (mPanel && *mPanel == panel && !mPicture.isNull()) return;
    mPanel = panel;
    mPicture = panelPicture(panel);
    ImgPanel->setText(QString());
    ImgPanel->setPixmap(QPixmap::fromImage(mPicture));
}
