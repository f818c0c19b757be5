#include "FileIO.h"
#include "MySetupData.h"
#include "TempDir.h"
#include "text/MyString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

std::string bytesAt(const MySetupType &record, std::size_t offset, std::size_t length)
{
    return std::string(reinterpret_cast<const char *>(&record) + offset, length);
}

void addNetwork(FMySetup &store, const char *ip, uint16_t port = 27694)
{
    store.Add(0, ip, 0, port, 1, 2400, 2, 2, 128, 32, 0);
}

}  // namespace

TEST(SettingsRecord, AddedNetworkDisplayHasTheDocumentedBytes)
{
    TempDir dir;
    FMySetup store;
    store.Initial(dir.path());
    addNetwork(store, "192.168.  1. 10");

    const MySetupType &record = store.mSetup[0];
    const std::map<std::size_t, std::string> expected{
        {0, "\x01"},
        {5, "\xC0\xA8\x01\x0A"},
        {9, "\x2E\x6C"},
        {11, std::string("\x60\x09\x00\x00", 4)},
        {15, std::string("\x02\x00", 2)},
        {17, std::string("\x02\x00", 2)},
        {26, std::string("\x80\x00", 2)},
        {28, std::string("\x20\x00", 2)},
        {31, "\x04\xCB\xCE\xCC\xE5"},
        {96, std::string("\x0C\x00", 2)},
        {98, "\x01"},
        {350, std::string("\x14\x00", 2)},
        {354, std::string("\x04\x00", 2)},
        {356, std::string("\x05\x00", 2)},
        {362, std::string("\x80\x00", 2)},
        {364, std::string("\x20\x00", 2)},
        {369, "\x02"},
    };
    std::string all(reinterpret_cast<const char *>(&record), sizeof record);
    std::string want(sizeof record, '\0');
    for (const auto &[offset, bytes] : expected) want.replace(offset, bytes.size(), bytes);
    for (std::size_t i = 0; i < sizeof record; ++i)
        EXPECT_EQ(static_cast<uint8_t>(all[i]), static_cast<uint8_t>(want[i])) << "offset " << i;
    EXPECT_EQ(bytesAt(record, 5, 4), "\xC0\xA8\x01\x0A");
}

TEST(SettingsRecord, DefaultFontNameIsInTheLanguagesCodePage)
{
    FMySetup store;
    store.Add(0, "10.1.1.100", 0, 27694, 1, 2400, 2, 2, 128, 32, 0, 1);  // Traditional Chinese: Big5
    store.Add(0, "10.1.1.101", 0, 27694, 1, 2400, 2, 2, 128, 32, 0, 0);  // GBK
    EXPECT_EQ(bytesAt(store.mSetup[0], 31, 5), "\x04\xA7\xBA\xCA\x5E");
    EXPECT_EQ(bytesAt(store.mSetup[1], 31, 5), "\x04\xCB\xCE\xCC\xE5");
    EXPECT_EQ(ansiToUtf8(shortString(store.mSetup[0].FontName), 1), "宋体");
}

TEST(SettingsFile, FirstSaveWritesTheWholeTable)
{
    TempDir dir;
    FMySetup store;
    EXPECT_EQ(store.Initial(dir.path()).status, LoadStatus::Missing);
    for (const auto &record : store.mSetup) EXPECT_FALSE(record.bUsed);
    addNetwork(store, "10.1.1.100");
    ASSERT_TRUE(store.WriteToFile());

    const std::string file = dir.read("Marqora.dat");
    ASSERT_EQ(file.size(), 25794u);
    EXPECT_EQ(file.substr(0, 2), std::string("\x64\x00", 2));
    EXPECT_EQ(file.substr(2, 403), std::string(reinterpret_cast<const char *>(&store.mSetup[0]), 403));
    EXPECT_EQ(file.find_first_not_of('\0', 2 + 403), std::string::npos);
}

TEST(SettingsFile, SaveAndLoadRoundTripAndCompactUsedRecords)
{
    TempDir dir;
    FMySetup store;
    store.Initial(dir.path());
    addNetwork(store, "10.1.1.1");
    addNetwork(store, "10.1.1.2");
    store.Add(1, "", 7, 0, 3, 9600, 5, 4, 64, 16, 1);
    store.Del(0, "10.1.1.1", 0);  // slot 0 becomes free
    store.mSetup[1].ChangeTime = 0x11223344;
    ASSERT_TRUE(store.WriteToFile());
    // The in-memory order stays; the file holds the used records first.
    EXPECT_FALSE(store.mSetup[0].bUsed);

    FMySetup loaded;
    EXPECT_EQ(loaded.Initial(dir.path()).status, LoadStatus::Loaded);
    EXPECT_EQ(+loaded.mSetup[0].Addr, FMySetup::IPStrToLong("10.1.1.2"));
    EXPECT_EQ(+loaded.mSetup[0].ChangeTime, 0x11223344u);
    EXPECT_EQ(+loaded.mSetup[1].nMode, 1);
    EXPECT_EQ(+loaded.mSetup[1].Addr, 7u);
    EXPECT_EQ(+loaded.mSetup[1].Port, 3);
    EXPECT_EQ(+loaded.mSetup[1].nLEDSystem, 1);
    EXPECT_FALSE(loaded.mSetup[2].bUsed);
    EXPECT_EQ(0, std::memcmp(&loaded.mSetup[0], &store.mSetup[1], sizeof(MySetupType)));
}

TEST(SettingsFile, SaveClearsTheWatchStateInMemory)
{
    TempDir dir;
    FMySetup store;
    store.Initial(dir.path());
    addNetwork(store, "10.1.1.1");
    store.Enable(true);
    store.mSetup[0].TmrStart = 1;
    store.mSetup[0].TmrCount = 17;
    ASSERT_TRUE(store.WriteToFile());
    EXPECT_EQ(+store.mSetup[0].TmrEnable, 0);
    EXPECT_EQ(+store.mSetup[0].TmrStart, 0);
    EXPECT_EQ(+store.mSetup[0].TmrCount, 0);
}

TEST(SettingsFile, DamagedFilesKeepTheWholeRecordsAndNeverCrash)
{
    TempDir dir;
    FMySetup writer;
    writer.Initial(dir.path());
    addNetwork(writer, "10.1.1.1");
    addNetwork(writer, "10.1.1.2");
    ASSERT_TRUE(writer.WriteToFile());
    const std::string whole = dir.read("Marqora.dat");

    struct Case {
        std::string name;
        std::string content;
        LoadStatus status;
        int used;
    };
    const Case cases[] = {
        {"empty", "", LoadStatus::Damaged, 0},
        {"one byte", "\x64", LoadStatus::Damaged, 0},
        {"header only", whole.substr(0, 2), LoadStatus::Damaged, 0},
        {"one and a half records", whole.substr(0, 2 + 403 + 200), LoadStatus::Damaged, 1},
        {"two records", whole.substr(0, 2 + 2 * 403), LoadStatus::Damaged, 2},
        {"wrong version", std::string("\x65\x00", 2) + whole.substr(2), LoadStatus::WrongVersion, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        dir.write("Marqora.dat", c.content);
        FMySetup store;
        LoadResult result = store.Initial(dir.path());
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(store.usedCount(), c.used);
        if (c.status == LoadStatus::Damaged) {
            EXPECT_NE(result.message.find("Marqora.dat"), std::string::npos);
        }
    }
}

TEST(SettingsFile, FailedSaveLeavesThePreviousFileAndSaysWhy)
{
    TempDir dir;
    FMySetup store;
    store.Initial(dir.path());
    addNetwork(store, "10.1.1.1");
    ASSERT_TRUE(store.WriteToFile());
    const std::string before = dir.read("Marqora.dat");

    // A folder where the temporary file would go cannot be written even by root.
    std::filesystem::rename(dir.path(), dir.path().substr(0, dir.path().size() - 1) + ".moved");
    {
        std::ofstream blocker(dir.path().substr(0, dir.path().size() - 1));
    }
    addNetwork(store, "10.1.1.2");
    std::string error;
    EXPECT_FALSE(store.WriteToFile(&error));
    EXPECT_NE(error.find("Marqora.dat"), std::string::npos);
    std::filesystem::remove(dir.path().substr(0, dir.path().size() - 1));
    std::filesystem::rename(dir.path().substr(0, dir.path().size() - 1) + ".moved", dir.path());
    EXPECT_EQ(dir.read("Marqora.dat"), before);
    EXPECT_EQ(store.usedCount(), 2);  // memory keeps what the user entered
}

TEST(SettingsStore, GetMatchesModeAndKeyAndPrefersTheHighestSlot)
{
    FMySetup store;
    store.Add(0, "0.0.0.5", 0, 27694, 1, 2400, 2, 2, 128, 32, 0);  // address value 5 << 24
    store.Add(0, "5.0.0.0", 0, 27696, 1, 2400, 2, 2, 128, 32, 0);  // address value 5
    store.Add(1, "", 5, 0, 2, 9600, 2, 2, 64, 16, 0);
    EXPECT_EQ(store.Get(1, "...", 5), &store.mSetup[2]);
    EXPECT_EQ(store.Get(0, "5.0.0.0", 0), &store.mSetup[1]);
    EXPECT_EQ(store.Get(2, "5.0.0.0", 5), nullptr);
    EXPECT_EQ(store.Get(1, "", 6), nullptr);

    store.Add(0, "5.0.0.0", 0, 30000, 1, 2400, 2, 2, 128, 32, 0);  // the same key again
    EXPECT_EQ(store.Get(0, "  5.  0.  0.  0", 0), &store.mSetup[3]);
    store.Del(0, "5.0.0.0", 0);
    EXPECT_FALSE(store.mSetup[3].bUsed);
    EXPECT_EQ(store.Get(0, "5.0.0.0", 0), &store.mSetup[1]);
}

TEST(SettingsStore, ReplaceKeepsKeyTypeAndAreaAndAddOnAFullTableDoesNothing)
{
    FMySetup store;
    store.Add(1, "", 9, 0, 2, 9600, 2, 2, 64, 16, 1);
    store.mSetup[0].Left = 8;
    store.Replace(1, "", 9, 0, 4, 19200, 3, 5, 96, 24);
    const MySetupType &r = store.mSetup[0];
    EXPECT_EQ(+r.Port, 4);
    EXPECT_EQ(+r.BaudRate, 19200u);
    EXPECT_EQ(+r.Timeout, 3);
    EXPECT_EQ(+r.RetryTimes, 5);
    EXPECT_EQ(+r.LEDWidth, 96);
    EXPECT_EQ(+r.Width, 64);
    EXPECT_EQ(+r.Left, 8);
    EXPECT_EQ(+r.nLEDSystem, 1);

    for (int i = 1; i < _MaxItem; ++i) store.Add(1, "", static_cast<uint16_t>(100 + i), 0, 1, 2400, 2, 2, 8, 8, 0);
    ASSERT_TRUE(store.isFull());
    FMySetup copy = store;
    store.Add(1, "", 999, 0, 1, 2400, 2, 2, 8, 8, 0);
    EXPECT_EQ(0, std::memcmp(copy.mSetup, store.mSetup, sizeof store.mSetup));
}

TEST(SettingsStore, EnableTouchesOnlyFileWatchingDisplays)
{
    FMySetup store;
    addNetwork(store, "10.0.0.1");
    addNetwork(store, "10.0.0.2");
    store.mSetup[1].bFromFile = 0;
    store.Enable(true);
    EXPECT_EQ(+store.mSetup[0].TmrEnable, 1);
    EXPECT_EQ(+store.mSetup[1].TmrEnable, 0);
    EXPECT_EQ(+store.mSetup[2].TmrEnable, 0);
    store.Enable(false);
    EXPECT_EQ(+store.mSetup[0].TmrEnable, 0);
}

TEST(AddressText, ParsesAndFormatsAsTheListShowsThem)
{
    struct Case {
        const char *text;
        uint32_t value;
    };
    const Case cases[] = {
        {"192.168.  1. 10", 167880896u},
        {"192.168.1.10", 167880896u},
        {"300.1.1.1", 16843308u},
        {"  9600", 9600u},
        {" 19200", 19200u},
        {"", 0u},
        {"...", 0u},
        {"1.2.3.4.5.6", 0x04030201u},  // surplus parts are ignored
        {"a1b.2c.3.4", 0x04030201u},
    };
    for (const auto &c : cases) EXPECT_EQ(FMySetup::IPStrToLong(c.text), c.value) << c.text;

    EXPECT_EQ(FMySetup::LongToIPStr(167880896u), "192.168.  1. 10");
    EXPECT_EQ(FMySetup::LongToIPStr(0), "  0.  0.  0.  0");
    for (uint32_t value : {0u, 167880896u, 0xFFFFFFFFu, 0x01020304u})
        EXPECT_EQ(FMySetup::IPStrToLong(FMySetup::LongToIPStr(value)), value);
}

TEST(EntryText, ShowsTheKeyAndReadsItBack)
{
    FMySetup store;
    store.Add(0, "10.1.1.100", 0, 27694, 1, 2400, 2, 2, 128, 32, 0);
    store.Add(1, "", 5, 0, 1, 2400, 2, 2, 128, 32, 0);
    EXPECT_EQ(displayEntryText(store.mSetup[0]), "[ 10.  1.  1.100] ");
    EXPECT_EQ(displayEntryText(store.mSetup[1]), "[  5] ");

    DisplayKey network = keyOfEntryText("[ 10.  1.  1.100] HXSIM");
    EXPECT_EQ(network.mode, 0);
    EXPECT_EQ(store.Get(network.mode, network.ip, network.ledNum), &store.mSetup[0]);
    DisplayKey serial = keyOfEntryText("[  5] name");
    EXPECT_EQ(serial.mode, 1);
    EXPECT_EQ(store.Get(serial.mode, serial.ip, serial.ledNum), &store.mSetup[1]);
    // Short or empty texts never read past their end.
    EXPECT_EQ(keyOfEntryText("").mode, 0);
    EXPECT_EQ(keyOfEntryText("[1").ip, "1");
}

TEST(ShortStrings, AreCutAtTheCapacityWithoutSplittingACharacter)
{
    MySetupType record{};
    setShortString(record.FontName, std::string(70, 'a'));
    EXPECT_EQ(record.FontName[0], 64);
    std::string chinese;
    for (int i = 0; i < 40; ++i) chinese += "\xCB\xCE";
    chinese = "a" + chinese;  // the 64th byte would be a lead byte
    setShortString(record.FontName, chinese);
    EXPECT_EQ(record.FontName[0], 63);
    EXPECT_EQ(shortString(record.FontName), chinese.substr(0, 63));
    record.FontName[0] = 200;  // a damaged length reads as the capacity
    EXPECT_EQ(shortString(record.FontName).size(), 64u);
}

TEST(ProgramFolder, FollowsMarqoraHomeAndEndsWithASeparator)
{
    TempDir dir;
    const std::string end(1, nativeSeparator());
    setenv("MARQORA_HOME", (dir.path() + "home").c_str(), 1);
    EXPECT_EQ(resolveProgPath("/nonexistent"), dir.path() + "home" + end);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "home"));
    unsetenv("MARQORA_HOME");

    std::filesystem::create_directory(dir.path() + "bin");
    EXPECT_EQ(resolveProgPath(dir.path() + "bin"), dir.path() + "bin" + end);

    setenv("XDG_DATA_HOME", (dir.path() + "data").c_str(), 1);
    EXPECT_EQ(resolveProgPath(dir.path() + "missing"), dir.path() + "data/Marqora" + end);
    unsetenv("XDG_DATA_HOME");
}

// Only a POSIX install shares its executables folder; on Windows the
// program folder stays the program's own.
#ifndef _WIN32
TEST(ProgramFolder, IsNeverTheInstalledExecutablesFolderEvenWhenWritable)
{
    TempDir dir;
    std::filesystem::create_directories(dir.path() + "usr/bin");
    std::filesystem::create_directory_symlink("usr/bin", dir.path() + "bin");
    setenv("XDG_DATA_HOME", (dir.path() + "data").c_str(), 1);
    // Reached through another name of the same folder, as /bin is /usr/bin on a merged system.
    EXPECT_EQ(resolveProgPath(dir.path() + "bin", dir.path() + "usr/bin"), dir.path() + "data/Marqora/");
    EXPECT_EQ(resolveProgPath(dir.path() + "usr/bin", dir.path() + "usr/bin/"), dir.path() + "data/Marqora/");
    // A copy of the program elsewhere keeps its portable folder.
    EXPECT_EQ(resolveProgPath(dir.path() + "usr", dir.path() + "usr/bin"), dir.path() + "usr/");
    unsetenv("XDG_DATA_HOME");
}
#endif
