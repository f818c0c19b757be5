#include "FakeHx.h"
#include "TempDir.h"
#include "transfer/LocalFiles.h"
#include "transfer/TransferTick.h"

#include "HexalinkVRX7300.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>

using Calls = std::vector<std::string>;

namespace {

void setModified(const std::string &path, time_t when)
{
    ASSERT_TRUE(setModificationTime(path, when));
}

class Tick : public ::testing::Test {
protected:
    TempDir dir;
    FakeHx fake;
    FMySetup store;
    PlayListLocations playList;
    std::time_t now = 1700000000;
    std::vector<std::string> logLines;
    TransferStatus status{[this] { return now; }, [this](const std::string &line) { logLines.push_back(line); }};
    std::vector<std::string> toolTips;
    bool replay = true;
    std::string progPath;
    std::string watched;

    void SetUp() override
    {
        std::filesystem::create_directory(dir.file("prog"));
        progPath = dir.file("prog/");
        watched = dir.file("news.txt");
        dir.write("news.txt", "hello");
        setModified(watched, 1700000000);
        status.onChange = [this] { toolTips.push_back(status.toolTip()); };
        MySetupType &record = store.mSetup[0];
        record.bUsed = 1;
        record.Addr = FMySetup::IPStrToLong("10.1.1.100");
        record.Port = 27694;
        record.Timeout = 1;
        record.RetryTimes = 1;
        record.Width = 128;
        record.Height = 32;
        record.bFromFile = 1;
        record.Peroid = 20;
        record.Speed = 4;
        record.Stay = 5;
        record.Drv = 2;
        record.TmrEnable = 1;
        setShortString(record.FileName, watched);
    }

    MySetupType &record() { return store.mSetup[0]; }

    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            transferTick(store, fake.dll(), playList, replay, progPath, status, {[](int) {}, 0});
    }

    int connections() const { return static_cast<int>(fake.callsNamed("NetInitial").size()); }

    const DisplayStatus &shown() const { return status.status(0); }
    // The log lines without their time and display: "旧 -> 新: 原因".
    std::vector<std::string> transitions() const
    {
        std::vector<std::string> changes;
        for (const auto &line : logLines) changes.push_back(line.substr(line.find("] ") + 2));
        return changes;
    }

    // Lets the first visit succeed and forgets its calls.
    void watching()
    {
        tick();
        ASSERT_TRUE(record().TmrStart);
        fake.clearCalls();
    }

    Calls textUpload(const std::string &size) const
    {
        return {"TurnVGA(266,0)", "SendData(266,0," + size + ")", "GetFileDateTime(" + watched + ")",
                "SaveToFile(266,2,NEWS.TXT," + size + ")", "TurnVGA(266,-1)"};
    }
};

}  // namespace

TEST_F(Tick, FirstVisitSetsTheDisplayUp)
{
    tick();
    const std::string playListFile = progPath + "PlayList.QV";
    const auto playListSize = std::to_string(std::filesystem::file_size(playListFile));
    Calls expected{"NetInitial(266,, 10.  1.  1.100,1,1,27694,-1)", "TurnVGA(266,0)",
                   "SendData(266,0," + playListSize + ")", "GetFileDateTime(" + playListFile + ")",
                   "SaveToFile(266,0,PlayList.qv," + playListSize + ")", "TurnVGA(266,-1)"};
    for (const auto &call : textUpload("5")) expected.push_back(call);
    expected.push_back("Reset(266,0)");
    expected.push_back("Close(266)");
    EXPECT_EQ(fake.calls(), expected);
    EXPECT_EQ(*fake.file(2, "NEWS.TXT"), "hello");
    EXPECT_NE(fake.file(0, "PlayList.qv")->find("Item1=X,C:\\NEWS.TXT,0,5,5\r\n"), std::string::npos);
    EXPECT_TRUE(+record().TmrStart);
    EXPECT_EQ(+record().ChangeTime, GetFileChangeTime(watched));
    EXPECT_EQ(+record().TmrCount, 19);
    EXPECT_EQ(+record().AreaIndex, 1);
}

TEST_F(Tick, ChangeDuringTheSetUpsRestartIsSentAtTheNextPeriod)
{
    // The restart of a slow controller takes its time; the file changes meanwhile.
    fake.duringCall("Reset", 1, [this] {
        dir.write("news.txt", "changed");
        setModified(watched, 1700000100);
    });
    const uint32_t before = GetFileChangeTime(watched);
    tick();
    ASSERT_TRUE(+record().TmrStart);
    EXPECT_EQ(+record().ChangeTime, before);
    EXPECT_EQ(*fake.file(2, "NEWS.TXT"), "hello");
    fake.clearCalls();
    tick(20);
    EXPECT_EQ(fake.callsNamed("SaveToFile"), Calls{"SaveToFile(266,2,NEWS.TXT,7)"});
    EXPECT_EQ(*fake.file(2, "NEWS.TXT"), "changed");
    EXPECT_EQ(+record().ChangeTime, GetFileChangeTime(watched));
}

TEST_F(Tick, VisitsOnTheFirstTickThenEveryPeriod)
{
    record().bTimeSend = 1;
    std::vector<int> visitedOn;
    for (int t = 1; t <= 61; ++t) {
        const int before = connections();
        tick();
        if (connections() != before) visitedOn.push_back(t);
    }
    EXPECT_EQ(visitedOn, (std::vector<int>{1, 21, 41, 61}));
}

TEST_F(Tick, FailedOpenIsRetriedEightTicksLater)
{
    fake.failCall("NetInitial", 1);
    tick();
    EXPECT_EQ(fake.calls(), Calls{"NetInitial(266,, 10.  1.  1.100,1,1,27694,-1)"});
    EXPECT_FALSE(+record().TmrStart);
    tick(7);
    EXPECT_EQ(connections(), 1);
    tick();
    EXPECT_EQ(connections(), 2);
    EXPECT_TRUE(+record().TmrStart);
}

TEST_F(Tick, FailedPlayListUploadSkipsTheRestButCloses)
{
    fake.failCall("SaveToFile", 1);
    tick();
    EXPECT_TRUE(fake.callsNamed("Reset").empty());
    EXPECT_EQ(fake.callsNamed("SaveToFile").size(), 1u);
    EXPECT_EQ(fake.calls().back(), "Close(266)");
    EXPECT_EQ(+record().TmrCount, 7);
}

TEST_F(Tick, FailedRestartRepeatsBothUploads)
{
    fake.failCall("Reset", 1);
    tick();
    EXPECT_FALSE(+record().TmrStart);
    EXPECT_EQ(fake.calls().back(), "Close(266)");
    fake.clearCalls();
    tick(8);
    EXPECT_EQ(fake.callsNamed("SaveToFile").size(), 2u);
    EXPECT_TRUE(+record().TmrStart);
}

TEST_F(Tick, MissingFileFailsEveryFirstVisitAtTheTextUpload)
{
    std::filesystem::remove(watched);
    tick();
    EXPECT_EQ(fake.callsNamed("SaveToFile").size(), 1u);  // the play list only
    EXPECT_TRUE(fake.callsNamed("Reset").empty());
    tick(8);
    EXPECT_EQ(fake.callsNamed("SaveToFile").size(), 2u);
    EXPECT_FALSE(+record().TmrStart);
}

TEST_F(Tick, UnchangedFileIsNotSentAgain)
{
    watching();
    tick(40);
    EXPECT_TRUE(fake.calls().empty());
}

TEST_F(Tick, ChangedFileIsSentAndPlaybackRestarted)
{
    watching();
    dir.write("news.txt", "news!");
    setModified(watched, 1700000100);
    tick(20);
    Calls expected{"NetInitial(266,, 10.  1.  1.100,1,1,27694,-1)"};
    for (const auto &call : textUpload("5")) expected.push_back(call);
    expected.push_back("Reset(266,0)");
    expected.push_back("Close(266)");
    EXPECT_EQ(fake.calls(), expected);
    EXPECT_EQ(+record().ChangeTime, GetFileChangeTime(watched));
    EXPECT_EQ(*fake.file(2, "NEWS.TXT"), "news!");
}

TEST_F(Tick, WithoutReplayAChangedFileIsSentButNotRestarted)
{
    replay = false;
    tick();
    EXPECT_EQ(fake.callsNamed("Reset").size(), 1u);  // the first visit restarts anyway
    setModified(watched, 1700000100);
    tick(20);
    EXPECT_EQ(fake.callsNamed("SaveToFile").size(), 3u);
    EXPECT_EQ(fake.callsNamed("Reset").size(), 1u);
}

TEST_F(Tick, ChangeInTheSameTwoSecondStepIsNotSent)
{
    setModified(watched, 1700000000 / 2 * 2);
    watching();
    setModified(watched, 1700000000 / 2 * 2 + 1);
    tick(20);
    EXPECT_TRUE(fake.calls().empty());
}

TEST_F(Tick, TimedSendingSendsEveryPeriodWithoutTakingTheStamp)
{
    record().bTimeSend = 1;
    watching();
    record().ChangeTime = 42;
    tick(40);
    EXPECT_EQ(connections(), 2);
    EXPECT_EQ(fake.callsNamed("SaveToFile").size(), 2u);
    EXPECT_EQ(+record().ChangeTime, 42u);
}

TEST_F(Tick, FailedResendKeepsTheOldStampSoTheNextPeriodTriesAgain)
{
    watching();
    const uint32_t old = record().ChangeTime;
    setModified(watched, 1700000100);
    fake.failCall("SendData", 3);  // the first visit made two
    tick(20);
    EXPECT_EQ(+record().ChangeTime, old);
    EXPECT_EQ(+record().TmrCount, 19);
    tick(20);
    EXPECT_EQ(+record().ChangeTime, GetFileChangeTime(watched));
    EXPECT_EQ(fake.callsNamed("SaveToFile").size(), 1u);
}

TEST_F(Tick, DeletedFileIsRetriedAndSentOnceRecreated)
{
    watching();
    std::filesystem::remove(watched);
    tick(20);
    EXPECT_EQ(connections(), 1);
    EXPECT_TRUE(fake.callsNamed("SendData").empty());
    EXPECT_NE(+record().ChangeTime, 0u);
    dir.write("news.txt", "back");
    setModified(watched, 1700000200);
    tick(20);
    EXPECT_EQ(*fake.file(2, "NEWS.TXT"), "back");
    EXPECT_EQ(+record().ChangeTime, GetFileChangeTime(watched));
}

TEST_F(Tick, HexalinkUsesItsOwnDisks)
{
    record().nLEDSystem = 1;
    record().Drv = 2;  // as every new record holds it
    tick();
    EXPECT_EQ(fake.callsNamed("SaveToFile")[0].substr(0, 17), "SaveToFile(266,1,");
    EXPECT_EQ(fake.callsNamed("SaveToFile")[1], "SaveToFile(266,2,NEWS.TXT,5)");
    EXPECT_NE(fake.file(1, "PlayList.qv")->find("Item1=X,C:\\NEWS.TXT"), std::string::npos);
}

TEST_F(Tick, VrxDriveAUsesDiskZero)
{
    record().Drv = 0;
    tick();
    EXPECT_EQ(fake.callsNamed("SaveToFile")[1], "SaveToFile(266,0,NEWS.TXT,5)");
    EXPECT_NE(fake.file(0, "PlayList.qv")->find("Item1=X,A:\\NEWS.TXT"), std::string::npos);
}

TEST_F(Tick, PeriodZeroWrapsTheCountdown)
{
    record().Peroid = 0;
    tick();
    EXPECT_EQ(+record().TmrCount, 65535);
}

TEST_F(Tick, NothingDueTouchesNothing)
{
    progPath = dir.file("nowhere/");
    for (auto &slot : store.mSetup) slot = record();
    for (auto &slot : store.mSetup) slot.TmrCount = 5;
    store.mSetup[3].TmrEnable = 0;
    store.mSetup[4].bUsed = 0;
    tick();
    EXPECT_TRUE(fake.calls().empty());
    EXPECT_EQ(+store.mSetup[0].TmrCount, 4);
    EXPECT_EQ(+store.mSetup[63].TmrCount, 4);
    EXPECT_EQ(+store.mSetup[3].TmrCount, 5);
    EXPECT_EQ(+store.mSetup[4].TmrCount, 5);
}

TEST_F(Tick, UnwritablePlayListIsReportedOnceAndOtherDisplaysGoOn)
{
    store.mSetup[1] = record();
    store.mSetup[1].TmrStart = 1;
    store.mSetup[1].bTimeSend = 1;
    std::filesystem::remove(dir.file("prog"));
    dir.write("prog", "not a folder");

    tick(30);
    EXPECT_FALSE(+record().TmrStart);
    ASSERT_EQ(toolTips.size(), 1u);
    EXPECT_EQ(toolTips[0].rfind("VRXMarqora\n[ 10.  1.  1.100] ", 0), 0u);
    EXPECT_EQ(toolTips[0].find('\n', 11), std::string::npos);
    EXPECT_EQ(status.status(0).lastFailure, VisitOutcome::PlayListUnwritable);
    EXPECT_EQ(connections(), 2);  // the other display's timed sends on ticks 1 and 21

    std::filesystem::remove(dir.file("prog"));
    std::filesystem::create_directory(dir.file("prog"));
    tick(8);
    EXPECT_TRUE(+record().TmrStart);
    EXPECT_EQ(toolTips, (std::vector<std::string>{toolTips[0], "VRXMarqora"}));
    tick(40);
    EXPECT_EQ(toolTips.size(), 2u);
}

TEST_F(Tick, DownloadedPlayListIsPatchedAndItsPlaceUsed)
{
    record().bFromPlayList = 1;
    record().AreaIndex = 2;
    fake.setPlayInfo(1, 7);
    fake.putFile(1, "P07\\PlayList.Qv", "[Program1]\r\nScreen=2\r\n[Program1_Screen2]\r\nItemCount=3\r\n");
    store.mSetup[1] = record();  // another display, on a controller never read
    store.mSetup[1].bFromPlayList = 0;
    store.mSetup[1].Addr = FMySetup::IPStrToLong("10.1.1.101");
    tick();
    EXPECT_EQ(playList.lastRead.mPlayListPath, "P07\\");
    EXPECT_EQ(playList.of(0, record()), (PlayListState{"P07\\", 7}));
    EXPECT_EQ(playList.of(1, store.mSetup[1]), (PlayListState{"", 0}));
    EXPECT_EQ(fake.callsNamed("Reset"), (Calls{"Reset(266,458752)", "Reset(266,0)"}));
    EXPECT_EQ(fake.callsNamed("SaveToFile")[2].substr(0, 29), "SaveToFile(266,0,PlayList.qv,");
    EXPECT_EQ(*fake.file(0, "P07\\PlayList.qv"),
              "[Program1]\r\nScreen=2\r\n[Program1_Screen2]\r\nItemCount=1\r\nItem1=X,C:\\NEWS.TXT,0,5,5\r\n");
    EXPECT_EQ(connections(), 3);
}

TEST_F(Tick, StatusFollowsTheSetUpAndAChangedFileThatFailsTwice)
{
    record().TmrEnable = 0;
    tick();
    EXPECT_EQ(shown().state, WatchState::Off);
    EXPECT_TRUE(logLines.empty());

    record().TmrEnable = 1;
    fake.failCall("NetInitial", 1);
    tick();
    EXPECT_EQ(shown().state, WatchState::Failing);
    EXPECT_EQ(shown().lastFailure, VisitOutcome::NoAnswer);
    EXPECT_EQ(shown().failuresInRow, 1);
    EXPECT_EQ(shown().lastAttempt, now);
    EXPECT_EQ(shown().failingSince, now);
    EXPECT_EQ(shown().lastSuccess, 0);
    EXPECT_EQ(shown().display, "[ 10.  1.  1.100] ");

    now += 8;
    tick(8);
    EXPECT_EQ(shown().state, WatchState::Watching);
    EXPECT_EQ(shown().lastSuccess, now);
    EXPECT_EQ(shown().failuresInRow, 0);
    EXPECT_EQ(status.toolTip(), "VRXMarqora");

    dir.write("news.txt", "news!");
    setModified(watched, 1700000100);
    fake.failCall("SendData", 3);  // the first visit made two
    fake.failCall("SendData", 4);
    now += 20;
    tick(20);
    const std::time_t firstFailure = now;
    EXPECT_EQ(shown().lastFailure, VisitOutcome::Refused);  // the controller took the output switching
    now += 20;
    tick(20);
    EXPECT_EQ(shown().state, WatchState::Failing);
    EXPECT_EQ(shown().failuresInRow, 2);
    EXPECT_EQ(shown().failingSince, firstFailure);
    EXPECT_EQ(shown().lastAttempt, now);
    EXPECT_EQ(shown().lastSuccess, firstFailure - 20);
    now += 20;
    tick(20);
    EXPECT_EQ(shown().state, WatchState::Watching);
    EXPECT_EQ(shown().lastSuccess, now);
    EXPECT_EQ(*fake.file(2, "NEWS.TXT"), "news!");

    EXPECT_EQ(transitions(), (std::vector<std::string>{"关闭 -> 正在设置", "正在设置 -> 未更新: 控制卡没有应答",
                                                       "未更新 -> 监视中", "监视中 -> 未更新: 控制卡拒收文件",
                                                       "未更新 -> 监视中"}));
    EXPECT_EQ(toolTips.size(), 4u);  // each failure and each recovery, not the second failure
}

TEST_F(Tick, StatusNamesAMissingFileUntilItIsBack)
{
    watching();
    std::filesystem::remove(watched);
    tick(20);
    EXPECT_EQ(shown().lastFailure, VisitOutcome::FileMissing);
    EXPECT_NE(status.toolTip().find("[ 10.  1.  1.100] 文件不存在, 自 "), std::string::npos);
    tick(20);
    EXPECT_EQ(shown().failuresInRow, 2);
    dir.write("news.txt", "back");
    setModified(watched, 1700000200);
    tick(20);
    EXPECT_EQ(shown().state, WatchState::Watching);
    EXPECT_EQ(status.toolTip(), "VRXMarqora");
    EXPECT_EQ(transitions().back(), "未更新 -> 监视中");
    EXPECT_EQ(logLines.size(), 4u);
}

TEST_F(Tick, SwitchedOffDisplayLeavesTheToolTipAndStartsAfresh)
{
    fake.failCall("NetInitial");
    tick();
    ASSERT_EQ(shown().state, WatchState::Failing);
    record().TmrEnable = 0;  // as every save leaves it
    record().TmrCount = 0;
    tick();
    EXPECT_EQ(shown().state, WatchState::Off);
    EXPECT_EQ(status.toolTip(), "VRXMarqora");
    EXPECT_FALSE(status.anyFailing());
    EXPECT_EQ(transitions().back(), "未更新 -> 关闭");

    record().TmrEnable = 1;
    tick();
    EXPECT_EQ(shown().failuresInRow, 1);
    EXPECT_EQ(transitions().size(), 5u);
}

TEST_F(Tick, UnchangedFileIsNoAttempt)
{
    watching();
    const std::time_t setUpAt = now;
    now += 100;
    tick(40);
    EXPECT_EQ(shown().lastAttempt, setUpAt);
    EXPECT_EQ(logLines.size(), 2u);
}

namespace {

struct FailureCase {
    const char *name;
    std::function<void(FakeHx &, MySetupType &, TempDir &)> arrange;
    VisitOutcome expected;
};

void PrintTo(const FailureCase &failure, std::ostream *out)
{
    *out << failure.name;
}

class FirstVisitFailure : public Tick, public ::testing::WithParamInterface<FailureCase> {};

const FailureCase failureCases[] = {
    {"ConnectionNotOpened", [](FakeHx &fake, MySetupType &, TempDir &) { fake.failCall("NetInitial"); },
     VisitOutcome::NoAnswer},
    {"SerialPortNotOpened",
     [](FakeHx &fake, MySetupType &record, TempDir &) {
         record.nMode = 1;
         record.Addr = 3;
         fake.failCall("ComInitial");
     },
     VisitOutcome::PortUnavailable},
    {"ControllerSilent",
     [](FakeHx &fake, MySetupType &, TempDir &) {
         for (const char *call : {"TurnVGA", "SendData", "SaveToFile", "Reset"}) fake.failCall(call);
     },
     VisitOutcome::NoAnswer},
    {"PlayListRefused", [](FakeHx &fake, MySetupType &, TempDir &) { fake.failCall("SaveToFile", 1); },
     VisitOutcome::Refused},
    {"TextRefused", [](FakeHx &fake, MySetupType &, TempDir &) { fake.failCall("SaveToFile", 2); },
     VisitOutcome::Refused},
    {"RestartRefused", [](FakeHx &fake, MySetupType &, TempDir &) { fake.failCall("Reset"); },
     VisitOutcome::RestartFailed},
    {"NoFileChosen", [](FakeHx &, MySetupType &record, TempDir &) { setShortString(record.FileName, ""); },
     VisitOutcome::NoFileChosen},
    {"FileMissing", [](FakeHx &, MySetupType &, TempDir &dir) { std::filesystem::remove(dir.file("news.txt")); },
     VisitOutcome::FileMissing},
    {"FolderInPlaceOfTheFile",
     [](FakeHx &, MySetupType &, TempDir &dir) {
         std::filesystem::remove(dir.file("news.txt"));
         std::filesystem::create_directory(dir.file("news.txt"));
     },
     VisitOutcome::FileUnreadable},
    {"FileLargerThanAControllerStores",
     [](FakeHx &, MySetupType &, TempDir &dir) {
         std::filesystem::resize_file(dir.file("news.txt"), HX_MAX_FILE_SIZE + 1);  // sparse, takes no room
     },
     VisitOutcome::FileTooLarge},
    {"PlayListUnwritable",
     [](FakeHx &, MySetupType &, TempDir &dir) {
         std::filesystem::remove(dir.file("prog"));
         dir.write("prog", "not a folder");
     },
     VisitOutcome::PlayListUnwritable},
};

}  // namespace

TEST_P(FirstVisitFailure, IsToldInTheToolTipAndTheLog)
{
    GetParam().arrange(fake, record(), dir);
    tick();
    EXPECT_FALSE(+record().TmrStart);
    EXPECT_EQ(shown().state, WatchState::Failing);
    EXPECT_EQ(shown().lastFailure, GetParam().expected);
    const std::string reason = outcomeText(GetParam().expected);
    const std::string tip = status.toolTip();
    EXPECT_EQ(tip.substr(0, tip.find(", ")), "VRXMarqora\n" + displayEntryText(record()) + reason);
    ASSERT_EQ(logLines.size(), 2u);
    EXPECT_NE(logLines[1].find("正在设置 -> 未更新: " + reason), std::string::npos);
    // The cause of a local failure goes to the log only: the tool tip stays short.
    if (GetParam().expected == VisitOutcome::PlayListUnwritable) {
        EXPECT_NE(logLines[1].find(progPath + "PlayList.QV"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Reasons, FirstVisitFailure, ::testing::ValuesIn(failureCases),
                         [](const auto &info) { return std::string(info.param.name); });
