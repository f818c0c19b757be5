#include "FrmDialogs.h"
#include "FrmMain.h"
#include "FrmPwd.h"
#include "HX_Dll.h"
#include "HxSim.h"
#include "Password.h"
#include "PlatformSettings.h"
#include "ProgramSetup.h"
#include "QtTestApp.h"
#include "QtMainWindowFixture.h"
#include "TempDir.h"
#include "TrayStatus.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class TrayTest : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        QSettings(QStringLiteral("Corvane"), QStringLiteral("VRX7300Marqora")).clear();
        QFile::remove(PlatformSettings::autoRunLocation());
        storeDisplays([](FMySetup &store) {
            store.Add(0, "10.0.0.1", 0, 27694, 1, 2400, 1, 1, 128, 32, 0);  // watches a file
            store.Add(0, "10.0.0.2", 0, 27696, 1, 2400, 1, 1, 128, 32, 0);
            store.mSetup[1].bFromFile = 0;  // a click-send display
        });
    }

    uint16_t checkValue(const char *utf8Password) { return PwdToCRC(hxTable(), utf8ToAnsi(utf8Password)); }
};

const QColor IconBlue(0, 60, 200);

QIcon plainIcon(std::initializer_list<int> sides)
{
    QIcon icon;
    for (int side : sides) {
        QPixmap picture(side, side);
        picture.fill(IconBlue);
        icon.addPixmap(picture);
    }
    return icon;
}

// Inside the badge of a 32-pixel picture, beside its exclamation mark; and a corner far from it.
QColor badgeColour(const QIcon &icon)
{
    return icon.pixmap(32, 32).toImage().pixelColor(27, 20);
}
QColor farCorner(const QIcon &icon)
{
    return icon.pixmap(32, 32).toImage().pixelColor(3, 3);
}

}  // namespace

TEST_F(TrayTest, PressesToggleTheWindowAndADoubleClickCountsOnce)
{
    TFormMain &w = start();
    ASSERT_FALSE(w.isVisible());
    w.NotifyIconClick(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.MyPage->currentIndex(), 1);
    w.NotifyIconClick(QSystemTrayIcon::DoubleClick);  // the second press of a double-click
    EXPECT_TRUE(w.isVisible());
    w.NotifyIconClick(QSystemTrayIcon::Context);  // a right press toggles like a left one
    EXPECT_FALSE(w.isVisible());
    w.NotifyIconClick(QSystemTrayIcon::MiddleClick);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(TrayTest, OutOfSightEveryWayEveryFileIsWatched)
{
    TFormMain &w = start();
    EXPECT_EQ(+w.mData.mSetup[0].TmrEnable, 1);
    EXPECT_EQ(+w.mData.mSetup[1].TmrEnable, 0);
    w.NotifyIconClick(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(w.saveSettings());  // every save ends the watch
    EXPECT_EQ(+w.mData.mSetup[0].TmrEnable, 0);
    w.TransferTimerTimer();
    EXPECT_TRUE(w.TrayIcon->toolTip().endsWith(QStringLiteral("\n1 个显示屏暂停监视，隐藏窗口后恢复")))
        << w.TrayIcon->toolTip().toStdString();
    w.NotifyIconClick(QSystemTrayIcon::Trigger);  // hidden with the tray icon
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(+w.mData.mSetup[0].TmrEnable, 1);
    EXPECT_EQ(+w.mData.mSetup[1].TmrEnable, 0);
    w.TransferTimerTimer();
    EXPECT_EQ(w.TrayIcon->toolTip().toStdString().find("暂停监视"), std::string::npos);

    w.NotifyIconClick(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(w.saveSettings());
    w.WMSysCommand(SC_MINIMIZE);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(+w.mData.mSetup[0].TmrEnable, 1);
    w.WMSysCommand(0xF030);  // any other command is left alone
    EXPECT_FALSE(w.isVisible());
}

TEST_F(TrayTest, WithoutATrayTheMinimisedWindowIsOpenedOnlyThroughTheChecks)
{
    ASSERT_TRUE(PlatformSettings::writeShowNeedPass(1));
    PlatformSettings::overrideSystemTray(false);
    TFormMain &w = start();
    EXPECT_EQ(w.TrayIcon, nullptr);
    EXPECT_TRUE(w.isMinimized());
    EXPECT_TRUE(w.isOutOfSight());
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::Tool));  // its taskbar button is the way back
    EXPECT_FALSE(w.LEDList->isVisible());
    EXPECT_EQ(+w.mData.mSetup[0].TmrEnable, 1);

    // A restore from the taskbar: a cancelled prompt minimises it again unseen.
    script.passwords.push_back(std::nullopt);
    w.showNormal();
    EXPECT_FALSE(w.LEDList->isVisible());
    ASSERT_TRUE(waitUntil([&] { return script.passwords.empty() && w.isMinimized(); }));
    EXPECT_FALSE(w.LEDList->isVisible());
    EXPECT_TRUE(w.ChkPromptPwd->isChecked());

    script.passwords.push_back(QString());  // no stored password: the empty entry passes
    w.setActivePage(0);
    w.showNormal();
    ASSERT_TRUE(waitUntil([&] { return !w.isOutOfSight(); }));
    EXPECT_TRUE(w.LEDList->isVisible());
    EXPECT_EQ(w.MyPage->currentIndex(), 1);

    // "ShowNeedPass" 2 keeps it closed without asking.
    w.WMSysCommand(SC_MINIMIZE);
    ASSERT_TRUE(PlatformSettings::writeShowNeedPass(2));
    w.showNormal();
    ASSERT_TRUE(waitUntil([&] { return w.isMinimized(); }));
    EXPECT_FALSE(w.LEDList->isVisible());
}

TEST_F(TrayTest, ATrayThatComesLaterTakesTheWindowOffTheTaskbar)
{
    PlatformSettings::overrideSystemTray(false);
    TFormMain &w = start();
    ASSERT_TRUE(w.isMinimized());
    PlatformSettings::overrideSystemTray(true);
    ASSERT_TRUE(waitUntil([&] { return w.TrayIcon != nullptr; }, 15000));
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.isMinimized());
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::Tool));
    w.NotifyIconClick(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.LEDList->isVisible());

    // An open window stays open when the tray comes.
    window.reset();
    PlatformSettings::overrideSystemTray(false);
    TFormMain &again = start();
    again.showNormal();
    ASSERT_TRUE(waitUntil([&] { return !again.isOutOfSight(); }));
    PlatformSettings::overrideSystemTray(true);
    ASSERT_TRUE(waitUntil([&] { return again.TrayIcon != nullptr; }, 15000));
    EXPECT_TRUE(again.isVisible());
    EXPECT_FALSE(again.isOutOfSight());
    EXPECT_TRUE(again.windowFlags().testFlag(Qt::Tool));
}

TEST_F(TrayTest, TheTrayIconAndTheWindowCarryTheProgramIcon)
{
    TFormMain &w = start();
    ASSERT_NE(w.TrayIcon, nullptr);
    EXPECT_FALSE(w.TrayIcon->icon().isNull());
    EXPECT_FALSE(w.windowIcon().isNull());
    const QList<QSize> sizes = programIcon().availableSizes();
    for (int size : {16, 32, 48, 64}) EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
}

TEST_F(TrayTest, PromptSettingDecidesWhetherAndHowTheWindowOpens)
{
    ASSERT_TRUE(PlatformSettings::writeShowNeedPass(1));
    TFormMain &w = start();
    EXPECT_EQ(w.mPwdCRC, 0);

    script.passwords.push_back(std::nullopt);  // closed without OK: silent
    w.NotifyIconClick(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.ChkPromptPwd->isChecked());
    EXPECT_TRUE(script.messages.empty());

    script.passwords.push_back(QStringLiteral("x"));  // no stored password: only a 0 check value passes
    w.NotifyIconClick(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(w.isVisible());
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].text, QStringLiteral("    口令错误!    "));
    EXPECT_EQ(script.messages[0].caption, QStringLiteral("错误"));

    script.passwords.push_back(QString());
    w.NotifyIconClick(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(w.isVisible());

    w.NotifyIconClick(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(PlatformSettings::writeShowNeedPass(2));  // written by hand
    w.NotifyIconClick(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(TrayTest, InitialisationPageAlwaysAsksAndReturnsToTheFilePage)
{
    QSettings(QStringLiteral("Corvane"), QStringLiteral("VRX7300Marqora"))
        .setValue(QStringLiteral("Password"), checkValue("口令9"));
    TFormMain &w = start();
    EXPECT_EQ(w.mPwdCRC, checkValue("口令9"));
    w.show();
    w.MyPage->show();
    w.bConnected = true;
    w.setActivePage(1);

    script.passwords.push_back(QStringLiteral("wrong"));
    w.MyPage->setCurrentIndex(2);  // as a click on the tab
    EXPECT_EQ(w.MyPage->currentIndex(), 1);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].caption, QStringLiteral("初始化"));

    script.passwords.push_back(std::nullopt);
    w.MyPage->setCurrentIndex(2);
    EXPECT_EQ(w.MyPage->currentIndex(), 1);
    EXPECT_EQ(script.messages.size(), 1u);

    script.passwords.push_back(QStringLiteral("口令9"));
    w.MyPage->setCurrentIndex(2);
    EXPECT_EQ(w.MyPage->currentIndex(), 2);
    EXPECT_TRUE(w.PnInitial->isEnabled());
}

TEST_F(TrayTest, ChangedPasswordIsStoredAndInForce)
{
    TFormMain &w = start();
    script.passwords.push_back(std::nullopt);
    w.BtnChgPwdClick();
    EXPECT_EQ(w.mPwdCRC, 0);
    script.passwords.push_back(QStringLiteral("新的"));
    w.BtnChgPwdClick();
    EXPECT_EQ(w.mPwdCRC, checkValue("新的"));
    EXPECT_EQ(PlatformSettings::readPassword(), checkValue("新的"));
}

TEST_F(TrayTest, PasswordThatCannotBeStoredIsNotPutInForce)
{
    TFormMain &w = start();
    // A folder where the settings file belongs makes every write fail, even for root.
    const QString file = QSettings(QStringLiteral("Corvane"), QStringLiteral("VRX7300Marqora")).fileName();
    QFile::remove(file);
    ASSERT_TRUE(QDir().mkpath(file));
    script.passwords.push_back(QStringLiteral("abc"));
    w.BtnChgPwdClick();
    EXPECT_EQ(w.mPwdCRC, 0);
    ASSERT_EQ(script.messages.size(), 1u);

    w.ChkPromptPwd->setChecked(true);  // cannot be stored: back to unticked
    EXPECT_FALSE(w.ChkPromptPwd->isChecked());
    QDir(file).removeRecursively();
}

TEST_F(TrayTest, PasswordCheckValuesUseTheCodePageBytes)
{
    EXPECT_EQ(checkValue(""), 0);
    uint16_t folded = 0;
    for (uint8_t byte : {0xBFu, 0xDAu, 0xC1u, 0xEEu}) folded = HX_NewCRC(folded, byte);  // 口令 in GBK
    EXPECT_EQ(checkValue("口令"), folded);
    EXPECT_EQ(HX_NewCRC(0, '1'), checkValue("1"));
}

TEST_F(TrayTest, PasswordEntryHoldsSixteenCharactersShownAsStars)
{
    TFormPwd dialog(nullptr);
    QTest::keyClicks(dialog.sPwd, QStringLiteral("12345678901234567"));
    EXPECT_EQ(dialog.sPwd->text(), QStringLiteral("1234567890123456"));
    EXPECT_EQ(dialog.sPwd->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("口令"));
    EXPECT_EQ(dialog.BtnOK->text(), QStringLiteral("确  定"));
}

TEST_F(TrayTest, AutorunBoxWritesAndRemovesTheAutostartEntry)
{
    TFormMain &w = start();
    EXPECT_FALSE(w.ChkAutoRun->isChecked());
    w.ChkAutoRun->setChecked(true);
    QFile entry(PlatformSettings::autoRunLocation());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("Exec=" + QCoreApplication::applicationFilePath().toUtf8()));
    entry.close();
    EXPECT_TRUE(PlatformSettings::GetAutoRunState());
    w.ChkAutoRun->setChecked(false);
    EXPECT_FALSE(QFile::exists(PlatformSettings::autoRunLocation()));

    // An entry naming another program still counts as on.
    ASSERT_TRUE(PlatformSettings::setAutoRun(true, QStringLiteral("/opt/other/program"), nullptr));
    window.reset();
    TFormMain &again = start();
    EXPECT_TRUE(again.ChkAutoRun->isChecked());
    EXPECT_TRUE(QFile::exists(PlatformSettings::autoRunLocation()));  // setting the box at start writes nothing
}

TEST_F(TrayTest, AutorunThatCannotBeWrittenIsToldAndTheBoxGoesBack)
{
    TFormMain &w = start();
    const QString location = PlatformSettings::autoRunLocation();
    ASSERT_TRUE(QDir().mkpath(location));  // a folder in the entry's place
    w.ChkAutoRun->setChecked(true);
    EXPECT_FALSE(w.ChkAutoRun->isChecked());
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(script.messages[0].text.contains(location));
    QDir(location).removeRecursively();
}

TEST(TrayMark, EveryPictureOfTheIconGetsTheBadge)
{
    qtTestApp();
    const QIcon marked = TrayStatus::markedIcon(plainIcon({16, 32}));
    EXPECT_EQ(marked.availableSizes(), (QList<QSize>{QSize(16, 16), QSize(32, 32)}));
    for (int side : {16, 32}) {
        const QImage picture = marked.pixmap(side, side).toImage();
        EXPECT_EQ(picture.pixelColor(1, 1), IconBlue) << side;
        const QColor badge = picture.pixelColor(side - side / 5, side - side / 3);
        EXPECT_GT(badge.red(), 200) << side;
        EXPECT_LT(badge.blue(), 60) << side;
    }
    // An icon without pictures still gets a visible mark.
    EXPECT_GT(badgeColour(TrayStatus::markedIcon(QIcon())).alpha(), 200);
}

TEST_F(TrayTest, FailingDisplayMarksTheIconAndIsNamedUntilItsControllerIsBack)
{
    HxSim sim;
    const std::string disk = sim.diskPath();
    const std::string port = std::to_string(sim.port());
    TFormMain &w = start();
    ASSERT_TRUE(w.TrayIcon);
    const QIcon plain = w.windowIcon();
    EXPECT_EQ(w.TrayIcon->toolTip(), QStringLiteral("VRXMarqora"));
    EXPECT_EQ(badgeColour(w.TrayIcon->icon()), badgeColour(plain));

    MySetupType &record = w.mData.mSetup[0];
    record = sim.display();
    record.bTimeSend = 1;
    record.Peroid = 1;  // a visit on every tick
    setShortString(record.FileName, utf8ToAnsi(dir.file("news.txt")));
    dir.write("news.txt", "hello");
    ASSERT_TRUE(setModificationTime(dir.file("news.txt"), std::time(nullptr) - 60));
    record.TmrEnable = 1;
    // Ticks as fast as the window takes them, the visits running beside it.
    const auto tickUntil = [&w](const std::function<bool()> &condition) {
        return waitUntil([&] { return condition() || (w.TransferTimerTimer(), false); }, 20000);
    };
    ASSERT_TRUE(tickUntil([&] { return w.transferStatus().status(0).state == WatchState::Watching; }));

    ASSERT_TRUE(sim.stop());
    ASSERT_TRUE(tickUntil([&] { return w.TrayIcon->toolTip().contains(QLatin1Char('\n')); }));
    const QStringList lines = w.TrayIcon->toolTip().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("VRXMarqora"));
    // A visit under way when the controller stopped had its first answers: refused, not silent.
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("[127.  0.  0.  1] 控制卡没有应答，自 ")) ||
                lines[1].startsWith(QStringLiteral("[127.  0.  0.  1] 控制卡拒收文件，自 ")))
        << lines[1].toStdString();
    EXPECT_NE(badgeColour(w.TrayIcon->icon()), badgeColour(plain));
    EXPECT_GT(badgeColour(w.TrayIcon->icon()).red(), 200);
    EXPECT_EQ(farCorner(w.TrayIcon->icon()), farCorner(plain));

    HxSim again({"--disk", disk, "--udp", "127.0.0.1:" + port});
    // Tried again once its back-off is over.
    ASSERT_TRUE(tickUntil([&] { return w.TrayIcon->toolTip() == QStringLiteral("VRXMarqora"); }));
    EXPECT_EQ(badgeColour(w.TrayIcon->icon()), badgeColour(plain));
}
