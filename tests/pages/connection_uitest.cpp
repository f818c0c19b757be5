#include "FrmDialogs.h"
#include "FrmMain.h"
#include "FrmWidgets.h"
#include "HX_Dll.h"
#include "HxSim.h"
#include "PlatformSettings.h"
#include "QtTestApp.h"
#include "SerialPair.h"
#include "QtMainWindowFixture.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

class ConnectionPageTest : public MainWindowFixture {
protected:
    TFormMain &startShown()
    {
        start().show();
        return *window;
    }

    // Types a new network display into the page and confirms it.
    void enterNetworkDisplay(const std::string &ip, int port)
    {
        window->BtnNewConnectClick();
        window->sRemoteIP->setIpText(QString::fromStdString(ip));
        window->nUDPPort->setValue(port);
        window->nTimeOut->setValue(1);
        window->nRetry->setValue(1);
        window->BtnSetupOKClick(true);
    }
};

}  // namespace

TEST_F(ConnectionPageTest, NewNetworkDisplayIsStoredAfterASuccessfulTestWithNameAndSize)
{
    HxSim sim({"--name", "Front", "--size", "192x64"});
    TFormMain &w = startShown();
    enterNetworkDisplay("127.0.0.1", sim.port());

    EXPECT_EQ(w.sLEDName->text(), QStringLiteral("Front"));
    ASSERT_EQ(w.LEDList->count(), 1);
    EXPECT_EQ(w.LEDList->itemText(0), QStringLiteral("[127.  0.  0.  1] Front"));
    EXPECT_EQ(w.LEDList->currentIndex(), 0);
    EXPECT_EQ(w.mLEDWidth, 192);
    EXPECT_EQ(w.mLEDHeight, 64);
    EXPECT_TRUE(w.bConnected);
    EXPECT_FALSE(w.bNewConnect);
    EXPECT_EQ(w.MyPage->currentIndex(), 1);
    EXPECT_FALSE(w.sRemoteIP->isEnabled());
    EXPECT_FALSE(w.ChkSystem->isEnabled());
    EXPECT_TRUE(w.BtnDel->isEnabled());
    EXPECT_TRUE(w.BtnSetupOK->isEnabled());

    FMySetup saved = storedFile();
    MySetupPtr record = saved.Get(0, "127.0.0.1", 0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(+record->Port, sim.port());
    EXPECT_EQ(+record->LEDWidth, 192);
    EXPECT_EQ(+record->Height, 64);
    EXPECT_EQ(+record->Timeout, 1);

    // The test really asked the controller, and closed whatever happened.
    std::vector<std::string> ops;
    for (auto &request : sim.requests()) ops.push_back(request["op"]);
    EXPECT_NE(std::find(ops.begin(), ops.end(), "GetNetConfig"), ops.end());
    EXPECT_NE(std::find(ops.begin(), ops.end(), "GetLEDConfig"), ops.end());
}

TEST_F(ConnectionPageTest, OnATraditionalChineseSystemTheNewDisplaysFontIsStoredInBig5)
{
    HxSim sim;
    setenv("LC_ALL", "zh_TW.UTF-8", 1);
    TFormMain &w = startShown();
    setenv("LC_ALL", "C.UTF-8", 1);
    ASSERT_EQ(w.m_String.Language, 1);
    enterNetworkDisplay("127.0.0.1", sim.port());

    FMySetup saved = storedFile();
    const MySetupPtr record = saved.Get(0, "127.0.0.1", 0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(shortString(record->FontName), "\xA7\xBA\xCA\x5E");  // 宋体 in Big5
    w.LEDList->setCurrentIndex(0);
    w.LEDListChange();
    EXPECT_EQ(w.FontDlg.family(), QStringLiteral("宋体"));  // the face the initialisation page uses
}

TEST_F(ConnectionPageTest, FailedTestStoresNothingAndKeepsThePagesLocked)
{
    uint16_t silentPort;
    {
        HxSim gone;
        silentPort = gone.port();
    }
    TFormMain &w = startShown();
    enterNetworkDisplay("127.0.0.1", silentPort);

    EXPECT_TRUE(w.sLEDName->text().isEmpty());
    EXPECT_EQ(w.LEDList->count(), 0);
    EXPECT_FALSE(w.bConnected);
    EXPECT_TRUE(w.bNewConnect);
    EXPECT_EQ(w.MyPage->currentIndex(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("Marqora.dat")));
    EXPECT_TRUE(script.messages.empty());  // the empty name is the only sign
}

TEST_F(ConnectionPageTest, NewDisplayPortFollowsTheNetworkDisplayCount)
{
    storeDisplays([&](FMySetup &store) {
        for (const char *ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) store.Add(0, ip, 0, 27694, 1, 2400, 2, 2, 8, 8, 0);
        store.Add(1, "", 4, 0, 1, 2400, 2, 2, 8, 8, 0);
    });
    TFormMain &w = startShown();
    w.BtnNewConnectClick();
    EXPECT_EQ(w.nUDPPort->value(), 27700);
    EXPECT_EQ(w.sRemoteIP->ipText(), QStringLiteral("   .   .   .   "));
    EXPECT_EQ(w.nTimeOut->value(), 2);
    EXPECT_EQ(w.MyPage->currentIndex(), 0);
    EXPECT_FALSE(w.BtnDel->isEnabled());
}

TEST_F(ConnectionPageTest, SelectingAnEntryReconnectsWithTheStoredValues)
{
    HxSim sim({"--name", "Hall"});
    storeDisplays([&](FMySetup &store) {
        store.Add(0, sim.ipText(), 0, sim.port(), 1, 2400, 1, 1, 128, 32, 1);
        store.mSetup[0].Peroid = 300;
    });
    TFormMain &w = startShown();
    ASSERT_EQ(w.LEDList->count(), 1);
    w.LEDList->setCurrentIndex(0);
    w.LEDListChange();

    EXPECT_EQ(w.sLEDName->text(), QStringLiteral("Hall"));
    EXPECT_EQ(w.MyPage->currentIndex(), 1);
    EXPECT_EQ(w.ChkSystem->itemIndex(), 1);
    EXPECT_EQ(w.nUDPPort->value(), sim.port());
    // After a restart the entry carries no name, and a confirmation leaves it alone.
    EXPECT_EQ(w.LEDList->itemText(0), QStringLiteral("[127.  0.  0.  1] "));
    // The file page shows the record: a Hexalink display stored with drive 2 shows C:.
    EXPECT_EQ(w.cbDrv->count(), 2);
    EXPECT_EQ(w.cbDrv->currentText(), QStringLiteral("C:"));
    EXPECT_EQ(+w.mData.mSetup[0].Drv, 1);
    EXPECT_EQ(w.nPeroid->currentText(), QStringLiteral(" 5 分"));
    EXPECT_FALSE(w.BtnFileOK->isEnabled());
}

TEST_F(ConnectionPageTest, DataToFormSelectsThePeriodItemOrNone)
{
    TFormMain &w = startShown();
    MySetupType record{};
    record.bUsed = 1;
    record.FontSize = 12;
    struct Case {
        uint16_t peroid;
        QString item;
    };
    for (const Case &c : {Case{90, QString()}, Case{300, QStringLiteral(" 5 分")},
                          Case{3600, QStringLiteral("1 小时")}, Case{10, QStringLiteral("10 秒")}}) {
        record.Peroid = c.peroid;
        w.DataToForm(&record);
        EXPECT_EQ(w.nPeroid->currentText(), c.item) << c.peroid;
    }
    record.nLEDSystem = 0;
    record.Drv = 2;
    w.DataToForm(&record);
    EXPECT_EQ(w.cbDrv->count(), 3);
    EXPECT_EQ(w.cbDrv->currentText(), QStringLiteral("C:"));
    EXPECT_EQ(+record.Drv, 2);
}

TEST_F(ConnectionPageTest, DeletingRemovesEntryAndRecordSavesAndHidesThePages)
{
    HxSim sim;
    TFormMain &w = startShown();
    enterNetworkDisplay("127.0.0.1", sim.port());
    ASSERT_EQ(w.LEDList->count(), 1);
    w.BtnDelClick();
    EXPECT_EQ(w.LEDList->count(), 0);
    EXPECT_FALSE(w.MyPage->isVisible());
    EXPECT_EQ(w.mData.usedCount(), 0);
    EXPECT_EQ(storedFile().usedCount(), 0);
}

TEST_F(ConnectionPageTest, AFullStoreRefusesANewDisplayWithAMessage)
{
    HxSim sim;
    storeDisplays([&](FMySetup &store) {
        for (int i = 0; i < _MaxItem; ++i) store.Add(1, "", static_cast<uint16_t>(i), 0, 1, 2400, 2, 2, 8, 8, 0);
    });
    TFormMain &w = startShown();
    enterNetworkDisplay("127.0.0.1", sim.port());
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].text, QStringLiteral("显示屏数量已达64个，不能再增加"));
    EXPECT_EQ(w.LEDList->count(), _MaxItem);
    EXPECT_EQ(storedFile().Get(0, "127.0.0.1", 0), nullptr);
}

TEST_F(ConnectionPageTest, SerialDisplayConnectsOverAPseudoTerminal)
{
    SerialPair line;
    HxSim sim({"--serial", line.second(), "--screen", "7", "--name", "Dock"});
    setenv("MARQORA_COM3", line.first().c_str(), 1);
    TFormMain &w = startShown();
    w.BtnNewConnectClick();
    w.ChkMode->setItemIndex(1);
    w.ChkModeClick();
    EXPECT_TRUE(w.PnCom->isVisible());
    EXPECT_FALSE(w.PnNet->isVisible());
    w.nLEDNum->setValue(7);
    w.nComPort->setCurrentIndex(2);
    w.nbaudrate->setCurrentIndex(2);  // 9600
    w.nTimeOut->setValue(1);
    w.BtnSetupOKClick(true);
    unsetenv("MARQORA_COM3");

    EXPECT_EQ(w.sLEDName->text(), QStringLiteral("Dock"));
    ASSERT_EQ(w.LEDList->count(), 1);
    EXPECT_EQ(w.LEDList->itemText(0), QStringLiteral("[  7] Dock"));
    FMySetup saved = storedFile();
    MySetupPtr record = saved.Get(1, "", 7);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(+record->Port, 3);
    EXPECT_EQ(+record->BaudRate, 9600u);
}

TEST_F(ConnectionPageTest, ASecondDisplayWithAStoredKeyIsRefused)
{
    HxSim first({"--name", "Front"});
    HxSim second({"--name", "Back"});
    TFormMain &w = startShown();
    enterNetworkDisplay("127.0.0.1", first.port());
    enterNetworkDisplay("127.0.0.1", second.port());  // the same address on another port
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].text, QStringLiteral("这个 IP 地址的显示屏已经存在，请在显示屏列表中选择它"));
    EXPECT_EQ(w.LEDList->count(), 1);
    EXPECT_EQ(w.mData.usedCount(), 1);
    EXPECT_EQ(+w.mData.mSetup[0].Port, first.port());
    EXPECT_FALSE(w.bConnected);
}

TEST_F(ConnectionPageTest, DuringAnInitialisationRunTheListStaysWithTheDisplayOfThePages)
{
    HxSim sim({"--name", "Run"});
    storeDisplays([&](FMySetup &store) {
        store.Add(0, sim.ipText(), 0, sim.port(), 1, 2400, 1, 1, 128, 32, 0);
        store.Add(0, "10.9.9.9", 0, 27694, 1, 2400, 1, 1, 128, 32, 0);
    });
    TFormMain &w = startShown();
    w.LEDList->setCurrentIndex(0);
    w.LEDListChange();
    ASSERT_EQ(w.sLEDName->text(), QStringLiteral("Run"));
    w.mInitialRunning = true;  // as while the run processes events
    w.LEDList->setCurrentIndex(1);
    w.LEDListChange();
    EXPECT_EQ(w.LEDList->currentIndex(), 0);
    EXPECT_EQ(w.selectedRecord(), &w.mData.mSetup[0]);
    w.mInitialRunning = false;
}

TEST_F(ConnectionPageTest, DuringAnInitialisationRunTheListAndNewButtonWait)
{
    HxSim sim({"--name", "Busy"});
    storeDisplays([&](FMySetup &store) { store.Add(0, sim.ipText(), 0, sim.port(), 1, 2400, 1, 1, 128, 32, 0); });
    TFormMain &w = startShown();
    w.mInitialRunning = true;  // as while the run processes events
    w.LEDList->setCurrentIndex(0);
    w.LEDListChange();
    w.BtnNewConnectClick();
    EXPECT_TRUE(w.sLEDName->text().isEmpty());
    EXPECT_FALSE(w.bNewConnect);
    EXPECT_FALSE(w.MyPage->isVisible());
    w.mInitialRunning = false;
    w.LEDListChange();
    EXPECT_EQ(w.sLEDName->text(), QStringLiteral("Busy"));
}
