// The watched text file turns into something else under the running watch: a
// folder, a pipe, a file nobody may read, a file of 100 MB. The tick must
// neither hang nor hold the file in memory, must leave the controller's copy
// alone, and must deliver the file once it is a readable text file again.
#include "FaultHelpers.h"
#include "HxSim.h"
#include "TempDir.h"
#include "link/HX_Dll.h"
#include "transfer/LocalFiles.h"
#include "WatchDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class WatchedFileFault : public ::testing::Test {
protected:
    void SetUp() override
    {
        MySetupType &r = store.mSetup[0];
        r = sim.display();
        r.Peroid = 2;
        setShortString(r.FileName, watched);
        store.mProgPath = dir.path();
        store.Enable(true);
    }

    MySetupType &record() { return store.mSetup[0]; }
    void tick(int times = 1) { driver.tick(times, false); }
    // Ticks until the controller holds content, at most for two minutes of ticks.
    bool tickUntilOnController(const std::string &content)
    {
        for (int ticks = 0; ticks < 120 && onController() != content; ++ticks) tick();
        return onController() == content;
    }

    void writeWatched(const std::string &content)
    {
        fs::remove_all(watched);
        std::ofstream(watched, std::ios::binary) << content;
        // A stamp of its own, whatever the clock did since the last change.
        fs::last_write_time(watched, fs::last_write_time(watched) + std::chrono::minutes(++changes));
    }
    std::string onController() const
    {
        std::ifstream in(sim.diskPath() + "/C/NEWS.TXT", std::ios::binary);
        if (!in) return "<missing>";
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    HxSim sim;
    TempDir dir;
    const std::string watched = dir.file("news.txt");
    FMySetup store;
    WatchDriver driver{store};
    int changes = 0;
};

}  // namespace

TEST_F(WatchedFileFault, FolderInPlaceOfTheFileFailsTheSetUpUntilTheFileIsBack)
{
    fs::create_directory(watched);
    tick();
    EXPECT_FALSE(+record().TmrStart);
    EXPECT_EQ(+record().TmrCount, 7);
    EXPECT_EQ(onController(), "<missing>");

    writeWatched("back again");
    tick();  // a failing display whose file changed is tried at once
    EXPECT_TRUE(+record().TmrStart);
    EXPECT_EQ(onController(), "back again");

    // Watching: the file becomes a folder, then a file again.
    fs::remove(watched);
    fs::create_directory(watched);
    tick(20);
    EXPECT_EQ(onController(), "back again");
    writeWatched("and again");
    EXPECT_TRUE(tickUntilOnController("and again"));
}

TEST_F(WatchedFileFault, PipeInPlaceOfTheFileIsNotReadAndDoesNotBlock)
{
    writeWatched("first");
    tick();
    ASSERT_TRUE(+record().TmrStart);
    fs::remove(watched);
    ASSERT_EQ(::mkfifo(watched.c_str(), 0644), 0);  // nobody writes to it: a read would wait for ever
    tick(20);
    EXPECT_EQ(onController(), "first");
    writeWatched("second");
    EXPECT_TRUE(tickUntilOnController("second"));
}

TEST_F(WatchedFileFault, UnreadableFileIsRetriedUntilItCanBeRead)
{
    writeWatched("readable");
    tick();
    ASSERT_TRUE(+record().TmrStart);

    writeWatched("secret");
    fs::permissions(watched, fs::perms::none);
    // The tick sees the folder as any user would; the play list is not written on later visits.
    fs::permissions(dir.path(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    {
        AccessAsNobody nobody;
        if (std::ifstream(watched).is_open()) GTEST_SKIP() << "this process reads files without read permission";
        tick(20);
    }
    EXPECT_EQ(onController(), "readable");

    fs::permissions(watched, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    EXPECT_TRUE(tickUntilOnController("secret"));
}

TEST_F(WatchedFileFault, LargeFilesGoBlockByBlockAndOnesTheControllerCannotHoldAreNotSent)
{
    // Sparse files: they take no room on the disk.
    std::ofstream(watched, std::ios::binary).close();
    fs::resize_file(watched, 100u << 20);
    tick();
    // Above what a controller stores: found on this computer, the controller never asked.
    EXPECT_FALSE(+record().TmrStart);
    EXPECT_EQ(+record().TmrCount, 7);
    EXPECT_EQ(onController(), "<missing>");
    EXPECT_TRUE(sim.logLines().empty());

    fs::resize_file(watched, 24u << 20);
    const long residentBefore = processStatusKb("VmRSS");
    const bool peakReset = resetPeakResident();
    tick();
    // Block by block: memory grew by far less than the file.
    if (peakReset) {
        EXPECT_LT(processStatusKb("VmHWM") - residentBefore, 8 * 1024);
    }
    EXPECT_LT(processStatusKb("VmRSS") - residentBefore, 8 * 1024);
    EXPECT_TRUE(+record().TmrStart);
    EXPECT_EQ(fs::file_size(sim.diskPath() + "/C/NEWS.TXT"), 24u << 20);
}
