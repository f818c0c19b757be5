// The transfer against the simulated controller over loopback UDP.
#include "HxSim.h"
#include "TempDir.h"
#include "link/HX_Dll.h"
#include "text/MyString.h"
#include "transfer/TransferTick.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/time.h>

namespace fs = std::filesystem;

namespace {


void putFile(const std::string &path, const std::string &content)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

long countOf(const HxSim &sim, const std::string &op)
{
    const auto requests = sim.requests();
    return std::count_if(requests.begin(), requests.end(), [&](const auto &r) { return r.at("op") == op; });
}

class CurrentPlayList : public ::testing::Test {
protected:
    TempDir prog;
    PlayListState state{"P99\\", 99};
    std::vector<int> pauses;
    SleepFn sleep = [this](int ms) { pauses.push_back(ms); };
};

}  // namespace

TEST_F(CurrentPlayList, FetchedFromTheNumberedFolder)
{
    HxSim sim({"--play", "0:7"});
    putFile(sim.diskPath() + "/A/P07/PlayList.Qv", "[Program1]\r\nScreen=1\r\n");
    ASSERT_TRUE(GetPlayListFile(hxTable(), sim.display(0, 2), state, prog.path(), sleep));
    EXPECT_EQ(state.mPlayListPath, "P07\\");
    EXPECT_EQ(state.mPlayListIndex, 7);
    EXPECT_EQ(prog.read("PlayList.Qv"), "[Program1]\r\nScreen=1\r\n");
}

TEST_F(CurrentPlayList, TwoDigitNumberOnAnotherDrive)
{
    HxSim sim({"--play", "1:12"});
    putFile(sim.diskPath() + "/B/p12/playlist.qv", "twelve");
    ASSERT_TRUE(GetPlayListFile(hxTable(), sim.display(0, 2), state, prog.path(), sleep));
    EXPECT_EQ(state.mPlayListPath, "P12\\");
    EXPECT_EQ(state.mPlayListIndex, 12);
    EXPECT_EQ(prog.read("PlayList.Qv"), "twelve");
}

TEST_F(CurrentPlayList, NumberZeroFallsBackToTheTopLevel)
{
    HxSim sim({"--play", "0:0"});
    putFile(sim.diskPath() + "/A/Playlist.qv", "top");
    ASSERT_TRUE(GetPlayListFile(hxTable(), sim.display(0, 2), state, prog.path(), sleep));
    EXPECT_EQ(state.mPlayListPath, "");
    EXPECT_EQ(state.mPlayListIndex, 0);
    EXPECT_EQ(prog.read("PlayList.Qv"), "top");
}

TEST_F(CurrentPlayList, SilentHexalinkCostsSixPauses)
{
    // It answers the open, then never the play-information query.
    HxSim sim({"--type", "1", "--drop", "100", "--drop-on", "GetPlayInfo"});
    MySetupType record = sim.display(1, 2);
    record.RetryTimes = 0;
    EXPECT_FALSE(GetPlayListFile(hxTable(), record, state, prog.path(), sleep));
    EXPECT_EQ(pauses, std::vector<int>(6, 500));
    EXPECT_FALSE(fs::exists(prog.file("PlayList.Qv")));
}

TEST(WatchedFile, ArrivesUnderItsShortNameAndAgainWhenChanged)
{
    HxSim sim;
    TempDir prog;
    // The record holds the path in the ANSI code page; on disk it is UTF-8.
    const std::string watched = prog.file("每日 news.txt");
    const std::string first = "Line 1: hello\r\n" + utf8ToAnsi("第二行：今日新闻") + "\r\n";
    putFile(watched, first);
    const timeval before[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(::utimes(watched.c_str(), before), 0);

    FMySetup store;
    MySetupType &record = store.mSetup[0] = sim.display(0, 2);
    record.bFromFile = 1;
    record.TmrEnable = 1;
    record.Peroid = 20;
    record.Drv = 2;
    record.Width = 128;
    record.Height = 32;
    record.Speed = 3;
    record.Stay = 5;
    setShortString(record.FileName, utf8ToAnsi(watched));
    PlayListState playList;
    TransferReport report;
    const auto tick = [&] { transferTick(store, hxTable(), playList, true, prog.path(), report); };

    tick();
    ASSERT_TRUE(record.TmrStart);
    EXPECT_EQ(readFile(sim.diskPath() + "/C/NEWS~1.TXT"), first);
    const std::string playListOnController = readFile(sim.diskPath() + "/A/PlayList.qv");
    EXPECT_NE(playListOnController.find("Position=3968,0,128,32\r\nItemCount=1\r\nItem1=X,C:\\NEWS~1.TXT,0,4,5\r\n"),
              std::string::npos);
    EXPECT_EQ(playListOnController, prog.read("PlayList.QV"));
    EXPECT_EQ(countOf(sim, "Reset"), 1);

    const std::string second = first + "Line 3: " + utf8ToAnsi("更新") + "\r\n";
    putFile(watched, second);
    const timeval after[2] = {{1700000060, 0}, {1700000060, 0}};
    ASSERT_EQ(::utimes(watched.c_str(), after), 0);
    for (int i = 0; i < 19; ++i) tick();
    EXPECT_EQ(countOf(sim, "SaveToFile"), 2);
    tick();
    EXPECT_EQ(readFile(sim.diskPath() + "/C/NEWS~1.TXT"), second);
    EXPECT_EQ(countOf(sim, "SaveToFile"), 3);
    EXPECT_EQ(countOf(sim, "Reset"), 2);
}
