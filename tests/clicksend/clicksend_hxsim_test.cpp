// Click-send against two simulated controllers over loopback UDP.
#include "clicksend/ClickSend.h"

#include "HangGuard.h"
#include "HxSim.h"
#include "WatchDriver.h"
#include "TempDir.h"
#include "settings/FileIO.h"
#include "transfer/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

using Request = std::map<std::string, std::string>;

std::string hexOf(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char byte : bytes) {
        out += digits[byte >> 4];
        out += digits[byte & 0x0F];
    }
    return out;
}

std::vector<Request> requestsNamed(const HxSim &sim, const std::string &op)
{
    std::vector<Request> found;
    for (auto &request : sim.requests())
        if (request["op"] == op) found.push_back(request);
    return found;
}

// Two displays, one per simulated controller; the second listens on another
// loopback address because the store keys network displays by address.
class ClickSendOnHxSim : public testing::Test {
protected:
    HxSim first;
    HxSim second{{"--udp", "127.0.0.2:0"}};
    TempDir dir;
    FMySetup store;
    PlayListLocations places;
    ControllerJobs jobs{8};

    void SetUp() override
    {
        if (!HxSim::kSecondLoopbackAnswers) GTEST_SKIP() << HxSim::kNoSecondLoopback;
        store.mProgPath = dir.path();
        store.Add(0, "127.0.0.1", 0, first.port(), 0, 0, 1, 2, 128, 16, 0);
        store.Add(0, "127.0.0.2", 0, second.port(), 0, 0, 1, 2, 192, 32, 0);
        for (int i : {0, 1}) {
            store.mSetup[i].bFromFile = 0;
            store.mSetup[i].AreaIndex = 1;
            store.mSetup[i].ASCPerLine = 16;
        }
        store.mSetup[1].Left = 64;
        store.mSetup[1].Top = 8;
    }
};

TEST_F(ClickSendOnHxSim, PreparingUploadsThePlayListAndRestartsIt)
{
    prepareDisplays(jobs, hxTable(), store, places, clickSendEntries(store));
    finishJobs(jobs);

    const std::map<const HxSim *, std::string> positions{{&first, "3968,0,128,16"}, {&second, "3968,8,192,32"}};
    for (const auto &[sim, position] : positions) {
        const auto saves = requestsNamed(*sim, "SaveToFile");
        ASSERT_EQ(saves.size(), 1u);
        EXPECT_EQ(saves[0].at("drive"), "0");
        EXPECT_EQ(saves[0].at("path"), "PlayList.qv");
        EXPECT_EQ(saves[0].at("ok"), "true");
        const auto resets = requestsNamed(*sim, "Reset");
        ASSERT_EQ(resets.size(), 1u);
        EXPECT_EQ(resets[0].at("value"), "0");

        const auto uploaded = readWholeFile(sim->diskPath() + "/A/PlayList.qv");
        ASSERT_TRUE(uploaded);
        const auto playList = IniDocument::parse(*uploaded);
        EXPECT_EQ(playList.value("Program1", "MainScreen"), "3");
        EXPECT_EQ(playList.value("Program1_Screen1", "Position"), position);
        EXPECT_EQ(playList.value("Program1_Screen1", "Item1"), "X,C:\\NULL.TXT,1,1,60000");
    }
}

// One controller plays its list 7 of three areas, the display there takes
// area 3 from it; the other controller also holds a list 7 but plays none.
TEST(ClickSendOnTwoControllers, EachDisplayIsPreparedInThePlayListOfItsOwnController)
{
    if (!HxSim::kSecondLoopbackAnswers) GTEST_SKIP() << HxSim::kNoSecondLoopback;
    HxSim playing({"--play", "0:7"});
    HxSim plain({"--udp", "127.0.0.2:0"});
    const std::string three = "[Program1]\r\nScreen=3\r\n[Program1_Screen1]\r\nItem1=X,A:\\ONE.TXT,1,1,1\r\n"
                              "[Program1_Screen2]\r\nItem1=X,A:\\TWO.TXT,1,1,1\r\n"
                              "[Program1_Screen3]\r\nItemCount=2\r\nItem1=X,A:\\THREE.TXT,1,1,1\r\n";
    const std::string ownSeven = "[Program1]\r\nScreen=1\r\n";
    TempDir dir;
    std::filesystem::create_directories(playing.diskPath() + "/A/P07");
    std::filesystem::create_directories(plain.diskPath() + "/A/P07");
    ASSERT_TRUE(replaceFileAtomically(playing.diskPath() + "/A/P07/PlayList.Qv", three));
    ASSERT_TRUE(replaceFileAtomically(plain.diskPath() + "/A/P07/PlayList.Qv", ownSeven));

    FMySetup store;
    store.mProgPath = dir.path();
    store.Add(0, "127.0.0.1", 0, playing.port(), 0, 0, 1, 2, 128, 16, 0);
    store.Add(0, "127.0.0.2", 0, plain.port(), 0, 0, 1, 2, 128, 16, 0);
    for (int i : {0, 1}) store.mSetup[i].bFromFile = 0;
    store.mSetup[0].bFromPlayList = 1;
    store.mSetup[0].AreaIndex = 3;
    store.mSetup[1].AreaIndex = 1;
    PlayListLocations places;
    ControllerJobs jobs(8);
    prepareDisplays(jobs, hxTable(), store, places, clickSendEntries(store));
    finishJobs(jobs);

    std::string patched = three;
    const std::string area3 = "ItemCount=2\r\nItem1=X,A:\\THREE.TXT,1,1,1";
    patched.replace(patched.find(area3), area3.size(), "ItemCount=1\r\nItem1=X,C:\\NULL.TXT,1,1,60000");
    EXPECT_EQ(readWholeFile(playing.diskPath() + "/A/P07/PlayList.Qv"), patched);
    EXPECT_EQ(requestsNamed(playing, "Reset").at(0).at("value"), std::to_string(7 << 16));

    EXPECT_EQ(readWholeFile(plain.diskPath() + "/A/P07/PlayList.Qv"), ownSeven);
    const auto fresh = readWholeFile(plain.diskPath() + "/A/PlayList.qv");
    ASSERT_TRUE(fresh);
    EXPECT_EQ(IniDocument::parse(*fresh).value("Program1_Screen1", "Item1"), "X,C:\\NULL.TXT,1,1,60000");
    EXPECT_EQ(requestsNamed(plain, "Reset").at(0).at("value"), "0");
}

TEST_F(ClickSendOnHxSim, ALineFromAUtf8OrGbkFileReachesEveryDisplayAlike)
{
    dir.write("utf8.txt", "\xEF\xBB\xBF\xE4\xBD\xA0\xE5\xA5\xBD world\r\nsecond line\r\n");
    dir.write("gbk.txt", "\xC4\xE3\xBA\xC3 world\r\nsecond line\r\n");
    const ClickSendText fromUtf8 = loadClickSendText(dir.file("utf8.txt"), 0, 16);
    const ClickSendText fromGbk = loadClickSendText(dir.file("gbk.txt"), 0, 16);
    ASSERT_TRUE(fromUtf8.ok && fromGbk.ok);
    ASSERT_EQ(fromUtf8.lines, fromGbk.lines);

    ClickSendLines lines;
    lines.show(jobs, hxTable(), store, clickSendEntries(store), fromUtf8.lines[0]);
    finishJobs(jobs);
    lines.show(jobs, hxTable(), store, clickSendEntries(store), fromGbk.lines[0]);
    finishJobs(jobs);

    const std::string line = "\xC4\xE3\xBA\xC3 world";
    const std::map<const HxSim *, Request> expected{
        {&first, {{"Left", "3968"}, {"Top", "0"}, {"Width", "128"}, {"Height", "16"},
                  {"text_hex", hexOf("`R0000000001280016" + line)}}},
        {&second, {{"Left", "3968"}, {"Top", "8"}, {"Width", "192"}, {"Height", "32"},
                   {"text_hex", hexOf("`R0000000001920032" + line)}}}};
    for (const auto &[sim, fields] : expected) {
        const auto shown = requestsNamed(*sim, "ShowString");
        ASSERT_EQ(shown.size(), 2u);
        for (const auto &request : shown) {
            for (const auto &[name, value] : fields) EXPECT_EQ(request.at(name), value) << name;
            EXPECT_EQ(request.at("Color"), "65535");
            EXPECT_EQ(request.at("ASCFont"), "1");
            EXPECT_EQ(request.at("HZFont"), "2");
            EXPECT_EQ(request.at("XPos"), "0");
            EXPECT_EQ(request.at("YPos"), "0");
        }
    }
}

TEST_F(ClickSendOnHxSim, AStoppedControllerIsPassedOver)
{
    ASSERT_TRUE(first.stop());
    store.mSetup[0].Timeout = 1;
    store.mSetup[0].RetryTimes = 0;
    ClickSendLines().show(jobs, hxTable(), store, clickSendEntries(store), "still here");
    // The live display has its line whatever the silent one takes.
    HangGuard guard("the line on the live display");
    while (requestsNamed(second, "ShowString").empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    finishJobs(jobs);
    EXPECT_EQ(requestsNamed(second, "ShowString").size(), 1u);
}

}  // namespace
