#include "FrmDialogs.h"
#include "FrmMain.h"
#include "FrmArea.h"
#include "FrmWidgets.h"
#include "HX_Dll.h"
#include "HxSim.h"
#include "PlatformSettings.h"
#include "QtTestApp.h"
#include "QtMainWindowFixture.h"
#include "TempDir.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class InitialPageTest : public MainWindowFixture {
protected:
    // Starts the window with one display shown on the connection page: a network
    // display at port, or, with port 0, a serial one on COM9.
    TFormMain &startWithDisplay(uint16_t port)
    {
        storeDisplays([port](FMySetup &store) {
            if (port)
                store.Add(0, "127.0.0.1", 0, port, 1, 2400, 1, 1, 128, 32, 0);
            else
                store.Add(1, "", 3, 0, 9, 9600, 1, 1, 128, 32, 0);
        });
        start();
        window->ChkMode->setItemIndex(port ? 0 : 1);
        window->sRemoteIP->setIpText(QStringLiteral("127.0.0.1"));
        window->nLEDNum->setValue(3);
        window->DataToForm(window->selectedRecord());
        window->FontDlg = QFont(QStringLiteral("AR PL UMing CN"));
        window->FontDlg.setPointSize(12);
        return *window;
    }
};

}  // namespace

TEST_F(InitialPageTest, RunUploadsTheThreeFilesWithBothPhasesShown)
{
    HxSim sim({"--boot-ms", "200"});
    TFormMain &w = startWithDisplay(sim.port());
    w.vWidth->setValue(160);

    QString generatingCaption;
    int generatingMaximum = 0;
    bool pageDisabled = false;
    QTimer::singleShot(0, &w, [&] {
        generatingCaption = w.BtnInitialOK->text();
        generatingMaximum = w.mPB->maximum();
        pageDisabled = !w.MyPage->isEnabled();
    });
    QString sendingCaption;
    int sendingMaximum = 0;
    script.onMessage = [&](const QString &) {
        sendingCaption = w.BtnInitialOK->text();
        sendingMaximum = w.mPB->maximum();
    };
    w.BtnInitialOKClick();

    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].text, QStringLiteral("    初始化成功!    "));
    EXPECT_EQ(script.messages[0].caption, QStringLiteral("初始化"));
    EXPECT_EQ(generatingCaption, QStringLiteral("正在生成字库和相关文件, 请稍候..."));
    EXPECT_EQ(generatingMaximum, 9343);
    EXPECT_TRUE(pageDisabled);
    EXPECT_EQ(sendingCaption, QStringLiteral("正在向显示屏发送字库和相关文件, 请稍候..."));
    const auto kilobytes = [&](const char *name) {
        return static_cast<int>((std::filesystem::file_size(dir.file(name)) + 1023) / 1024);
    };
    EXPECT_EQ(sendingMaximum, kilobytes("MyASC.Fon") + kilobytes("MyHZ.Fon") + kilobytes("Config.qv") + 4);

    // Restored.
    EXPECT_EQ(w.BtnInitialOK->text(), QStringLiteral("初      始      化"));
    EXPECT_FALSE(w.mPB->isVisibleTo(&w));
    EXPECT_TRUE(w.MyPage->isEnabled());

    // The controller's disk holds what was made here.
    const std::string disk = sim.diskPath() + "/A/";
    std::string fontFolder;
    for (const auto &entry : std::filesystem::directory_iterator(disk))
        if (entry.is_directory()) fontFolder = entry.path().filename().string();
    EXPECT_EQ(readFile(disk + fontFolder + "/MyASC.Fon"), dir.read("MyASC.Fon"));
    EXPECT_EQ(readFile(disk + fontFolder + "/MyHZ.Fon"), dir.read("MyHZ.Fon"));
    EXPECT_EQ(dir.read("MyHZ.Fon").size(), 294912u);
    EXPECT_EQ(readFile(disk + "Config.Qv"), dir.read("Config.qv"));
    EXPECT_NE(dir.read("Config.qv").find("Font2=Fon\\MyHZ.Fon,9216,C,16,16,A0,A0"), std::string::npos);

    // The page went into the record, and the record into the file.
    FMySetup saved;
    saved.Initial(dir.path());
    EXPECT_EQ(+saved.mSetup[0].Width, 160);
    EXPECT_EQ(+saved.mSetup[0].ASCPerLine, 20);  // 160 / 8
    EXPECT_EQ(shortString(saved.mSetup[0].FontName), "AR PL UMing CN");
    EXPECT_EQ(+saved.mSetup[0].FontSize, 12);
}

TEST_F(InitialPageTest, ControllerThatDoesNotAnswerIsTold)
{
    setenv("MARQORA_COM9", dir.file("no-such-port").c_str(), 1);
    TFormMain &w = startWithDisplay(0);
    w.BtnInitialOKClick();
    unsetenv("MARQORA_COM9");
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].text, QStringLiteral("    通讯设备初始化失败!    "));
    EXPECT_TRUE(std::filesystem::exists(dir.file("MyHZ.Fon")));  // the files stay
    EXPECT_TRUE(w.BtnFont->isEnabledTo(w.PnInitial));
}

TEST_F(InitialPageTest, FontTooLargeForTheLibrariesIsRefusedBeforeAnythingIsWritten)
{
    TFormMain &w = startWithDisplay(1);
    w.FontDlg.setPointSize(200);
    w.BtnInitialOKClick();
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(script.messages[0].text.contains(QStringLiteral("4096")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("MyASC.Fon")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("Config.qv")));
}

TEST_F(InitialPageTest, FontButtonShowsFaceAndCellOfTheChosenFont)
{
    TFormMain &w = startWithDisplay(1);
    QFont chosen(QStringLiteral("AR PL UMing CN"));
    chosen.setPointSize(12);
    script.fonts.push_back(chosen);
    w.BtnFontClick(true);
    EXPECT_EQ(w.MsgFntName->text(), QStringLiteral("AR PL UMing CN"));
    EXPECT_EQ(w.MsgFntSize->text(), QStringLiteral("16x16"));
    script.fonts.push_back(std::nullopt);  // cancelled: unchanged
    w.BtnFontClick(true);
    EXPECT_EQ(w.FontDlg.pointSize(), 12);
}

TEST_F(InitialPageTest, TraditionalChineseRunMakesTheBig5Library)
{
    HxSim sim({"--boot-ms", "200"});
    setenv("LC_ALL", "zh_TW.UTF-8", 1);
    TFormMain &w = startWithDisplay(sim.port());
    setenv("LC_ALL", "C.UTF-8", 1);
    ASSERT_EQ(w.m_String.Language, 1);
    int generatingMaximum = 0;
    QTimer::singleShot(0, &w, [&] { generatingMaximum = w.mPB->maximum(); });
    w.BtnInitialOKClick();
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].text, QStringLiteral("    初始化成功!    "));
    EXPECT_EQ(generatingMaximum, 24703);
    EXPECT_EQ(dir.read("MyHZ.Fon").size(), 786432u);
    EXPECT_NE(dir.read("Config.qv").find("Font2=Fon\\MyHZ.Fon,24576,C,16,16,40,80"), std::string::npos);
}

TEST_F(InitialPageTest, AreaPickedFromTheControllersPlayListFillsTheAreaFields)
{
    HxSim sim({"--size", "192x64", "--play", "0:7"});
    std::filesystem::create_directories(sim.diskPath() + "/A/P07");
    std::ofstream(sim.diskPath() + "/A/P07/PlayList.Qv", std::ios::binary)
        << "[Program1]\r\nScreen=3\r\n[Program1_Screen1]\r\nPosition=4032,0,64,32\r\n"
           "[Program1_Screen2]\r\nPosition=4096,0,64,32\r\n[Program1_Screen3]\r\nPosition=4160,32,64,32\r\n";
    TFormMain &w = startWithDisplay(sim.port());
    w.mLEDWidth = 192;
    w.mLEDHeight = 64;
    w.ChkFromPlayList->setChecked(true);
    w.ChkFromPlayListClick();
    EXPECT_TRUE(w.BtnReadPlayList->isEnabledTo(w.PnInitial));
    EXPECT_FALSE(w.vLeft->isEnabledTo(w.PnInitial));

    QRect thirdPanel;
    // The picker opens once the play list has come, while the window goes on.
    QTimer lookForPicker;
    QObject::connect(&lookForPicker, &QTimer::timeout, &w, [&] {
        auto *picker = qobject_cast<TFormArea *>(QApplication::activeModalWidget());
        if (!picker) return;
        lookForPicker.stop();
        thirdPanel = picker->Pn3->geometry();
        picker->AreaDblClick(2);
    });
    lookForPicker.start(5);
    w.BtnReadPlayListClick();

    // 192 x 64 is wider than 4:3, so 256 / 192 picture pixels per LED; the
    // 256 x 85 picture is centred in the 272 x 218 panel, 8 and 66 pixels in.
    EXPECT_EQ(thirdPanel, QRect(171 + 8, 43 + 66, 85, 43));
    EXPECT_EQ(w.vLeft->value(), 128);  // 4160 less the leftmost 4032
    EXPECT_EQ(w.vTop->value(), 32);
    EXPECT_EQ(w.vWidth->value(), 64);
    EXPECT_EQ(w.vHeight->value(), 32);
    EXPECT_EQ(+w.mData.mSetup[0].AreaIndex, 3);
    // The pick is the record's at once: a visit before the run patches area 3.
    EXPECT_EQ(+w.mData.mSetup[0].bFromPlayList, 1);
    EXPECT_EQ(+w.mData.mSetup[0].Left, 128);
    EXPECT_EQ(+w.mData.mSetup[0].Width, 64);
    // Where that play list lives is this display's, and the window's last read.
    const PlayListState seven{"P07\\", 7};
    EXPECT_EQ(w.playLists().of(0, w.mData.mSetup[0]), seven);
    EXPECT_EQ(w.playLists().lastRead, seven);
}
