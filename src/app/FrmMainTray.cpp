// The main window out of sight: tray icon, minimise handling, password lock and autorun.
#include "FrmMain.h"

#include "FrmClickSend.h"
#include "FrmDialogs.h"
#include "FrmPwd.h"
#include "Password.h"
#include "PlatformSettings.h"
#include "TrayStatus.h"

#include <QCoreApplication>
#include <QSignalBlocker>
#include <QSystemTrayIcon>

void TFormMain::NotifyIconCreate()
{
    // Without a tray the window stays on the taskbar instead (see WMSysCommand).
    if (!PlatformSettings::hasSystemTray()) return;
    TrayIcon = new QSystemTrayIcon(windowIcon(), this);
    TrayStatus::follow(*TrayIcon, windowIcon(), mTransferStatus);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, &TFormMain::NotifyIconClick);
    TrayIcon->show();
}

void TFormMain::NotifyIconDelete()
{
    if (TrayIcon) TrayIcon->hide();
}

void TFormMain::setClickSendVisible(bool visible)
{
    if (!mbClickSend || !FormClickSend) return;
    // Showing prepares every click-send display over the link: not while an
    // initialisation run uses it. The run shows the window when it ends.
    mClickSendDue = visible && mInitialRunning;
    FormClickSend->setVisible(visible && !mInitialRunning);
}

void TFormMain::NotifyIconClick(QSystemTrayIcon::ActivationReason reason)
{
    // A press of either button toggles; the second press of a double-click does not.
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::Context) return;
    if (isVisible() && !isMinimized()) {
        hide();
        setClickSendVisible(true);
        return;
    }
    const int showNeedPass = PlatformSettings::readShowNeedPass();
    if (showNeedPass == 1) {
        ChkPromptPwd->setChecked(true);
        if (!passwordCheck(QStringLiteral("错误"))) return;
    } else if (showNeedPass != 0) {
        return;
    }
    showNormal();
    setActivePage(1);
    raise();
    activateWindow();
    setClickSendVisible(false);
}

void TFormMain::WMSysCommand(int command)
{
    if (command != SC_MINIMIZE) return;
    if (PlatformSettings::hasSystemTray())
        hide();
    else if (!isMinimized())
        showMinimized();  // no tray to come back through: stay on the taskbar
    mData.Enable(true);
    setClickSendVisible(true);
}

bool TFormMain::passwordCheck(const QString &errorCaption)
{
    std::optional<QString> typed = TFormPwd::ask(this, QStringLiteral("口令"));
    if (!typed) return false;
    if (PwdToCRC(mLink, utf8ToAnsi(typed->toStdString(), m_String.Language)) == mPwdCRC) return true;
    Dialogs::message(this, QStringLiteral("    口令错误!    "), errorCaption);
    return false;
}

void TFormMain::MyPageChange()
{
    if (MyPage->tabText(MyPage->currentIndex()) != QStringLiteral("初 始 化")) return;
    if (passwordCheck(QStringLiteral("初始化")))
        PnInitial->setEnabled(true);
    else
        setActivePage(1);
}

void TFormMain::ChkPromptPwdClick(bool checked)
{
    if (PlatformSettings::writeShowNeedPass(checked ? 1 : 0)) return;
    // Back to the state before the click, without trying to write again.
    QSignalBlocker blocker(ChkPromptPwd);
    ChkPromptPwd->setChecked(!checked);
}

void TFormMain::BtnChgPwdClick()
{
    std::optional<QString> typed = TFormPwd::ask(this, QStringLiteral("新口令"));
    if (!typed) return;
    const uint16_t checkValue = PwdToCRC(mLink, utf8ToAnsi(typed->toStdString(), m_String.Language));
    // The new password counts only once it is stored: else the next start
    // would silently go back to the old one.
    if (PlatformSettings::writePassword(checkValue))
        mPwdCRC = checkValue;
    else
        Dialogs::message(this, QStringLiteral("    口令保存失败!    "), QStringLiteral("错误"));
}

void TFormMain::ChkAutoRunClick(bool checked)
{
    if (!ChkAutoRun->isEnabled()) return;
    QString failedEntry;
    if (PlatformSettings::setAutoRun(checked, QCoreApplication::applicationFilePath(), &failedEntry))
        return;
    Dialogs::message(this, QStringLiteral("无法写入自动运行设置:\n%1").arg(failedEntry),
                     QStringLiteral("错误"));
    QSignalBlocker blocker(ChkAutoRun);
    ChkAutoRun->setChecked(!checked);
}

void TFormMain::TimerClickSendTimer(bool fromTimer)
{
    mbClickSend = FormClickSend && FormClickSend->fillFromStore(fromTimer && !isVisible());
    TimerClickSend->stop();
}
