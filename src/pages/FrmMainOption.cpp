// The connection settings page: create, connect to, switch and delete displays.
#include "FrmMain.h"

#include "ConnectionTest.h"
#include "FrmDialogs.h"
#include "FrmWidgets.h"
#include "init/QtFontLib.h"

#include <QApplication>

// Controller names come in the ANSI code page.
static QString entryQString(const std::string &ansiEntry, int32_t language)
{
    return QString::fromStdString(ansiToUtf8(ansiEntry, language));
}

void TFormMain::BtnNewConnectClick()
{
    // An initialisation run owns the page and the controller link until it ends.
    if (mInitialRunning) return;
    BtnSetupOK->setEnabled(true);
    BtnDel->setEnabled(false);
    setActivePage(0);
    bNewConnect = true;

    ChkSystem->setItemIndex(0);
    ChkMode->setItemIndex(0);
    ChkModeClick();
    sLEDName->clear();

    int networkDisplays = 0;
    for (const auto &record : mData.mSetup)
        if (record.bUsed && record.nMode == 0) ++networkDisplays;
    nUDPPort->setValue(27694 + 2 * networkDisplays);

    sRemoteIP->setIpText(QStringLiteral("..."));
    nTimeOut->setValue(2);
    nRetry->setValue(2);

    LEDList->setCurrentIndex(-1);
    for (QWidget *keyField : {static_cast<QWidget *>(nLEDNum), static_cast<QWidget *>(sRemoteIP),
                              static_cast<QWidget *>(ChkSystem), static_cast<QWidget *>(ChkMode)})
        keyField->setEnabled(true);
    MyPage->show();
}

void TFormMain::ChkModeClick()
{
    PnNet->setVisible(ChkMode->itemIndex() == 0);
    PnCom->setVisible(ChkMode->itemIndex() == 1);
}

void TFormMain::OnOptionChanged()
{
    BtnSetupOK->setEnabled(true);
}

void TFormMain::LEDListChange()
{
    // The run goes on with the display the pages show: the list stays with it,
    // so the list, the pages and the buttons never name two displays.
    if (mInitialRunning) {
        if (const MySetupPtr shown = selectedRecord())
            LEDList->setCurrentIndex(LEDList->findText(QString::fromStdString(displayEntryText(*shown)),
                                                       Qt::MatchStartsWith));
        return;
    }
    bNewConnect = false;
    const DisplayKey key = keyOfEntryText(LEDList->currentText().toStdString());
    MySetupPtr record = mData.Get(key.mode, key.ip, key.ledNum);
    if (record && key.mode == 1) {
        ChkMode->setItemIndex(1);
        ChkModeClick();
        nComPort->setCurrentIndex(record->Port - 1);
        nbaudrate->setCurrentIndex(
            nbaudrate->findText(QStringLiteral("%1").arg(record->BaudRate, 6)));
        nLEDNum->setValue(key.ledNum);
    } else if (record) {
        ChkMode->setItemIndex(0);
        ChkModeClick();
        nUDPPort->setValue(record->Port);
        sRemoteIP->setIpText(QString::fromStdString(FMySetup::LongToIPStr(record->Addr)));
    }
    MyPage->setVisible(record != nullptr);
    if (record) {
        setActivePage(0);
        ChkSystem->setItemIndex(record->nLEDSystem);
        nTimeOut->setValue(record->Timeout);
        nRetry->setValue(record->RetryTimes);
        nLEDNum->setEnabled(false);
        sRemoteIP->setEnabled(false);
        ChkMode->setEnabled(false);
    }
    BtnSetupOK->setEnabled(false);
    BtnSetupOKClick(false);
}

void TFormMain::BtnSetupOKClick(bool fromButton)
{
    if (fromButton) BtnSetupOK->setEnabled(false);
    sLEDName->clear();

    ConnectionParams params;
    params.mode = ChkMode->itemIndex() == 1 ? 1 : 0;
    params.ipText = sRemoteIP->ipText().toStdString();
    params.udpPort = static_cast<uint16_t>(nUDPPort->value());
    params.ledNum = static_cast<uint16_t>(nLEDNum->value());
    params.comNumber = nComPort->currentIndex() + 1;
    params.baudRate = static_cast<int32_t>(FMySetup::IPStrToLong(nbaudrate->currentText().toStdString()));
    params.timeout = nTimeOut->value();
    params.retries = nRetry->value();
    params.vrx7300 = ChkSystem->itemIndex() == 0;

    ConnectionReport report;
    awaitController(connectionKeyOf(params), [&] { report = testConnection(mLink, params); });

    if (report.ok) storeConnectedDisplay(params, report);
    else bConnected = false;  // the empty name is the only sign
    if (fromButton) BtnSetupOK->setEnabled(true);
}

void TFormMain::storeConnectedDisplay(const ConnectionParams &params, const ConnectionReport &report)
{
    if (bNewConnect && mData.isFull()) {
        Dialogs::message(this, QStringLiteral("显示屏数量已达64个，不能再增加"), QStringLiteral("错误"));
        return;
    }
    // A display is known by its address or screen number alone: a second one
    // under the same key would share its list entry and be deleted with it.
    if (bNewConnect && mData.Get(params.mode, params.ipText, params.ledNum)) {
        Dialogs::message(this,
                         params.mode == 0 ? QStringLiteral("这个 IP 地址的显示屏已经存在，请在显示屏列表中选择它")
                                          : QStringLiteral("这个屏号的显示屏已经存在，请在显示屏列表中选择它"),
                         QStringLiteral("错误"));
        bConnected = false;
        return;
    }
    mLEDWidth = report.width;
    mLEDHeight = report.height;
    sLEDName->setText(entryQString(report.name, m_String.Language));

    const std::string entryKey = params.mode == 0
                                     ? networkEntryText(FMySetup::IPStrToLong(params.ipText))
                                     : serialEntryText(params.ledNum);
    if (bNewConnect) {
        LEDList->addItem(entryQString(entryKey + report.name, m_String.Language));
        LEDList->setCurrentIndex(LEDList->count() - 1);
        mData.Add(params.mode, params.ipText, params.ledNum, params.udpPort,
                  static_cast<uint16_t>(params.comNumber), static_cast<uint32_t>(params.baudRate),
                  static_cast<uint16_t>(params.timeout), static_cast<uint16_t>(params.retries),
                  report.width, report.height, static_cast<uint16_t>(ChkSystem->itemIndex()),
                  m_String.Language);
    } else {
        mData.Replace(params.mode, params.ipText, params.ledNum, params.udpPort,
                      static_cast<uint16_t>(params.comNumber), static_cast<uint32_t>(params.baudRate),
                      static_cast<uint16_t>(params.timeout), static_cast<uint16_t>(params.retries),
                      report.width, report.height);
    }
    saveSettings();

    BtnDel->setEnabled(true);
    bNewConnect = false;
    ChkSystem->setEnabled(false);
    ChkMode->setEnabled(false);
    nLEDNum->setEnabled(false);
    sRemoteIP->setEnabled(false);
    bConnected = true;
    DataToForm(selectedRecord());
    setActivePage(1);
}

MySetupPtr TFormMain::selectedRecord()
{
    return mData.Get(ChkMode->itemIndex() == 1 ? 1 : 0, sRemoteIP->ipText().toStdString(),
                     static_cast<uint16_t>(nLEDNum->value()));
}

bool TFormMain::saveSettings()
{
    std::string error;
    if (mData.WriteToFile(&error)) return true;
    Dialogs::message(this, QStringLiteral("显示屏设置无法保存:\n%1").arg(QString::fromStdString(error)),
                     QStringLiteral("错误"));
    return false;
}

void TFormMain::BtnDelClick()
{
    const int index = LEDList->currentIndex();
    if (index < 0) return;
    const DisplayKey key = keyOfEntryText(LEDList->currentText().toStdString());
    mData.Del(key.mode, key.ip, key.ledNum);
    LEDList->removeItem(index);
    LEDList->setCurrentIndex(-1);
    MyPage->hide();
    saveSettings();
}

void TFormMain::DataToForm(MySetupPtr record)
{
    if (!record) return;
    vLeft->setValue(record->Left);
    vTop->setValue(record->Top);
    vWidth->setValue(record->Width);
    vHeight->setValue(record->Height);
    ChkFromPlayList->setChecked(record->bFromPlayList);
    nRotate90->setItemIndex(record->bRotate90 ? 1 : 0);
    FontDlg = recordFont(font(), *record, m_String.Language);

    fillFilePage(*record);

    ChkFromFileClick();
    ChkFromPlayListClick();
    BtnFontClick(false);
    BtnFileOK->setEnabled(false);
}
