// Marqora as a process, told to end or losing its log reader: what a user
// service stopped mid-upload, a logout, or `marqora 2>&1 | head` do to it.
#include "ChildProcess.h"
#include "HangGuard.h"
#include "HxSim.h"
#include "TempDir.h"
#include "settings/FileIO.h"
#include "transfer/LocalFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

namespace fs = std::filesystem;

namespace {

class RunningMarqora : public ::testing::Test {
protected:
    TempDir home;

    void SetUp() override
    {
        // Its settings and the per-user ones live in the test's folder.
        setenv("MARQORA_HOME", home.path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
        setenv("XDG_DATA_HOME", home.file("data").c_str(), 1);
    }

    // One display of sim, watching news.txt with content.
    void storeDisplay(const HxSim &sim, const std::string &content)
    {
        writeNews(content);
        FMySetup store;
        store.mProgPath = home.path();
        store.mSetup[0] = sim.display();
        store.mSetup[0].Peroid = 1;  // every tick, so a change arrives within a second or two
        setShortString(store.mSetup[0].FileName, home.file("news.txt"));
        ASSERT_TRUE(store.WriteToFile());
    }
    void writeNews(const std::string &content)
    {
        home.write("news.txt", content);
        static std::time_t changes = 1700000000;
        ASSERT_TRUE(setModificationTime(home.file("news.txt"), changes += 60));
    }
    std::unique_ptr<ChildProcess> start()
    {
        return std::make_unique<ChildProcess>(std::vector<std::string>{HxSim::siblingBinary("marqora")},
                                              ChildProcess::Output::WithErrors);
    }
    static std::string onController(const HxSim &sim)
    {
        return readWholeFile(sim.diskPath() + "/C/NEWS.TXT").value_or("<missing>");
    }
};

}  // namespace

TEST_F(RunningMarqora, LeftoversOfAKilledRunGoAndALostLogReaderEndsNothing)
{
    HxSim sim;
    storeDisplay(sim, "first");
    home.write("Marqora.dat.tmp123", "half a save");
    home.write("PlayList.QV.tmp42", "half a play list");
    fs::create_directory(home.file("Visit.tmp7"));
    home.write("Visit.tmp7/Text", "a visit's copy");

    const auto marqora = start();
    marqora->closeOutput();  // its state lines now go nowhere
    waitFor("the first upload", [&] { return onController(sim) == "first"; });
    EXPECT_FALSE(fs::exists(home.file("Marqora.dat.tmp123")));
    EXPECT_FALSE(fs::exists(home.file("PlayList.QV.tmp42")));
    EXPECT_FALSE(fs::exists(home.file("Visit.tmp7")));
    EXPECT_TRUE(fs::exists(home.file("Marqora.dat")));

    writeNews("second");
    waitFor("the change to arrive", [&] { return onController(sim) == "second"; });
    EXPECT_TRUE(marqora->stop());
}

TEST_F(RunningMarqora, TerminatedMidUploadItLeavesTheOutputOn)
{
    // Each block's answer comes late, so the upload takes its time.
    HxSim sim({"--delay", "50", "--delay-on", "SendData"});
    storeDisplay(sim, std::string(200 * 1024, 'x'));
    const auto marqora = start();
    waitFor("the text upload to be under way", [&] {
        for (auto &request : sim.requests())
            if (request["op"] == "SendData" && request["offset"] == "4096") return true;
        return false;
    });
    EXPECT_TRUE(marqora->stop()) << "SIGTERM ends it with status 0";
    std::string lastSwitch;
    for (auto &request : sim.requests())
        if (request["op"] == "TurnVGA") lastSwitch = request["on"];
    EXPECT_EQ(lastSwitch, "true");
}
