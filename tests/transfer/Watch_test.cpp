// The watch's rules with the recording fake and visits run on the test's own
// thread: exact call sequences, countdowns, back-off and what a save drops.
#include "FakeHx.h"
#include "TempDir.h"
#include "transfer/LocalFiles.h"
#include "transfer/Watch.h"

#include "HexalinkVRX7300.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <regex>

using Calls = std::vector<std::string>;

namespace {

constexpr std::time_t FileTime = 1700000000;

void setModified(const std::string &path, time_t when)
{
    ASSERT_TRUE(setModificationTime(path, when));
}

class Tick : public ::testing::Test {
public:
    TempDir dir;
    FakeHx fake;
    FMySetup store;
    // Well after the file times: no file counts as just written unless a test says so.
    std::time_t now = FileTime + 1000;
    int64_t nowNs = 0;  // added to now, for times within a second
    std::vector<std::string> logLines;
    std::vector<std::string> toolTips;
    bool replay = true;
    std::string progPath;
    std::string watched;
    std::unique_ptr<Watch> watch;

    void SetUp() override
    {
        std::filesystem::create_directory(dir.file("prog"));
        progPath = dir.file("prog/");
        store.mProgPath = progPath;
        watched = dir.file("news.txt");
        dir.write("news.txt", "hello");
        setModified(watched, FileTime);
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

        WatchOptions options;
        options.workers = 0;
        options.sleep = [](int) {};
        options.nowNs = [this] { return static_cast<int64_t>(now) * 1000000000 + nowNs; };
        options.random = [] { return 0u; };
        options.log = [this](const std::string &line) { logLines.push_back(line); };
        watch = std::make_unique<Watch>(store, fake.dll(), options);
        status().onChange = [this] { toolTips.push_back(status().toolTip()); };
    }

    MySetupType &record() { return store.mSetup[0]; }
    TransferStatus &status() { return watch->status(); }

    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i) watch->tick(replay);
    }

    // The calls, the work folder of each visit named "work/".
    Calls calls() const
    {
        Calls named;
        for (const auto &call : fake.calls())
            named.push_back(std::regex_replace(call, std::regex("Visit\\.tmp[0-9]+[/\\\\]"), "work/"));
        return named;
    }
    int connections() const { return static_cast<int>(fake.callsNamed("NetInitial").size()); }

    const DisplayStatus &shown() { return status().status(0); }
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

    void change(const std::string &content, std::time_t when)
    {
        dir.write("news.txt", content);
        setModified(watched, when);
    }

    Calls textUpload(const std::string &size) const
    {
        return {"TurnVGA(266,0)", "SendData(266,0," + size + ")", "GetFileDateTime(" + progPath + "work/Text)",
                "SaveToFile(266,2,NEWS.TXT," + size + ")", "TurnVGA(266,-1)"};
    }
};

}  // namespace

TEST_F(Tick, FirstVisitSetsTheDisplayUp)
{
    tick();
    Calls expected{"NetInitial(266,, 10.  1.  1.100,1,1,27694,-1)", "GetLEDConfig(266)", "TurnVGA(266,0)"};
    const std::string *playList = fake.file(0, "PlayList.qv");
    ASSERT_NE(playList, nullptr);
    const std::string playListSize = std::to_string(playList->size());
    for (const std::string &call : {"SendData(266,0," + playListSize + ")",
                                    "GetFileDateTime(" + progPath + "work/PlayList.QV)",
                                    "SaveToFile(266,0,PlayList.qv," + playListSize + ")", std::string("TurnVGA(266,-1)")})
        expected.push_back(call);
    for (const auto &call : textUpload("5")) expected.push_back(call);
    expected.push_back("Reset(266,0)");
    expected.push_back("Close(266)");
    EXPECT_EQ(calls(), expected);
    EXPECT_EQ(*fake.file(2, "NEWS.TXT"), "hello");
    EXPECT_NE(playList->find("Item1=X,C:\\NEWS.TXT,0,5,5\r\n"), std::string::npos);
    EXPECT_TRUE(+record().TmrStart);
    EXPECT_EQ(+record().ChangeTime, GetFileChangeTime(watched));
    EXPECT_EQ(+record().TmrCount, 19);
    EXPECT_EQ(+record().AreaIndex, 1);
    // The visit's copies are gone with its work folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(progPath), {}), 0);
}

TEST_F(Tick, ChangeDuringTheSetUpsRestartIsSentAtTheNextPeriod)
{
    // The restart of a slow controller takes its time; the file changes meanwhile.
    fake.duringCall("Reset", 1, [this] { change("changed", FileTime + 100); });
    tick();
    ASSERT_TRUE(+record().TmrStart);
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

TEST_F(Tick, FailuresBackOffAndAChangedFileIsTriedAtOnce)
{
    fake.failCall("NetInitial");
    std::vector<int> triedOn;
    for (int t = 1; t <= 200; ++t) {
        const int before = connections();
        tick();
        if (connections() != before) triedOn.push_back(t);
    }
    // 8, 16, 32, then never more than 60 ticks apart.
    EXPECT_EQ(triedOn, (std::vector<int>{1, 9, 25, 57, 117, 177}));
    EXPECT_EQ(shown().nextAttempt, now + 60);
    EXPECT_NE(status().toolTip().find("，自 "), std::string::npos);

    change("new text", FileTime + 300);
    tick();
    EXPECT_EQ(connections(), 7) << "a failing display's changed file is tried at once";
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

TEST_F(Tick, AWatchedFilesOwnProblemNeverReachesTheController)
{
    std::filesystem::remove(watched);
    tick(30);
    EXPECT_TRUE(fake.calls().empty()) << "no connection, so no output switching";
    EXPECT_EQ(shown().reason, VisitOutcome::FileMissing);
    change("back", FileTime + 100);
    watching();
    std::filesystem::remove(watched);
    tick(40);
    EXPECT_TRUE(fake.calls().empty());
    EXPECT_EQ(shown().reason, VisitOutcome::FileMissing);
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
    change("news!", FileTime + 100);
    tick(20);
    Calls expected{"NetInitial(266,, 10.  1.  1.100,1,1,27694,-1)", "GetLEDConfig(266)",
                   "LoadFromFile(266,0,PlayList.qv)"};
    for (const auto &call : textUpload("5")) expected.push_back(call);
    expected.push_back("Reset(266,0)");
    expected.push_back("Close(266)");
    EXPECT_EQ(calls(), expected);
    EXPECT_EQ(+record().ChangeTime, GetFileChangeTime(watched));
    EXPECT_EQ(*fake.file(2, "NEWS.TXT"), "news!");
}

TEST_F(Tick, WithoutReplayAChangedFileIsSentButNotRestarted)
{
    replay = false;
    tick();
    EXPECT_EQ(fake.callsNamed("Reset").size(), 1u);  // the first visit restarts anyway
    setModified(watched, FileTime + 100);
    tick(20);
    EXPECT_EQ(fake.callsNamed("SaveToFile").size(), 3u);
    EXPECT_EQ(fake.callsNamed("Reset").size(), 1u);
}

namespace {

struct ChangeCase {
    const char *name;
    std::function<void(Tick &)> change;
};

void PrintTo(const ChangeCase &change, std::ostream *out)
{
    *out << change.name;
}

class EveryChange : public Tick, public ::testing::WithParamInterface<ChangeCase> {};

const ChangeCase changeCases[] = {
    // The stored stamp has days, hours, minutes and even seconds only.
    {"InTheSameTwoSecondStep", [](Tick &t) { t.change("hellO", FileTime / 2 * 2 + 1); }},
    {"SameDayAndTimeAMonthLater", [](Tick &t) { t.change("hellO", FileTime + 30 * 86400); }},
    {"AnHourRepeatedAtTheClockChange", [](Tick &t) { t.change("hellO", FileTime + 3600); }},
    {"SameTimeOtherLength", [](Tick &t) {
         t.dir.write("news.txt", "hello, world");
         setModified(t.watched, FileTime);
     }},
    {"ReplacedByRenameWithTheSameTimeAndLength", [](Tick &t) {
         t.dir.write("other.txt", "HELLO");
         setModified(t.dir.file("other.txt"), FileTime);
         std::filesystem::rename(t.dir.file("other.txt"), t.watched);
     }},
};

}  // namespace

TEST_P(EveryChange, IsSentAtTheNextVisit)
{
    setModified(watched, FileTime / 2 * 2);
    watching();
    GetParam().change(*this);
    tick(20);
    EXPECT_EQ(fake.callsNamed("SaveToFile").size(), 1u);
    EXPECT_EQ(*fake.file(2, "NEWS.TXT"), dir.read("news.txt"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, EveryChange, ::testing::ValuesIn(changeCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(Tick, AFileJustWrittenIsTakenOnceItHoldsStill)
{
    watching();
    tick(19);
    // The shell has emptied the file this very moment; the text follows.
    dir.write("news.txt", "");
    setModified(watched, now);
    tick();
    EXPECT_TRUE(fake.calls().empty());
    change("generated", now);
    nowNs = 400000000;
    tick();
    EXPECT_TRUE(fake.calls().empty()) << "still less than a second old";
    ++now;
    tick();
    EXPECT_EQ(*fake.file(2, "NEWS.TXT"), "generated");
}

TEST_F(Tick, AFileRewrittenAllTheTimeStillGoesUp)
{
    watching();
    tick(19);
    for (int i = 0; i < Watch::MaxPostponed; ++i) {
        change("version " + std::to_string(i), now);
        tick();
        ++now;
    }
    EXPECT_TRUE(fake.calls().empty());
    change("latest", now);
    tick();
    EXPECT_EQ(*fake.file(2, "NEWS.TXT"), "latest");
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

TEST_F(Tick, FailedResendKeepsTheOldStampAndIsTriedAgain)
{
    watching();
    const uint32_t old = record().ChangeTime;
    setModified(watched, FileTime + 100);
    fake.failCall("SendData", 3);  // the first visit made two
    tick(20);
    EXPECT_EQ(+record().ChangeTime, old);
    EXPECT_EQ(+record().TmrCount, 7);
    tick(8);
    EXPECT_EQ(+record().ChangeTime, GetFileChangeTime(watched));
    EXPECT_EQ(fake.callsNamed("SaveToFile").size(), 1u);
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
    EXPECT_NE(status().toolTip().find("\n1 个显示屏暂停监视，隐藏窗口后恢复"), std::string::npos);
}

TEST_F(Tick, AVisitThatASaveOvertookComesToNothing)
{
    // The operator saves the file page while the set-up is on its way.
    fake.duringCall("Reset", 1, [this] { ASSERT_TRUE(store.WriteToFile()); });
    tick();
    EXPECT_FALSE(+record().TmrStart);
    EXPECT_FALSE(+record().TmrEnable);
    EXPECT_EQ(shown().state, WatchState::SettingUp);
    watch->switchOn();
    tick();
    EXPECT_TRUE(+record().TmrStart) << "the window went out of sight: a fresh first visit";
    EXPECT_EQ(fake.callsNamed("Reset").size(), 2u);
}

TEST_F(Tick, ControllerIsAskedEveryMinuteWhetherItStillHoldsTheSetUp)
{
    record().Peroid = 300;
    watching();
    tick(Watch::CheckTicks - 1);
    EXPECT_TRUE(fake.calls().empty());
    tick();
    EXPECT_EQ(calls(), (Calls{"NetInitial(266,, 10.  1.  1.100,1,1,27694,-1)", "GetLEDConfig(266)",
                              "LoadFromFile(266,0,PlayList.qv)", "LoadFromFile(266,2,NEWS.TXT)", "Close(266)"}))
        << "nothing switched, nothing sent";

    // A controller reset, or a card replaced: the play list is gone.
    fake.removeFile(0, "PlayList.qv");
    fake.clearCalls();
    tick(Watch::CheckTicks);
    EXPECT_EQ(shown().state, WatchState::SettingUp);
    EXPECT_EQ(transitions().back(), "监视中 -> 正在设置: 控制卡上的节目表已丢失");
    tick();
    EXPECT_NE(fake.file(0, "PlayList.qv"), nullptr);
    EXPECT_EQ(shown().state, WatchState::Watching);

    fake.removeFile(2, "NEWS.TXT");
    tick(Watch::CheckTicks + 1);
    EXPECT_EQ(*fake.file(2, "NEWS.TXT"), "hello");
    EXPECT_EQ(transitions()[transitions().size() - 2], "监视中 -> 正在设置: 控制卡上的文本文件已丢失");
}

TEST_F(Tick, AnotherPanelSizeIsAFailureNamedInTheStatus)
{
    record().LEDWidth = 128;
    record().LEDHeight = 32;
    fake.setPanelSize(128, 32);
    watching();
    fake.setPanelSize(160, 64);
    change("news", FileTime + 100);
    tick(20);
    EXPECT_TRUE(fake.callsNamed("SendData").empty());
    EXPECT_EQ(shown().reason, VisitOutcome::SizeChanged);
    EXPECT_EQ(transitions().back(), "监视中 -> 未更新: 显示屏尺寸已改变 (128x32 -> 160x64)");
}

TEST_F(Tick, AnAreaFromTheControllersListIsPatchedWhereThatListLives)
{
    record().bFromPlayList = 1;
    record().AreaIndex = 2;
    fake.setPlayInfo(1, 7);
    fake.putFile(1, "P07\\PlayList.Qv", "[Program1]\r\nScreen=2\r\n[Program1_Screen2]\r\nItemCount=3\r\n");
    store.mSetup[1] = record();  // another display, on a controller never read
    store.mSetup[1].bFromPlayList = 0;
    store.mSetup[1].Addr = FMySetup::IPStrToLong("10.1.1.101");
    tick();
    EXPECT_EQ(watch->playLists().lastRead.mPlayListPath, "P07\\");
    EXPECT_EQ(watch->playLists().of(0, record()), (PlayListState{"P07\\", 7}));
    EXPECT_EQ(fake.callsNamed("Reset"), (Calls{"Reset(266,458752)", "Reset(266,0)"}));
    EXPECT_EQ(*fake.file(0, "P07\\PlayList.qv"),
              "[Program1]\r\nScreen=2\r\n[Program1_Screen2]\r\nItemCount=1\r\nItem1=X,C:\\NEWS.TXT,0,5,5\r\n");
    // The other display's fresh one-area list goes to the top level and plays list 0.
    EXPECT_NE(fake.file(0, "PlayList.qv"), nullptr);

    // A later change restarts the list the display's area lives in.
    fake.clearCalls();
    change("news", FileTime + 100);
    tick(20);
    EXPECT_EQ(fake.callsNamed("Reset"), (Calls{"Reset(266,458752)", "Reset(266,0)"}));
}

TEST_F(Tick, AFailedReadOfTheControllersListSendsNothing)
{
    record().bFromPlayList = 1;
    record().AreaIndex = 2;
    fake.failCall("GetPlayInfo");
    tick();
    EXPECT_EQ(calls(), (Calls{"NetInitial(266,, 10.  1.  1.100,1,1,27694,-1)", "GetPlayInfo(266)", "Close(266)"}))
        << "no upload, no restart: the operator's program stays";
    EXPECT_EQ(shown().reason, VisitOutcome::PlayListUnreadable);
    EXPECT_EQ(+record().AreaIndex, 2);
    EXPECT_EQ(+record().TmrCount, 7);
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
    EXPECT_EQ(shown().reason, VisitOutcome::NoAnswer);
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
    EXPECT_EQ(status().toolTip(), "VRXMarqora");

    change("news!", FileTime + 100);
    fake.failCall("SendData", 3);  // the first visit made two
    fake.failCall("SendData", 4);
    now += 20;
    tick(20);
    const std::time_t firstFailure = now;
    EXPECT_EQ(shown().reason, VisitOutcome::Refused);  // the controller took the output switching
    now += 8;
    tick(8);
    EXPECT_EQ(shown().state, WatchState::Failing);
    EXPECT_EQ(shown().failuresInRow, 2);
    EXPECT_EQ(shown().failingSince, firstFailure);
    EXPECT_EQ(shown().lastAttempt, now);
    EXPECT_EQ(shown().lastSuccess, firstFailure - 20);
    now += 16;
    tick(16);
    EXPECT_EQ(shown().state, WatchState::Watching);
    EXPECT_EQ(shown().lastSuccess, now);
    EXPECT_EQ(*fake.file(2, "NEWS.TXT"), "news!");

    EXPECT_EQ(transitions(), (std::vector<std::string>{"关闭 -> 正在设置", "正在设置 -> 未更新: 控制卡没有应答",
                                                       "未更新 -> 监视中", "监视中 -> 未更新: 控制卡拒收文件",
                                                       "未更新 -> 监视中"}));
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
    EXPECT_FALSE(status().anyFailing());
    EXPECT_EQ(transitions().back(), "未更新 -> 关闭");

    record().TmrEnable = 1;
    tick();
    EXPECT_EQ(shown().failuresInRow, 1);
    EXPECT_EQ(transitions().size(), 5u);
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
         for (const char *call : {"GetLEDConfig", "TurnVGA", "SendData", "SaveToFile", "Reset"}) fake.failCall(call);
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
    {"ProgramFolderUnwritable",
     [](FakeHx &, MySetupType &, TempDir &dir) {
         std::filesystem::remove(dir.file("prog"));
         dir.write("prog", "not a folder");
     },
     VisitOutcome::CopyUnwritable},
};

}  // namespace

TEST_P(FirstVisitFailure, IsToldInTheToolTipAndTheLog)
{
    GetParam().arrange(fake, record(), dir);
    tick();
    EXPECT_FALSE(+record().TmrStart);
    EXPECT_EQ(shown().state, WatchState::Failing);
    EXPECT_EQ(shown().reason, GetParam().expected);
    const std::string reason = outcomeText(GetParam().expected);
    const std::string tip = status().toolTip();
    EXPECT_EQ(tip.substr(0, tip.find("，")), "VRXMarqora\n" + displayEntryText(record()) + reason);
    ASSERT_EQ(logLines.size(), 2u);
    EXPECT_NE(logLines[1].find("正在设置 -> 未更新: " + reason), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Reasons, FirstVisitFailure, ::testing::ValuesIn(failureCases),
                         [](const auto &info) { return std::string(info.param.name); });
