#include "HxSim.h"
#include "TempDir.h"
#include "link/HX_Dll.h"
#include "transfer/TransferStatus.h"
#include "WatchDriver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

// China Standard Time without a time-zone database: local times in the texts are
// eight hours ahead of UTC.
class ChinaTime {
public:
    ChinaTime()
    {
        if (const char *tz = std::getenv("TZ")) mSaved = tz;
        setenv("TZ", "CST-8", 1);
        tzset();
    }
    ~ChinaTime()
    {
        if (mSaved)
            setenv("TZ", mSaved->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> mSaved;
};

constexpr std::time_t Start = 1700000000;  // 2023-11-14 22:13:20 UTC, 11-15 06:13:20 in China

MySetupType watchedDisplay(const char *ip)
{
    MySetupType record{};
    record.bUsed = 1;
    record.Addr = FMySetup::IPStrToLong(ip);
    record.TmrEnable = 1;
    return record;
}

class Status : public ::testing::Test {
protected:
    ChinaTime china;
    std::time_t now = Start;
    std::vector<std::string> lines;
    int changes = 0;
    TransferStatus status{[this] { return now; }, [this](const std::string &line) { lines.push_back(line); }};

    void SetUp() override
    {
        status.onChange = [this] { ++changes; };
    }
};

}  // namespace

TEST_F(Status, LogLineCarriesLocalTimeDisplayStatesAndReason)
{
    const MySetupType record = watchedDisplay("192.168.1.10");
    status.follow(7, record);
    status.visited(7, record, VisitOutcome::NoAnswer);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "2023-11-15 06:13:20 marqora: [192.168.  1. 10] 关闭 -> 正在设置",
                         "2023-11-15 06:13:20 marqora: [192.168.  1. 10] 正在设置 -> 未更新: 控制卡没有应答"}));
}

TEST_F(Status, ToolTipNamesEachFailingDisplayWithItsReasonAndSinceWhen)
{
    const MySetupType network = watchedDisplay("10.0.0.2");
    MySetupType serial = watchedDisplay("0.0.0.0");
    serial.nMode = 1;
    serial.Addr = 12;
    const MySetupType fine = watchedDisplay("10.0.0.3");
    status.visited(5, serial, VisitOutcome::FileMissing);
    now += 3600;
    status.visited(0, network, VisitOutcome::NoAnswer);
    status.visited(2, fine, VisitOutcome::Delivered);
    now += 3600;
    status.visited(5, serial, VisitOutcome::Refused);  // the latest reason, the first failure's time
    EXPECT_TRUE(status.anyFailing());
    EXPECT_EQ(status.toolTip(), "VRXMarqora\n"
                                "[ 10.  0.  0.  2] 控制卡没有应答，自 11-15 07:13 起\n"
                                "[ 12] 控制卡拒收文件，自 11-15 06:13 起");
    EXPECT_EQ(changes, 3);

    status.visited(5, serial, VisitOutcome::Delivered);
    EXPECT_EQ(status.toolTip(), "VRXMarqora\n[ 10.  0.  0.  2] 控制卡没有应答，自 11-15 07:13 起");
    status.visited(0, network, VisitOutcome::NothingToSend);  // no attempt: still failing
    EXPECT_TRUE(status.anyFailing());
    status.visited(0, network, VisitOutcome::Delivered);
    EXPECT_EQ(status.toolTip(), "VRXMarqora");
    EXPECT_FALSE(status.anyFailing());
    EXPECT_EQ(changes, 5);
}

TEST_F(Status, RepeatedFailuresAreToldOnce)
{
    const MySetupType record = watchedDisplay("10.0.0.2");
    status.follow(0, record);
    for (int visit = 0; visit < 100; ++visit) {
        now += 20;
        status.follow(0, record);
        status.visited(0, record, VisitOutcome::NoAnswer);
    }
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(status.status(0).failuresInRow, 100);
    EXPECT_EQ(status.status(0).failingSince, Start + 20);
    EXPECT_EQ(status.status(0).lastAttempt, now);

    status.visited(0, record, VisitOutcome::FileMissing);  // another reason is a change
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(status.status(0).failingSince, Start + 20);
}

TEST_F(Status, ToolTipStaysShortWhenManyDisplaysFail)
{
    for (int slot = 0; slot < 12; ++slot) {
        const std::string ip = "10.0.0." + std::to_string(slot + 1);
        status.visited(slot, watchedDisplay(ip.c_str()), VisitOutcome::NoAnswer);
    }
    const std::string tip = status.toolTip();
    EXPECT_EQ(std::count(tip.begin(), tip.end(), '\n'), 11);
    EXPECT_NE(tip.find("[ 10.  0.  0. 10] "), std::string::npos);
    EXPECT_EQ(tip.find("[ 10.  0.  0. 11] "), std::string::npos);
    EXPECT_EQ(tip.substr(tip.rfind('\n') + 1), "另有 2 个显示屏未更新");
}

TEST(StatusLog, GoesToStandardErrorOneLinePerChange)
{
    TransferStatus status;
    const MySetupType record = watchedDisplay("10.0.0.9");
    testing::internal::CaptureStderr();
    status.follow(0, record);
    status.follow(0, record);
    status.visited(0, record, VisitOutcome::Delivered);
    status.visited(0, record, VisitOutcome::Delivered);
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 2);
    EXPECT_NE(written.find("[ 10.  0.  0.  9] 关闭 -> 正在设置\n"), std::string::npos);
    EXPECT_NE(written.find("[ 10.  0.  0.  9] 正在设置 -> 监视中\n"), std::string::npos);
}

// The status of a display whose controller is real: stopped, then back on its port.
TEST(StatusWithController, StoppedControllerFailsAndIsUpToDateOnceBack)
{
    TempDir dir;
    dir.write("news.txt", "hello");
    ASSERT_TRUE(setModificationTime(dir.file("news.txt"), Start));
    HxSim sim;
    const std::string disk = sim.diskPath();
    const std::string port = std::to_string(sim.port());
    FMySetup store;
    store.mProgPath = dir.path();
    MySetupType &record = store.mSetup[0];
    record = sim.display();
    record.bTimeSend = 1;
    record.Peroid = 1;  // visited on every tick
    setShortString(record.FileName, dir.file("news.txt"));
    store.Enable(true);
    std::vector<std::string> lines;
    WatchOptions options = WatchDriver::quiet();
    options.log = [&](const std::string &line) { lines.push_back(line); };
    WatchDriver driver(store, hxTable(), options);
    TransferStatus &status = driver.watch().status();

    driver.tick();
    ASSERT_EQ(status.status(0).state, WatchState::Watching);
    ASSERT_TRUE(sim.stop());
    driver.tick();
    EXPECT_EQ(status.status(0).state, WatchState::Failing);
    EXPECT_EQ(status.status(0).reason, VisitOutcome::NoAnswer);
    EXPECT_NE(status.toolTip().find("127.  0.  0.  1] 控制卡没有应答"), std::string::npos);

    HxSim again({"--disk", disk, "--udp", "127.0.0.1:" + port});
    dir.write("news.txt", "hello again");
    ASSERT_TRUE(setModificationTime(dir.file("news.txt"), Start + 60));
    driver.tick();  // a failing display whose file changed is tried at once
    EXPECT_EQ(status.status(0).state, WatchState::Watching);
    EXPECT_EQ(status.toolTip(), "VRXMarqora");
    EXPECT_EQ(lines.size(), 4u);  // on, set up, failing, back
    std::ifstream arrived(disk + "/C/NEWS.TXT", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(arrived), {}), "hello again");
}

TEST(StatusWithController, ControllerThatAnswersButCannotStoreRefuses)
{
    TempDir dir;
    dir.write("news.txt", "hello");
    ASSERT_TRUE(setModificationTime(dir.file("news.txt"), Start));
    HxSim sim;
    FMySetup store;
    store.mProgPath = dir.path();
    store.mSetup[0] = sim.display();
    setShortString(store.mSetup[0].FileName, dir.file("news.txt"));
    store.Enable(true);
    // The disk the text goes to is broken: a file where its folder should be.
    std::filesystem::remove_all(sim.diskPath() + "/C");
    std::ofstream(sim.diskPath() + "/C") << "not a disk";
    WatchDriver driver(store);
    driver.tick();
    EXPECT_EQ(driver.watch().status().status(0).reason, VisitOutcome::Refused);
}
