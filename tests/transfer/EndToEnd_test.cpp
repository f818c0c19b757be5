// The transfer against the simulated controller over loopback UDP.
#include "HangGuard.h"
#include "HxSim.h"
#include "TempDir.h"
#include "link/HX_Dll.h"
#include "settings/FileIO.h"
#include "text/MyString.h"
#include "transfer/Profile.h"
#include "WatchDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace {


void putFile(const std::string &path, const std::string &content)
{
    fs::create_directories(localPath(path).parent_path());
    std::ofstream(localPath(path), std::ios::binary) << content;
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

std::vector<std::map<std::string, std::string>> requestsNamed(const HxSim &sim, const std::string &op)
{
    std::vector<std::map<std::string, std::string>> found;
    for (auto &request : sim.requests())
        if (request["op"] == op) found.push_back(request);
    return found;
}

// The play list a controller plays: three areas, each showing its own file.
const std::string ThreeAreas = "[Program1]\r\nTimer1=01120131010700002359\r\nMainScreen=1\r\nScreen=3\r\n"
                               "[Program1_Screen1]\r\nPosition=3968,0,128,16\r\nItemCount=1\r\n"
                               "Item1=X,A:\\ONE.TXT,1,1,1\r\n"
                               "[Program1_Screen2]\r\nPosition=4032,16,64,16\r\nItemCount=1\r\n"
                               "Item1=X,A:\\TWO.TXT,1,1,1\r\n"
                               "[Program1_Screen3]\r\nPosition=4096,16,64,16\r\nItemCount=2\r\n"
                               "Item1=X,A:\\THREE.TXT,1,1,1\r\nItem2=X,A:\\MORE.TXT,1,1,1\r\n";

// A display of sim watching path from the first tick on, on C:.
MySetupType watchingDisplay(const HxSim &sim, const char *address, const std::string &path)
{
    MySetupType record = sim.display(0, 2);
    record.Addr = FMySetup::IPStrToLong(address);
    record.TmrEnable = 1;
    setShortString(record.FileName, path);
    return record;
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
    ASSERT_TRUE(setModificationTime(watched, 1700000000));

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
    store.mProgPath = prog.path();
    WatchDriver driver(store);

    driver.tick();
    ASSERT_TRUE(record.TmrStart);
    EXPECT_EQ(readFile(sim.diskPath() + "/C/NEWS~1.TXT"), first);
    const std::string playListOnController = readFile(sim.diskPath() + "/A/PlayList.qv");
    EXPECT_NE(playListOnController.find("Position=3968,0,128,32\r\nItemCount=1\r\nItem1=X,C:\\NEWS~1.TXT,0,4,5\r\n"),
              std::string::npos);
    EXPECT_EQ(countOf(sim, "Reset"), 1);

    const std::string second = first + "Line 3: " + utf8ToAnsi("更新") + "\r\n";
    putFile(watched, second);
    ASSERT_TRUE(setModificationTime(watched, 1700000060));
    driver.tick(19);
    EXPECT_EQ(countOf(sim, "SaveToFile"), 2);
    driver.tick();
    EXPECT_EQ(readFile(sim.diskPath() + "/C/NEWS~1.TXT"), second);
    EXPECT_EQ(countOf(sim, "SaveToFile"), 3);
    EXPECT_EQ(countOf(sim, "Reset"), 2);
}

// Display A plays list 7 of its controller and takes its area from there;
// display B, on another controller that also holds a list 7 but plays none,
// does not. Each controller keeps its own lists.
TEST(TwoControllers, EachDisplayUsesThePlayListOfItsOwnController)
{
    if (!HxSim::kSecondLoopbackAnswers) GTEST_SKIP() << HxSim::kNoSecondLoopback;
    HxSim playing({"--play", "0:7"});
    HxSim plain({"--udp", "127.0.0.2:0"});
    const std::string ownSeven = "[Program1]\r\nScreen=1\r\n[Program1_Screen1]\r\nItem1=X,A:\\MINE.TXT,1,1,1\r\n";
    putFile(playing.diskPath() + "/A/P07/PlayList.Qv", ThreeAreas);
    putFile(plain.diskPath() + "/A/P07/PlayList.Qv", ownSeven);
    TempDir prog;
    prog.write("a.txt", "text of A");
    prog.write("b.txt", "text of B");

    FMySetup store;
    MySetupType &a = store.mSetup[0] = watchingDisplay(playing, "127.0.0.1", prog.file("a.txt"));
    a.bFromPlayList = 1;
    a.AreaIndex = 2;
    MySetupType &b = store.mSetup[1] = watchingDisplay(plain, "127.0.0.2", prog.file("b.txt"));
    store.mProgPath = prog.path();
    WatchDriver(store).tick();
    ASSERT_TRUE(a.TmrStart && b.TmrStart);

    EXPECT_EQ(readFile(playing.diskPath() + "/C/A.TXT"), "text of A");
    EXPECT_EQ(readFile(plain.diskPath() + "/C/B.TXT"), "text of B");

    std::string expected = ThreeAreas;
    expected.replace(expected.find("X,A:\\TWO.TXT,1,1,1"), 18, "X,C:\\A.TXT,0,5,5");
    EXPECT_EQ(readFile(playing.diskPath() + "/A/P07/PlayList.Qv"), expected);
    EXPECT_FALSE(fs::exists(playing.diskPath() + "/A/PlayList.qv"));
    EXPECT_EQ(requestsNamed(playing, "Reset").at(0).at("value"), std::to_string(7 << 16));

    EXPECT_EQ(readFile(plain.diskPath() + "/A/P07/PlayList.Qv"), ownSeven);
    const auto fresh = IniDocument::parse(readFile(plain.diskPath() + "/A/PlayList.qv"));
    EXPECT_EQ(fresh.value("Program1", "Screen"), "1");
    EXPECT_EQ(fresh.value("Program1_Screen1", "Item1"), "X,C:\\B.TXT,0,5,5");
    EXPECT_EQ(requestsNamed(plain, "Reset").at(0).at("value"), "0");
    EXPECT_TRUE(requestsNamed(plain, "GetPlayInfo").empty());
}

// A display that takes its area from the list its controller plays: while
// that list cannot be read (a controller still booting, a card swapped),
// nothing is uploaded and nothing restarted, so the operator's program (a
// clock in area 1, say) stays; once it can be read, only area 2 is patched.
TEST(FirstVisit, AFailedReadOfTheControllersListSendsNothing)
{
    HxSim sim({"--play", "0:7"});
    TempDir prog;
    FMySetup store;
    store.mProgPath = prog.path();
    prog.write("news.txt", "news");
    ASSERT_TRUE(setModificationTime(prog.file("news.txt"), 1700000000));
    MySetupType &record = store.mSetup[0] = watchingDisplay(sim, "127.0.0.1", prog.file("news.txt"));
    record.bFromPlayList = 1;
    record.AreaIndex = 2;
    WatchDriver driver(store);

    driver.tick();
    ASSERT_FALSE(record.TmrStart);
    EXPECT_EQ(driver.watch().status().status(0).reason, VisitOutcome::PlayListUnreadable);
    EXPECT_EQ(countOf(sim, "SaveToFile") + countOf(sim, "Reset"), 0);
    EXPECT_EQ(+record.AreaIndex, 2);

    putFile(sim.diskPath() + "/A/P07/PlayList.Qv", ThreeAreas);
    driver.tick(8);
    ASSERT_TRUE(record.TmrStart);
    std::string expected = ThreeAreas;
    expected.replace(expected.find("X,A:\\TWO.TXT,1,1,1"), 18, "X,C:\\NEWS.TXT,0,5,5");
    EXPECT_EQ(readFile(sim.diskPath() + "/A/P07/PlayList.Qv"), expected);
    EXPECT_FALSE(fs::exists(sim.diskPath() + "/A/PlayList.qv"));
    EXPECT_EQ(readFile(sim.diskPath() + "/C/NEWS.TXT"), "news");
    EXPECT_EQ(requestsNamed(sim, "Reset").at(0).at("value"), std::to_string(7 << 16));
}

// Four controllers switched off, at the longest time-out the page offers, and
// one live display on a lossy link: the live display is served every period
// while the silent visits still wait for their answers. Switched on again (an
// hxsim on the same port), the silent ones are set up at their next try.
TEST(ManyControllers, SilentOnesDoNotHoldUpTheLiveDisplay)
{
    TempDir prog;
    FMySetup store;
    store.mProgPath = prog.path();
    std::vector<std::unique_ptr<HxSim>> silent;
    for (int i = 0; i < 4; ++i) {
        silent.push_back(std::make_unique<HxSim>(std::vector<std::string>{"--drop", "100"}));
        prog.write("silent.txt", "never seen");
        MySetupType &record = store.mSetup[i] = watchingDisplay(*silent.back(), "127.0.0.1", prog.file("silent.txt"));
        record.Timeout = 10;
        record.RetryTimes = 10;
    }
    HxSim live({"--drop", "20"});
    MySetupType &shown = store.mSetup[4] = watchingDisplay(live, "127.0.0.1", prog.file("live.txt"));
    shown.RetryTimes = 10;
    shown.Peroid = 2;
    WatchDriver driver(store);
    Watch &watch = driver.watch();

    for (int period = 0; period < 5; ++period) {
        const std::string text = "version " + std::to_string(period);
        prog.write("live.txt", text);
        watch.tick(true);
        waitFor("a controller to hold its text", [&] { return readFile(live.diskPath() + "/C/LIVE.TXT") == text; });
        waitFor("the live visit to end", [&] { return watch.jobs().running() <= 4; });
        EXPECT_EQ(watch.jobs().running(), 4) << "the silent set-ups are still waiting";
        watch.tick(true);
    }
    watch.collect();
    EXPECT_EQ(watch.status().status(4).state, WatchState::Watching);

    std::vector<std::unique_ptr<HxSim>> switchedOn;  // on the disks the silent ones keep
    for (auto &controller : silent) {
        controller->stop();
        switchedOn.push_back(std::make_unique<HxSim>(std::vector<std::string>{
            "--disk", controller->diskPath(), "--udp", "127.0.0.1:" + std::to_string(controller->port())}));
    }
    // Set up once back: at once, or 8 ticks later when the stop ended their set-up.
    finishJobs(watch.jobs());
    driver.tick(8);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(+store.mSetup[i].TmrStart) << i;
}

// What an operator's scripts and a controller in the field do, each ending
// with the controller holding the file's last content.
TEST(FieldCases, TheControllerEndsWithTheFilesLastContent)
{
    struct Case {
        const char *what;
        std::function<void(TempDir &prog, const HxSim &sim)> act;
        int ticks;  // watch periods are 20 ticks
    };
    const std::string news = "news.txt";
    const Case cases[] = {
        {"a change in the same two-second step",
         [&](TempDir &prog, const HxSim &) {
             prog.write(news, "B");
             ASSERT_TRUE(setModificationTime(prog.file(news), 1700000001));
         },
         20},
        {"the same day and time a month later",
         [&](TempDir &prog, const HxSim &) {
             prog.write(news, "B");
             ASSERT_TRUE(setModificationTime(prog.file(news), 1700000000 + 30 * 86400));
         },
         20},
        {"generate > news.txt: emptied, then written in the same second",
         [&](TempDir &prog, const HxSim &) {
             prog.write(news, "");
             ASSERT_TRUE(setModificationTime(prog.file(news), 1700000100));
         },
         20},
        {"a controller that lost its play list and text",
         [&](TempDir &, const HxSim &sim) {
             fs::remove(sim.diskPath() + "/A/PlayList.qv");
             fs::remove(sim.diskPath() + "/C/NEWS.TXT");
         },
         Watch::CheckTicks + 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        HxSim sim;
        TempDir prog;
        prog.write(news, "A");
        ASSERT_TRUE(setModificationTime(prog.file(news), 1700000000));
        FMySetup store;
        store.mProgPath = prog.path();
        store.mSetup[0] = watchingDisplay(sim, "127.0.0.1", prog.file(news));
        WatchDriver driver(store);
        driver.tick();
        ASSERT_EQ(readFile(sim.diskPath() + "/C/NEWS.TXT"), "A");
        c.act(prog, sim);
        driver.tick(c.ticks);
        if (prog.read(news).empty()) {
            // The text follows within the same second as the emptying.
            prog.write(news, "generated");
            ASSERT_TRUE(setModificationTime(prog.file(news), 1700000100));
            driver.tick(20);
        }
        EXPECT_EQ(readFile(sim.diskPath() + "/C/NEWS.TXT"), prog.read(news));
        EXPECT_TRUE(fs::exists(sim.diskPath() + "/A/PlayList.qv"));
        EXPECT_EQ(driver.watch().status().status(0).state, WatchState::Watching);
    }
}
