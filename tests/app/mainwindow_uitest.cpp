#include "FrmDialogs.h"
#include "FrmMain.h"
#include "FrmWidgets.h"
#include "HX_Dll.h"
#include "PlatformSettings.h"
#include "QtTestApp.h"
#include "QtMainWindowFixture.h"
#include "TempDir.h"

#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MainWindowTest : public MainWindowFixture {
protected:
    void clickTab(int index)
    {
        QTabBar *bar = window->MyPage->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    }
};

}  // namespace

TEST_F(MainWindowTest, StartsHiddenWithAnEmptyListWhenThereIsNoSettingsFile)
{
    TFormMain &w = start();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.LEDList->count(), 0);
    EXPECT_FALSE(w.MyPage->isVisibleTo(&w));
    EXPECT_FALSE(w.mbClickSend);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Marqora 2.1"));
    EXPECT_EQ(w.size(), QSize(338, 285));
    EXPECT_EQ(w.MyPage->height(), 226);
    EXPECT_TRUE(script.messages.empty());
}

TEST_F(MainWindowTest, ListsStoredDisplaysInSlotOrderWithNothingSelected)
{
    storeDisplays([](FMySetup &store) {
        store.Add(0, "10.1.1.100", 0, 27694, 1, 2400, 2, 2, 128, 32, 0);
        store.Add(1, "", 5, 0, 1, 2400, 2, 2, 128, 32, 0);
    });
    TFormMain &w = start();
    ASSERT_EQ(w.LEDList->count(), 2);
    EXPECT_EQ(w.LEDList->itemText(0), QStringLiteral("[ 10.  1.  1.100] "));
    EXPECT_EQ(w.LEDList->itemText(1), QStringLiteral("[  5] "));
    EXPECT_EQ(w.LEDList->currentIndex(), -1);
}

TEST_F(MainWindowTest, ThePostedMinimiseStartsTheWatchOfFileWatchingDisplays)
{
    storeDisplays([](FMySetup &store) {
        store.Add(0, "10.1.1.100", 0, 27694, 1, 2400, 2, 2, 128, 32, 0);
        store.Add(0, "10.1.1.101", 0, 27696, 1, 2400, 2, 2, 128, 32, 0);
        store.mSetup[1].bFromFile = 0;
    });
    TFormMain &w = start();
    EXPECT_EQ(+w.mData.mSetup[0].TmrEnable, 1);
    EXPECT_EQ(+w.mData.mSetup[1].TmrEnable, 0);
}

TEST_F(MainWindowTest, DamagedSettingsFileIsToldOnceAndTheWholeRecordsAreKept)
{
    storeDisplays([](FMySetup &store) {
        store.Add(0, "10.1.1.100", 0, 27694, 1, 2400, 2, 2, 128, 32, 0);
    });
    dir.write("Marqora.dat", dir.read("Marqora.dat").substr(0, 2 + 403 + 10));
    TFormMain &w = start();
    QCoreApplication::processEvents();
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(script.messages[0].text.contains(QStringLiteral("Marqora.dat")));
    EXPECT_EQ(w.LEDList->count(), 1);
}

TEST_F(MainWindowTest, TabsStayLockedWhileANewDisplayIsEnteredOrNotConnected)
{
    TFormMain &w = start();
    w.show();
    w.BtnNewConnectClick();
    ASSERT_TRUE(w.MyPage->isVisible());
    EXPECT_EQ(w.MyPage->currentIndex(), 0);
    clickTab(1);
    EXPECT_EQ(w.MyPage->currentIndex(), 0);

    w.bNewConnect = false;
    w.bConnected = false;  // a failed connection test
    clickTab(1);
    EXPECT_EQ(w.MyPage->currentIndex(), 0);

    w.bConnected = true;
    clickTab(1);
    EXPECT_EQ(w.MyPage->currentIndex(), 1);

    w.setActivePage(0);  // from code: neither rule nor gate runs
    EXPECT_EQ(w.MyPage->currentIndex(), 0);
}

TEST_F(MainWindowTest, ControlsCarryTheirCaptions)
{
    TFormMain &w = start();
    EXPECT_EQ(w.ChkAutoRun->text(), QStringLiteral("系统启动时运行"));
    EXPECT_EQ(w.ChkReplay->text(), QStringLiteral("发送后重新播放"));
    EXPECT_TRUE(w.ChkReplay->isChecked());
    EXPECT_EQ(w.ChkPromptPwd->text(), QStringLiteral("启动提示口令"));
    EXPECT_FALSE(w.ChkPromptPwd->isChecked());
    EXPECT_EQ(w.BtnNewConnect->text(), QStringLiteral("新  建"));
    EXPECT_EQ(w.MyPage->tabText(0), QStringLiteral("通讯设置"));
    EXPECT_EQ(w.MyPage->tabText(1), QStringLiteral("文件设置"));
    EXPECT_EQ(w.MyPage->tabText(2), QStringLiteral("初 始 化"));
    EXPECT_EQ(w.BtnInitialOK->text(), QStringLiteral("初      始      化"));
    EXPECT_EQ(w.BtnFileOK->text(), QStringLiteral("确           定"));
    EXPECT_EQ(w.BtnSetupOK->text(), QStringLiteral("确    定"));
    EXPECT_EQ(w.BtnDel->text(), QStringLiteral("删    除"));
    EXPECT_EQ(w.nPeroid->count(), 25);
    EXPECT_EQ(w.nEnter->count(), 11);
    EXPECT_EQ(w.nSpeed->currentText(), QStringLiteral("一般"));
    EXPECT_EQ(w.nbaudrate->itemText(3), QStringLiteral(" 19200"));
    EXPECT_EQ(w.nComPort->itemText(31), QStringLiteral("Com32"));
    EXPECT_EQ(w.sRemoteIP->ipText(), QStringLiteral("10 .1  .1  .100"));
    EXPECT_FALSE(w.mPB->isVisibleTo(&w));
    EXPECT_NE(qobject_cast<ReadableProgressBar *>(w.mPB), nullptr);  // readable on the disabled page of a run
}
