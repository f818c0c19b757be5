// The initialisation page: text area, font, and the run that prepares a controller.
#include "FrmMain.h"

#include "FrmArea.h"
#include "FrmDialogs.h"
#include "FrmWidgets.h"
#include "init/InitialRun.h"
#include "init/AreaPicker.h"
#include "init/QtFontLib.h"
#include "transfer/PlayList.h"

#include <QApplication>

namespace {

const QString kInitialCaption = QStringLiteral("初      始      化");
const QString kInitialTitle = QStringLiteral("初始化");

}  // namespace

void TFormMain::BtnFontClick(bool fromButton)
{
    if (fromButton) {
        std::optional<QFont> chosen = Dialogs::chooseFont(this, FontDlg);
        if (!chosen) return;
        FontDlg = *chosen;
    }
    const QSize cell = measureChineseSample(FontDlg);
    MsgFntName->setText(FontDlg.family());
    MsgFntSize->setText(QStringLiteral("%1x%2").arg(cell.width()).arg(cell.height()));
}

void TFormMain::ChkFromPlayListClick()
{
    const bool fromPlayList = ChkFromPlayList->isChecked();
    BtnReadPlayList->setEnabled(fromPlayList);
    for (QSpinBox *field : {vLeft, vTop, vWidth, vHeight}) {
        field->setReadOnly(fromPlayList);
        field->setEnabled(!fromPlayList);
    }
}

void TFormMain::BtnReadPlayListClick()
{
    MySetupPtr record = selectedRecord();
    if (!record) return;
    const MySetupType display = *record;
    PlayListState location;
    bool read = false;
    awaitController(controllerKeyOf(display), [&] {
        read = GetPlayListFile(mLink, display, location, mData.mProgPath);
    });
    playLists().remember(PlayListLocations::slotOf(mData, *record), display,
                         read ? std::optional(location) : std::nullopt);
    if (!read) return;
    TFormArea picker(this);
    picker.LEDWidth = mLEDWidth;
    picker.LEDHeight = mLEDHeight;
    picker.PlayList = localPlayListPath(mData.mProgPath);
    if (picker.exec() != QDialog::Accepted || picker.mAreaIndex < 0) return;
    const PickedArea picked = applyPickedArea(picker.mArea[static_cast<std::size_t>(picker.mAreaIndex)],
                                              picker.mAreaIndex);
    vLeft->setValue(picked.Left);
    vTop->setValue(picked.Top);
    vWidth->setValue(picked.Width);
    vHeight->setValue(picked.Height);
    // The pick is the record's at once (kept in memory until the next save):
    // a visit before the initialisation run must take its area from the
    // play list too, not put the text into area 1.
    record->bFromPlayList = 1;
    record->AreaIndex = picked.AreaIndex;
    record->Left = picked.Left;
    record->Top = picked.Top;
    record->Width = picked.Width;
    record->Height = picked.Height;
}

void TFormMain::EnableInitialItem(bool En)
{
    for (QWidget *control : std::initializer_list<QWidget *>{
             MyPage, StaticText1, StaticText2, StaticText3, StaticText4, ChkFromPlayList, nRotate90,
             MsgFntName, MsgFntSize, Label1, Label2, BtnFont, BtnChgPwd})
        control->setEnabled(En);
    for (QSpinBox *field : {vLeft, vTop, vWidth, vHeight})
        field->setEnabled(En && !ChkFromPlayList->isChecked());
    BtnReadPlayList->setEnabled(En && ChkFromPlayList->isChecked());
}

void TFormMain::storeInitialPage(MySetupType &record)
{
    setShortString(record.FontName, utf8ToAnsi(FontDlg.family().toStdString(), m_String.Language));
    record.FontSize = static_cast<uint16_t>(FontDlg.pointSize() > 0 ? FontDlg.pointSize() : 12);
    record.bRotate90 = nRotate90->itemIndex() != 0;
    record.bFromPlayList = ChkFromPlayList->isChecked();
    record.Left = static_cast<uint16_t>(vLeft->value());
    record.Top = static_cast<uint16_t>(vTop->value());
    record.Width = static_cast<uint16_t>(vWidth->value());
    record.Height = static_cast<uint16_t>(vHeight->value());
}

void TFormMain::BtnInitialOKClick()
{
    MySetupPtr record = selectedRecord();
    if (!record) return;
    storeInitialPage(*record);
    // A font the libraries cannot hold is refused before anything is drawn or sent.
    if (const std::string refused = checkFontLibraries(FontDlg, m_String.Language); !refused.empty()) {
        Dialogs::message(this, QString::fromStdString(refused), kInitialTitle);
        return;
    }

    mInitialRunning = true;
    EnableInitialItem(false);
    const MySetupType held = *record;
    // The button is the run's status line: keep it readable while the page is disabled.
    QPalette statusLine = BtnInitialOK->palette();
    statusLine.setColor(QPalette::Disabled, QPalette::ButtonText,
                        statusLine.color(QPalette::Active, QPalette::ButtonText));
    BtnInitialOK->setPalette(statusLine);
    BtnInitialOK->setText(QStringLiteral("正在生成字库和相关文件, 请稍候..."));
    const QString failure = generateInitialFiles(*record);
    if (failure.isEmpty()) {
        BtnInitialOK->setText(QStringLiteral("正在向显示屏发送字库和相关文件, 请稍候..."));
        mPB->hide();
        mPB->setValue(0);
        mPB->setMaximum(0);
        std::string error;
        if (const std::optional<int> blocks = uploadProgressMax(mData.mProgPath, &error)) {
            mPB->setMaximum(*blocks);
            mPB->setValue(0);
            mPB->show();
            // The upload runs beside the window; each step moves the bar here.
            const InitialHooks hooks{
                [this] { QMetaObject::invokeMethod(this, [this] { mPB->setValue(mPB->value() + 1); }); },
                sleepMilliseconds,
            };
            InitialOutcome outcome = InitialOutcome::OpenFailed;
            awaitController(controllerKeyOf(held),
                            [&] { outcome = sendInitialFiles(mLink, held, mData.mProgPath, hooks); });
            Dialogs::message(this, QString::fromUtf8(initialOutcomeText(outcome)), kInitialTitle);
        } else {
            Dialogs::message(this, ioFailureText(error), kInitialTitle);
        }
    } else {
        Dialogs::message(this, failure, kInitialTitle);
    }
    mPB->hide();
    EnableInitialItem(true);
    BtnInitialOK->setText(kInitialCaption);
    BtnInitialOK->setPalette(QPalette());
    mInitialRunning = false;
    if (mClickSendDue) setClickSendVisible(true);
}

QString TFormMain::ioFailureText(const std::string &error)
{
    return QStringLiteral("    文件读写失败!    \n%1").arg(QString::fromStdString(error));
}

QString TFormMain::generateInitialFiles(MySetupType &record)
{
    mPB->setMinimum(0);
    mPB->setMaximum(generationProgressMax(m_String.Language));
    mPB->setValue(0);
    mPB->show();
    const auto afterGlyph = [this] {
        mPB->setValue(mPB->value() + 1);
        QCoreApplication::processEvents();
    };
    const FontLibResult ascii =
        writeFontLibrary(FontDlg, false, false, m_String.Language, mData.mProgPath, mBmp, afterGlyph);
    if (!ascii.ok) return ioFailureText(ascii.error);
    if (mBmp.width() <= 0) return QStringLiteral("    ASCII 字库宽度为 0!    ");
    // Settings are saved before the long Chinese library, so they outlive a failure there.
    record.ASCPerLine = static_cast<uint16_t>(record.Width / mBmp.width());
    std::string error;
    if (!mData.WriteToFile(&error)) return ioFailureText(error);
    const FontLibResult chinese = writeFontLibrary(FontDlg, true, record.bRotate90, m_String.Language,
                                                   mData.mProgPath, mBmp, afterGlyph);
    if (!chinese.ok) return ioFailureText(chinese.error);
    if (!writeConfigFile(mData.mProgPath, ascii.descriptor, chinese.descriptor, &error))
        return ioFailureText(error);
    return {};
}
