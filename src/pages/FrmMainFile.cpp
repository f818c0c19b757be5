// The file page: which text file a display watches, how often, and how it is shown.
#include "FrmMain.h"

#include "FilePage.h"
#include "FrmDialogs.h"
#include "panel/FrmPreview.h"

#include <QFileInfo>

void TFormMain::fillFilePage(MySetupType &record)
{
    ChkFromFile->setChecked(record.bFromFile);
    ChkTimeSend->setChecked(record.bTimeSend);
    sFileName->setText(QString::fromStdString(ansiToUtf8(shortString(record.FileName), m_String.Language)));

    cbDrv->clear();
    for (const std::string &item : driveItems(record.nLEDSystem)) cbDrv->addItem(QString::fromStdString(item));
    // A Hexalink list has no third disk: a stored 2 (every new record's) means C:.
    record.Drv = driveIndexOf(record);
    cbDrv->setCurrentIndex(record.Drv);

    const std::optional<std::string> period = periodItemFor(record.Peroid);
    nPeroid->setCurrentIndex(period ? nPeroid->findText(QString::fromStdString(*period)) : -1);
    nEnter->setCurrentIndex(record.Enter < nEnter->count() ? record.Enter : -1);
    nSpeed->setCurrentIndex(record.Speed < nSpeed->count() ? record.Speed : -1);
    nStay->setValue(record.Stay);
}

void TFormMain::ChkFromFileClick()
{
    PnAutoFile->setVisible(ChkFromFile->isChecked());
    BtnFileOK->setEnabled(true);
}

void TFormMain::BtnSeekFileClick()
{
    const QString shown = sFileName->text();
    const std::optional<QString> chosen =
        Dialogs::openFile(this, QStringLiteral("文本文件(*.txt)"), QFileInfo(shown).absolutePath(), false);
    if (!chosen) return;
    sFileName->setText(*chosen);
    BtnFileOK->setEnabled(*chosen != shown);
}

void TFormMain::nPeroidChange()
{
    BtnFileOK->setEnabled(true);
}

void TFormMain::BtnFileOKClick()
{
    if (MySetupPtr record = selectedRecord()) {
        const std::optional<std::string> fileName =
            recordFileName(sFileName->text().toStdString(), m_String.Language);
        if (!fileName) {
            Dialogs::message(this, QStringLiteral("文件名过长或含有无法保存的字符:\n%1").arg(sFileName->text()),
                             QStringLiteral("错误"));
            return;
        }
        record->bFromFile = ChkFromFile->isChecked();
        setShortString(record->FileName, *fileName);
        if (cbDrv->currentIndex() >= 0) record->Drv = static_cast<uint8_t>(cbDrv->currentIndex());
        record->bTimeSend = ChkTimeSend->isChecked();
        record->Peroid = periodOfItem(nPeroid->currentText().toStdString());
        // Free text typed into the effect box selects no item, which is stored as 65535.
        record->Enter = static_cast<uint16_t>(nEnter->findText(nEnter->currentText()));
        record->Speed = static_cast<uint16_t>(nSpeed->currentIndex());
        record->Stay = static_cast<uint16_t>(nStay->value());
        record->TmrStart = 0;
        record->TmrCount = 0;
        saveSettings();
    }
    TimerClickSendTimer(false);
}

void TFormMain::BtnPreviewClick()
{
    if (!FormPreview)
        FormPreview = new TFormPreview([this] { return selectedRecord(); }, m_String.Language, font(), this);
    FormPreview->open();
}

void TFormMain::TransferTimerTimer()
{
    mWatch->tick(ChkReplay->isChecked());
}
