// The main window out of sight: tray icon, minimise handling, password lock and autorun.
#include "FrmMain.h"

#include "FrmClickSend.h"
#include "FrmDialogs.h"
#include "FrmPwd.h"
#include "Password.h"
#include "PlatformSettings.h"
#include "TrayStatus.h"

#include <QApplication>
#include <QSignalBlocker>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

// How often a desktop without a tray is asked whether one has come.
constexpr int kTrayWatchInterval = 2000;

}  // namespace

void TFormMain::NotifyIconCreate()
{
    // Without a tray the minimised window plays its part (see putOutOfSight),
    // until a tray turns up (see adoptLateTray).
    if (!PlatformSettings::hasSystemTray()) return;
    TrayIcon = new QSystemTrayIcon(windowIcon(), this);
    TrayStatus::follow(*TrayIcon, windowIcon(), transferStatus());
    connect(TrayIcon, &QSystemTrayIcon::activated, this, &TFormMain::NotifyIconClick);
    TrayIcon->show();
}

void TFormMain::NotifyIconDelete()
{
    if (TrayIcon) TrayIcon->hide();
}

void TFormMain::watchForLateTray()
{
    mTrayWatch = new QTimer(this);
    mTrayWatch->setInterval(kTrayWatchInterval);
    connect(mTrayWatch, &QTimer::timeout, this, &TFormMain::adoptLateTray);
    mTrayWatch->start();
}

void TFormMain::adoptLateTray()
{
    if (TrayIcon || !PlatformSettings::hasSystemTray()) return;
    // Changing the window's kind under an open prompt would pull the prompt's
    // owner away; the next look comes soon enough.
    if (QApplication::activeModalWidget()) return;
    mTrayWatch->stop();
    const bool open = !isOutOfSight();
    NotifyIconCreate();
    setWindowFlags(mainWindowFlags(true));  // this hides the window
    // A new native window, made at the next show: the window manager forgets
    // the minimised one and its taskbar button, which a hide alone does not
    // always achieve for a minimised window.
    destroy();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    mClientArea->show();  // with a tray only the window itself is hidden
    if (open) show();
}

bool TFormMain::isOutOfSight() const
{
    return !isVisible() || isMinimized() || mClientArea->isHidden();
}

void TFormMain::putOutOfSight()
{
    // Out of sight, however it went, every display that watches a file is
    // watched: a save made while the window was open stopped them.
    mWatch->switchOn();
    if (TrayIcon) {
        hide();
        return;
    }
    // The minimised window stays on the taskbar and can be restored by the
    // window manager alone: nothing of it may show before the checks pass.
    mClientArea->hide();
    if (!isMinimized()) showMinimized();
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
    if (!isOutOfSight()) {
        putOutOfSight();
        setClickSendVisible(true);
        return;
    }
    openFromOutOfSight();
}

bool TFormMain::openingAllowed()
{
    const int showNeedPass = PlatformSettings::readShowNeedPass();
    if (showNeedPass == 1) {
        ChkPromptPwd->setChecked(true);
        return passwordCheck(QStringLiteral("错误"));
    }
    return showNeedPass == 0;
}

void TFormMain::openFromOutOfSight()
{
    if (!openingAllowed()) {
        putOutOfSight();
        return;
    }
    mClientArea->show();
    showNormal();
    setActivePage(1);
    raise();
    activateWindow();
    setClickSendVisible(false);
}

bool TFormMain::openOnRequest()
{
    // An open prompt or message has the say: it comes to the front instead.
    if (QWidget *modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
        return false;
    }
    if (isOutOfSight()) {
        openFromOutOfSight();
    } else {
        raise();
        activateWindow();
    }
    return !isOutOfSight();
}

void TFormMain::WMSysCommand(int command)
{
    if (command != SC_MINIMIZE) return;
    putOutOfSight();
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
    mbClickSend = FormClickSend && FormClickSend->fillFromStore(fromTimer && isOutOfSight());
    TimerClickSend->stop();
}
