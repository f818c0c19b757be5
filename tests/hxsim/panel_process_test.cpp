// hxsim's panel as a process: initialised through the program's own
// initialisation, fed by the automatic transfer, read back from its PNG.
#include "HX_Dll.h"
#include "HxSim.h"
#include "InitialRun.h"
#include "PanelPicture.h"
#include "ProgramFonts.h"
#include "TempDir.h"
#include "WatchDriver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

LedPanel panelOfPng(const std::string &path)
{
    return panelOfPicture(QImage(QString::fromStdString(path)));
}

// Polls the PNG until it shows want; the file is rewritten after hxsim
// answered, so it may lag the last request by a moment.
bool pngShows(const std::string &path, const LedPanel &want)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(panelOfPng(path) == want)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TEST(PanelProcess, InitialisedControllerShowsTheWatchedFile)
{
    const ProgramFonts &fonts = programFonts(false);
    TempDir work;
    const std::string png = work.file("panel.png");
    HxSim sim({"--size", "64x16", "--png", png, "--boot-ms", "100"});
    ASSERT_TRUE(fs::exists(png)) << "the first picture is there when hxsim reports ready";
    EXPECT_EQ(panelOfPng(png).litCount(), 0);

    FMySetup store;
    MySetupType &record = store.mSetup[0] = sim.display(0, 3, 64, 16);
    ASSERT_EQ(sendInitialFiles(hxTable(), record, fonts.folder.path(), {[] {}, sleepMilliseconds}),
              InitialOutcome::Success);

    const std::string watched = work.file("news.txt");
    std::ofstream(watched, std::ios::binary) << "AB \xB0\xA1";
    record.bFromFile = 1;
    record.TmrEnable = 1;
    record.Peroid = 10;
    record.Drv = 2;
    record.Enter = 1;
    setShortString(record.FileName, watched);
    store.mProgPath = work.path();
    WatchDriver(store).tick();
    ASSERT_TRUE(record.TmrStart);

    LedPanel want(64, 16);
    fonts.placeGlyph(want, false, 'A', 0, 0);
    fonts.placeGlyph(want, false, 'B', 8, 0);
    fonts.placeGlyph(want, true, kRecordOfAh, 24, 0);
    EXPECT_TRUE(pngShows(png, want)) << panelOfPng(png).litCount() << " LEDs lit, " << want.litCount() << " wanted";
    EXPECT_TRUE(sim.stop());
}

TEST(PanelProcess, WindowKeepsServingAndStopsCleanly)
{
    TempDir work;
    const std::string png = work.file("panel.png");
    HxSim sim({"--window", "--png", png, "--size", "32x8"});
    MySetupType record = sim.display(0, 3, 64, 16);
    const int32_t device = NetComInitial(hxTable(), record);
    ASSERT_GE(device, 0);
    EXPECT_NE(hxTable().TurnVGA(static_cast<uint16_t>(device), 0), 0);
    uint8_t playInfo[HX_PLAYINFO_SIZE] = {};
    EXPECT_NE(hxTable().GetPlayInfo(static_cast<uint16_t>(device), playInfo), 0);
    hxTable().Close(static_cast<uint16_t>(device));
    EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(32 * kPixelsPerLed, 8 * kPixelsPerLed));
    EXPECT_TRUE(sim.stop()) << "SIGTERM ends the serving thread and the window";
}

} // namespace
