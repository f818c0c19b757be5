#include "FakeHx.h"
#include "HxSim.h"
#include "TempDir.h"
#include "init/InitialRun.h"
#include "transfer/Profile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

MySetupType networkRecord(uint16_t type, uint16_t port = 27694)
{
    FMySetup store;
    store.Add(0, "127.0.0.1", 0, port, 1, 2400, 1, 1, 128, 32, type);
    return store.mSetup[0];
}

class InitialRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.write("MyASC.Fon", std::string(2048, 'a'));
        dir.write("MyHZ.Fon", std::string(294912, 'h'));
        dir.write("Config.qv", std::string(120, 'c'));
    }

    InitialOutcome run(const HX_Dll &dll, const MySetupType &record)
    {
        return sendInitialFiles(dll, record, dir.path(), {[this] { ++steps; }, [this](int ms) {
                                                              ++pauses;
                                                              EXPECT_EQ(ms, 100);
                                                          }});
    }

    TempDir dir;
    int steps = 0;
    int pauses = 0;
};

}  // namespace

TEST(InitialFigures, ProgressMaximaAndDrives)
{
    EXPECT_EQ(generationProgressMax(0), 9343);
    EXPECT_EQ(generationProgressMax(15), 9343);
    EXPECT_EQ(generationProgressMax(1), 24703);
    EXPECT_EQ(initialDrive(networkRecord(0)), 0);
    EXPECT_EQ(initialDrive(networkRecord(1)), 1);
}

TEST_F(InitialRunTest, UploadProgressCountsKilobyteBlocksPlusFour)
{
    std::string error;
    EXPECT_EQ(uploadProgressMax(dir.path(), &error), 295);
    std::filesystem::remove(dir.file("MyHZ.Fon"));
    EXPECT_EQ(uploadProgressMax(dir.path(), &error), std::nullopt);
    EXPECT_NE(error.find("MyHZ.Fon"), std::string::npos);
}

TEST_F(InitialRunTest, ConfigurationFileHoldsExactlyTheFourEntries)
{
    dir.write("Config.qv", "[Old]\r\nKey=1\r\n");
    std::string error;
    ASSERT_TRUE(writeConfigFile(dir.path(), "Fon\\MyASC.Fon,128,A,8,16", "Fon\\MyHZ.Fon,9216,C,16,16,A0,A0", &error));
    const std::string text = dir.read("Config.qv");
    EXPECT_EQ(text.find("[Old]"), std::string::npos);
    EXPECT_NE(text.find("[Startup]\r\nProgram_Index=0\r\n"), std::string::npos);
    const std::size_t font = text.find("[Font]\r\n");
    ASSERT_NE(font, std::string::npos);
    EXPECT_EQ(text.substr(font + 8),
              "FontCount=2\r\nFont1=Fon\\MyASC.Fon,128,A,8,16\r\nFont2=Fon\\MyHZ.Fon,9216,C,16,16,A0,A0\r\n");
    EXPECT_LT(text.find("[Startup]"), font);
}

TEST_F(InitialRunTest, SuccessfulRunMakesTheExactCallsOnTheControllerTypesDrive)
{
    for (uint16_t type : {0, 1}) {
        SCOPED_TRACE(type);
        FakeHx fake;
        steps = pauses = 0;
        EXPECT_EQ(run(fake.dll(), networkRecord(type)), InitialOutcome::Success);
        const std::string d = std::to_string(type);
        const std::vector<std::string> expected{
            "MD(127," + d + ",Fon)",         "RemoveFile(127," + d + ",Fon\\MyASC.Fon)",
            "SaveToFile(127," + d + ",FON\\MyASC.Fon,2048)", "RemoveFile(127," + d + ",Fon\\MyHZ.Fon)",
            "SaveToFile(127," + d + ",FON\\MyHZ.Fon,294912)", "RemoveFile(127," + d + ",Config.QV)",
            "SaveToFile(127," + d + ",Config.Qv,120)",
        };
        std::vector<std::string> fileCalls;
        for (const std::string &call : fake.calls())
            if (call.rfind("MD", 0) == 0 || call.rfind("RemoveFile", 0) == 0 || call.rfind("SaveToFile", 0) == 0)
                fileCalls.push_back(call);
        EXPECT_EQ(fileCalls, expected);
        EXPECT_EQ(fake.callsNamed("Reset"), std::vector<std::string>{"Reset(127,1)"}) ;
        ASSERT_EQ(fake.callsNamed("TurnVGA").size(), 2u);
        EXPECT_EQ(fake.callsNamed("TurnVGA").front(), "TurnVGA(127,0)");
        EXPECT_EQ(fake.calls().back(), "Close(127)");
        EXPECT_EQ(steps, 295);  // every progress step the maximum counted
        EXPECT_EQ(pauses, 1);   // the controller answered the first poll
    }
}

TEST_F(InitialRunTest, FailuresEndTheChainAndSayWhichMessage)
{
    {
        FakeHx fake;
        fake.failCall("NetInitial");
        EXPECT_EQ(run(fake.dll(), networkRecord(0)), InitialOutcome::OpenFailed);
        EXPECT_TRUE(fake.callsNamed("Close").empty());
        EXPECT_TRUE(fake.callsNamed("TurnVGA").empty());
    }
    {
        FakeHx fake;
        fake.failCall("MD");
        EXPECT_EQ(run(fake.dll(), networkRecord(0)), InitialOutcome::FolderFailed);
        EXPECT_TRUE(fake.callsNamed("RemoveFile").empty());
        EXPECT_TRUE(fake.callsNamed("GetPlayInfo").empty());
        EXPECT_EQ(fake.callsNamed("Close").size(), 1u);
    }
    {
        FakeHx fake;
        fake.failCall("SaveToFile", 2);  // the Chinese library is refused
        pauses = 0;
        EXPECT_EQ(run(fake.dll(), networkRecord(0)), InitialOutcome::SendFailed);
        EXPECT_EQ(fake.callsNamed("RemoveFile").size(), 2u);
        EXPECT_TRUE(fake.callsNamed("Reset").empty());
        EXPECT_EQ(pauses, 1);  // the wait runs after a failed chain too
    }
    {
        FakeHx fake;
        fake.failCall("GetPlayInfo");  // never answers again
        pauses = 0;
        EXPECT_EQ(run(fake.dll(), networkRecord(0)), InitialOutcome::Success);
        EXPECT_EQ(fake.callsNamed("GetPlayInfo").size(), 300u);
        EXPECT_EQ(pauses, 300);
    }
    EXPECT_STREQ(initialOutcomeText(InitialOutcome::Success), "    初始化成功!    ");
    EXPECT_STREQ(initialOutcomeText(InitialOutcome::OpenFailed), "    通讯设备初始化失败!    ");
    EXPECT_STREQ(initialOutcomeText(InitialOutcome::FolderFailed), "    创建 <FON> 文件夹失败!    ");
    EXPECT_STREQ(initialOutcomeText(InitialOutcome::SendFailed), "    发送文件失败!    ");
}

TEST_F(InitialRunTest, FullRunAgainstTheSimulatedControllerStoresTheFilesAndWaitsForTheReboot)
{
    HxSim sim({"--boot-ms", "300"});
    int waited = 0;
    const InitialOutcome outcome = sendInitialFiles(
        hxTable(), networkRecord(0, sim.port()), dir.path(),
        {[] {}, [&](int ms) {
             waited += ms;
             std::this_thread::sleep_for(std::chrono::milliseconds(ms));
         }});
    EXPECT_EQ(outcome, InitialOutcome::Success);
    EXPECT_GE(waited, 100);
    const std::string disk = sim.diskPath() + "/A/";
    auto onDisk = [&](const std::string &name) {
        for (const auto &entry : std::filesystem::recursive_directory_iterator(disk)) {
            std::string relative = entry.path().generic_string().substr(disk.size());
            std::string upper;
            for (char c : relative) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (upper == name) {
                std::ifstream in(entry.path(), std::ios::binary);
                return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            }
        }
        return std::string("<missing>");
    };
    EXPECT_EQ(onDisk("FON/MYASC.FON"), dir.read("MyASC.Fon"));
    EXPECT_EQ(onDisk("FON/MYHZ.FON"), dir.read("MyHZ.Fon"));
    EXPECT_EQ(onDisk("CONFIG.QV"), dir.read("Config.qv"));
    // The restart with 1, then a play-information poll answered once it was back.
    bool restarted = false;
    bool answeredAfterRestart = false;
    for (auto &request : sim.requests()) {
        if (request["op"] == "Reset" && request["value"] == "1") restarted = true;
        if (restarted && request["op"] == "GetPlayInfo" && request["ok"] == "true") answeredAfterRestart = true;
    }
    EXPECT_TRUE(answeredAfterRestart);
}

TEST_F(InitialRunTest, TheWaitSeesTheControllerComeBackAfterARebootLongerThanAPoll)
{
    // The reboot outlasts a poll's whole budget (time-out 1 s, no retry), so
    // polls on the open connection go unanswered until the controller is back.
    HxSim sim({"--boot-ms", "2500"});
    MySetupType record = networkRecord(0, sim.port());
    record.RetryTimes = 0;
    int polls = 0;
    const InitialOutcome outcome = sendInitialFiles(hxTable(), record, dir.path(),
                                                    {[] {}, [&](int ms) {
                                                         ++polls;
                                                         std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                                                     }});
    EXPECT_EQ(outcome, InitialOutcome::Success);
    EXPECT_GE(polls, 2) << "at least one poll went unanswered before one was answered";
    bool restarted = false;
    int answeredAfterRestart = 0;
    for (auto &request : sim.requests()) {
        if (request["op"] == "Reset" && request["value"] == "1") restarted = true;
        if (restarted && request["op"] == "GetPlayInfo") answeredAfterRestart += request["ok"] == "true";
    }
    EXPECT_EQ(answeredAfterRestart, 1) << "the wait ended at the first answer";
}
