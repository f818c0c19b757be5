// The preview window against the simulated controller's own panel picture.
#include "FileIO.h"
#include "FrmPreview.h"
#include "HX_Dll.h"
#include "HxSim.h"
#include "MyString.h"
#include "QtMainWindowFixture.h"
#include "QtPanelPicture.h"
#include "QtTestApp.h"
#include "TempDir.h"
#include "TextFile.h"
#include "WatchDriver.h"
#include "RunProgram.h"

#include <QLabel>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

QFont windowFont()
{
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    return font;
}

QImage pictureOf(const std::string &png)
{
    return QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
}

TEST(Preview, DrawsTheDemoDisplayAsTheControllerShowsItAfterTheUpload)
{
    qtTestApp();
    TempDir work;
    const std::string png = work.file("panel.png");
    HxSim sim({"--size", "160x64", "--png", png, "--boot-ms", "100"});
    work.write("news.txt", "Marqora LED demo\r\n欢迎使用LED显示屏\r\n镕😀 Edit news.txt and the panel follows.\r\n");
    const ProgramResult demo =
        runProgram(HxSim::siblingBinary("marqora-demo"), {"--home", work.file("home"), "--port",
                                                          std::to_string(sim.port()), "--size", "160x64", "--text",
                                                          work.file("news.txt")});
    ASSERT_EQ(demo.exitCode, 0) << demo.output;
    FMySetup store;
    store.Initial(work.file("home/"));
    MySetupType *record = store.Get(0, "127.0.0.1", 0);
    ASSERT_TRUE(record);

    // The watch sends a converted copy of the operator's UTF-8 file.
    record->TmrEnable = 1;
    WatchDriver driver(store);
    driver.tick();
    ASSERT_TRUE(record->TmrStart);
    EXPECT_NE(driver.watch().status().status(0).warning.find("镕（字库中没有）、😀（GBK 中没有）"), std::string::npos);

    TFormPreview preview([&] { return record; }, 0, windowFont());
    preview.refresh();
    ASSERT_FALSE(preview.picture().isNull()) << preview.message().toStdString();
    const QImage shown = preview.picture().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(panelOfPicture(shown).litCount(), 500);
    // hxsim rewrites its picture after answering, so it may lag a moment.
    EXPECT_TRUE(waitUntil([&] { return pictureOf(png) == shown; }, 10000))
        << panelOfPicture(pictureOf(png)).litCount() << " LEDs lit on hxsim, " << panelOfPicture(shown).litCount()
        << " in the preview";
    EXPECT_TRUE(preview.MsgInfo->text().contains(QStringLiteral("（UTF-8）")));
    EXPECT_TRUE(preview.MsgInfo->text().contains(QStringLiteral("镕（字库中没有）、😀（GBK 中没有）")))
        << preview.MsgInfo->text().toStdString();
}

TEST(Preview, SaysWhyThereIsNothingToDraw)
{
    qtTestApp();
    TempDir dir;
    dir.write("news.txt", "Hi");
    MySetupType display{};
    display.bUsed = 1;
    display.LEDWidth = 64;
    display.LEDHeight = 16;
    display.Width = 64;
    display.Height = 16;
    display.bFromFile = 1;
    setShortString(display.FontName, utf8ToAnsi("宋体"));
    display.FontSize = 12;
    setShortString(display.FileName, dir.file("news.txt"));
    const MySetupType *shown = &display;
    TFormPreview preview([&] { return shown; }, 0, windowFont());
    preview.refresh();
    ASSERT_FALSE(preview.picture().isNull()) << preview.message().toStdString();
    EXPECT_EQ(preview.picture().size(), QSize(64 * kPixelsPerLed, 16 * kPixelsPerLed));

    struct Case {
        std::function<void(MySetupType &)> change;
        QString message;
    };
    const Case cases[] = {
        {[&](MySetupType &) { std::filesystem::remove(dir.file("news.txt")); },
         QStringLiteral("文件不存在：") + QString::fromStdString(dir.file("news.txt"))},
        {[](MySetupType &d) { setShortString(d.FileName, ""); }, QStringLiteral("未选择文件")},
        {[](MySetupType &d) { d.bFromFile = 0; }, QStringLiteral("显示屏不自动读文件")},
        {[](MySetupType &d) { setShortString(d.FontName, ""); }, QStringLiteral("显示屏没有字体, 请先初始化显示屏")},
        {[](MySetupType &d) { d.LEDWidth = 0; }, QStringLiteral("显示屏大小未知, 请先在连接设置中连接显示屏")},
        {[&](MySetupType &) { shown = nullptr; }, QStringLiteral("请先在显示屏列表中选择显示屏")},
    };
    for (const Case &c : cases) {
        c.change(display);
        preview.refresh();
        EXPECT_TRUE(preview.picture().isNull());
        EXPECT_EQ(preview.message(), c.message);
    }
}

class PreviewButton : public MainWindowFixture {};

TEST_F(PreviewButton, OpensThePreviewOfTheSelectedDisplayAndFollowsItsFile)
{
    HxSim sim({"--size", "32x16"});
    dir.write("news.txt", "欢迎");
    storeDisplays([&](FMySetup &store) {
        store.Add(0, sim.ipText(), 0, sim.port(), 1, 2400, 1, 1, 32, 16, 0);
        setShortString(store.mSetup[0].FileName, dir.file("news.txt"));
    });
    TFormMain &w = start();
    w.LEDList->setCurrentIndex(0);
    w.LEDListChange();
    w.BtnPreview->click();
    ASSERT_TRUE(w.FormPreview && w.FormPreview->isVisible());
    const QImage first = w.FormPreview->picture();
    ASSERT_FALSE(first.isNull()) << w.FormPreview->message().toStdString();
    EXPECT_EQ(first.size(), QSize(32 * kPixelsPerLed, 16 * kPixelsPerLed));

    dir.write("news.txt", "Hi");
    ASSERT_TRUE(setModificationTime(dir.file("news.txt"), std::time(nullptr) + 3600));
    EXPECT_TRUE(w.FormPreview->TimerFollow->isActive());
    w.FormPreview->refresh();  // what the timer does every second
    EXPECT_FALSE(w.FormPreview->picture() == first);
    EXPECT_TRUE(w.FormPreview->MsgInfo->text().endsWith(QStringLiteral("（GBK）")));
}

}  // namespace
