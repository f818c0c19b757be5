// A save of the settings or of an INI file when the disk refuses it: the
// caller learns why, and the previous file is still there, whole.
#include "FaultHelpers.h"
#include "TempDir.h"
#include "settings/FileIO.h"
#include "settings/MySetupData.h"
#include "transfer/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

class SettingsSaveFault : public ::testing::Test {
protected:
    void SetUp() override
    {
        store.Initial(dir.path());
        store.Add(0, "192.168.1.10", 0, 27694, 1, 2400, 2, 2, 128, 32, 0);
        ASSERT_TRUE(store.WriteToFile());
        before = dir.read("Marqora.dat");
        ASSERT_EQ(before.size(), SettingsFileSize);
        store.Add(1, "", 3, 0, 2, 9600, 1, 1, 64, 16, 1);  // the change that fails to reach the disk
    }

    // Saves under the fault, then checks what the caller and the disk show.
    void expectRefusedSave(const std::function<bool(std::string &)> &save, const std::string &cause)
    {
        std::string error;
        EXPECT_FALSE(save(error));
        EXPECT_NE(error.find(store.settingsFile()), std::string::npos) << error;
        EXPECT_NE(error.find(cause), std::string::npos) << error;
    }

    void expectOldFileWhole()
    {
        EXPECT_EQ(dir.read("Marqora.dat"), before);
        EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"Marqora.dat"});  // no temporary left
        FMySetup reloaded;
        EXPECT_EQ(reloaded.Initial(dir.path()).status, LoadStatus::Loaded);
        EXPECT_EQ(reloaded.usedCount(), 1);
    }

    TempDir dir;
    FMySetup store;
    std::string before;
};

}  // namespace

TEST_F(SettingsSaveFault, ReadOnlyFolderRefusesTheSaveAndKeepsTheOldFile)
{
    {
        ReadOnlyFolder readOnly(dir.path());
        if (!readOnly.works()) GTEST_SKIP() << "this process can write to a folder without write permission";
        expectRefusedSave([&](std::string &error) { return store.WriteToFile(&error); }, "Permission denied");
    }
    expectOldFileWhole();
    // The table in memory still holds the change; once the folder is writable it is saved.
    EXPECT_EQ(store.usedCount(), 2);
    ASSERT_TRUE(store.WriteToFile());
    FMySetup reloaded;
    reloaded.Initial(dir.path());
    EXPECT_EQ(reloaded.usedCount(), 2);
}

TEST_F(SettingsSaveFault, DiskFillingDuringTheSaveKeepsTheOldFile)
{
    {
        DiskFillsAt full(SettingsFileSize / 2);
        expectRefusedSave([&](std::string &error) { return store.WriteToFile(&error); }, "File too large");
    }
    expectOldFileWhole();
}

TEST_F(SettingsSaveFault, ProgramFolderThatIsAFileRefusesTheSave)
{
    store.mProgPath = dir.file("Marqora.dat/");  // what a folder replaced by a file looks like
    std::string error;
    EXPECT_FALSE(store.WriteToFile(&error));
    EXPECT_NE(error.find("Not a directory"), std::string::npos) << error;
    store.mProgPath = dir.path();
    expectOldFileWhole();
}

TEST_F(SettingsSaveFault, IniWriteRefusedByADiskFullOrReadOnlyFolderKeepsTheOldFile)
{
    const std::string ini = dir.file("Config.qv");
    ASSERT_TRUE(WriteProfileString("Program1", "Screen", "1", ini));
    const std::string old = dir.read("Config.qv");
    std::string error;
    {
        DiskFillsAt full(8);
        EXPECT_FALSE(WriteProfileString("Program1", "Timer1", std::string(64, '0'), ini, &error));
    }
    EXPECT_NE(error.find("Config.qv"), std::string::npos) << error;
    {
        ReadOnlyFolder readOnly(dir.path());
        if (readOnly.works()) {
            EXPECT_FALSE(WriteProfileString("Program1", "Screen", "2", ini, &error));
        }
    }
    EXPECT_EQ(dir.read("Config.qv"), old);
    EXPECT_EQ(GetProfileInt("Program1", "Screen", 0, ini), 1);
}
