#include "FrmDialogs.h"
#include "FrmMain.h"
#include "FrmWidgets.h"
#include "HX_Dll.h"
#include "HxSim.h"
#include "PlatformSettings.h"
#include "QtTestApp.h"
#include "QtMainWindowFixture.h"
#include "TempDir.h"

#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

class FilePageTest : public MainWindowFixture {
protected:
    // A settings file with one network display for sim watching news.txt.
    void storeWatchingDisplay(const HxSim &sim, uint16_t peroid = 20)
    {
        storeDisplays([&](FMySetup &store) {
            store.Add(0, sim.ipText(), 0, sim.port(), 1, 2400, 1, 1, 128, 32, 0);
            setShortString(store.mSetup[0].FileName, dir.file("news.txt"));
            store.mSetup[0].Peroid = peroid;
        });
    }

    static std::string fileOnDisk(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) return "<missing>";
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
};

}  // namespace

TEST_F(FilePageTest, UnattendedStartUploadsPlayListAndFileThenResendsAChange)
{
    HxSim sim;
    dir.write("news.txt", "Hello\r\n\xB0\xA1\r\n");  // ASCII and GBK
    storeWatchingDisplay(sim, 2);
    start();  // nobody touches the window: the timer does the work

    const std::string uploaded = sim.diskPath() + "/C/NEWS.TXT";
    ASSERT_TRUE(waitUntil([&] { return fileOnDisk(uploaded) == dir.read("news.txt"); }, 5000));
    const std::string playList = fileOnDisk(sim.diskPath() + "/A/PlayList.qv");
    EXPECT_NE(playList.find("Item1=X,C:\\NEWS.TXT,0,5,5"), std::string::npos) << playList;

    // A change (with another stamp) goes up again one period later.
    dir.write("news.txt", "Changed");
    std::filesystem::last_write_time(dir.file("news.txt"),
                                     std::filesystem::last_write_time(dir.file("news.txt")) + std::chrono::hours(1));
    ASSERT_TRUE(waitUntil([&] { return fileOnDisk(uploaded) == "Changed"; }, 6000));
}

TEST_F(FilePageTest, ConfirmingThePageStoresTheWatchSettingsAndStopsEveryWatch)
{
    HxSim sim;
    storeWatchingDisplay(sim);
    TFormMain &w = start();
    QCoreApplication::processEvents();
    ASSERT_EQ(+w.mData.mSetup[0].TmrEnable, 1);
    w.LEDList->setCurrentIndex(0);
    w.LEDListChange();
    ASSERT_EQ(w.MyPage->currentIndex(), 1);

    script.files.push_back(QString::fromStdString(dir.file("other.txt")));
    w.BtnSeekFileClick();
    EXPECT_TRUE(w.BtnFileOK->isEnabled());
    w.nPeroid->setCurrentIndex(w.nPeroid->findText(QStringLiteral(" 5 分")));
    w.ChkTimeSend->setChecked(true);
    w.nEnter->setCurrentIndex(3);
    w.nSpeed->setCurrentIndex(6);
    w.nStay->setValue(12);
    w.cbDrv->setCurrentIndex(1);
    w.BtnFileOKClick();

    const MySetupType &r = w.mData.mSetup[0];
    EXPECT_EQ(shortString(r.FileName), dir.file("other.txt"));
    EXPECT_EQ(+r.Peroid, 300);
    EXPECT_EQ(+r.bTimeSend, 1);
    EXPECT_EQ(+r.Enter, 3);
    EXPECT_EQ(+r.Speed, 6);
    EXPECT_EQ(+r.Stay, 12);
    EXPECT_EQ(+r.Drv, 1);
    EXPECT_EQ(+r.TmrEnable, 0);  // saved: the watch waits for the next minimise
    FMySetup saved;
    saved.Initial(dir.path());
    EXPECT_EQ(+saved.mSetup[0].Peroid, 300);

    // Free text in the effect box selects no effect.
    w.nEnter->setEditText(QStringLiteral("闪烁两下"));
    w.BtnFileOKClick();
    EXPECT_EQ(+w.mData.mSetup[0].Enter, 65535);
}

TEST_F(FilePageTest, TypedEffectTextConfirmedWithReturnIsNoTwelfthEffect)
{
    HxSim sim;
    storeWatchingDisplay(sim);
    TFormMain &w = start();
    w.LEDList->setCurrentIndex(0);
    w.LEDListChange();
    ASSERT_EQ(w.nEnter->count(), 11);
    QLineEdit *typed = w.nEnter->lineEdit();
    QTest::keyClick(typed, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(typed, QStringLiteral("fast blink"));
    QTest::keyClick(typed, Qt::Key_Return);
    EXPECT_EQ(w.nEnter->count(), 11);
    EXPECT_EQ(w.nEnter->currentText(), QStringLiteral("fast blink"));
    EXPECT_TRUE(w.BtnFileOK->isEnabled());

    QTest::mouseClick(w.BtnFileOK, Qt::LeftButton);
    EXPECT_EQ(+w.mData.mSetup[0].Enter, 65535);
    EXPECT_EQ(+storedFile().mSetup[0].Enter, 65535);

    // Shown again, the display has no effect selected and the list is as it was.
    w.LEDListChange();
    EXPECT_EQ(w.nEnter->currentIndex(), -1);
    EXPECT_EQ(w.nEnter->count(), 11);
    EXPECT_EQ(w.nEnter->findText(QStringLiteral("fast blink")), -1);
}

TEST_F(FilePageTest, ChoosingTheSameFileAgainLeavesNothingToConfirm)
{
    HxSim sim;
    storeWatchingDisplay(sim);
    TFormMain &w = start();
    w.LEDList->setCurrentIndex(0);
    w.LEDListChange();
    script.files.push_back(QString::fromStdString(dir.file("news.txt")));
    w.BtnSeekFileClick();
    EXPECT_FALSE(w.BtnFileOK->isEnabled());
    script.files.push_back(std::nullopt);  // cancelled: nothing changes
    w.BtnSeekFileClick();
    EXPECT_EQ(w.sFileName->text(), QString::fromStdString(dir.file("news.txt")));

    w.ChkFromFile->setChecked(false);
    w.ChkFromFileClick();
    EXPECT_FALSE(w.PnAutoFile->isVisibleTo(w.PnFile));
    EXPECT_TRUE(w.BtnFileOK->isEnabled());
}

TEST_F(FilePageTest, AFileNameTheRecordCannotHoldIsRefused)
{
    HxSim sim;
    storeWatchingDisplay(sim);
    TFormMain &w = start();
    w.LEDList->setCurrentIndex(0);
    w.LEDListChange();
    w.sFileName->setText(QString::fromStdString(dir.path() + std::string(260, 'x') + ".txt"));
    w.BtnFileOKClick();
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(shortString(w.mData.mSetup[0].FileName), dir.file("news.txt"));
}
