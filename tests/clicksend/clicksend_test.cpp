#include "clicksend/ClickSend.h"

#include "FakeHx.h"
#include "TempDir.h"
#include "transfer/Profile.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

MySetupType area(uint16_t left, uint16_t top, uint16_t width, uint16_t height)
{
    MySetupType record{};
    record.Left = left;
    record.Top = top;
    record.Width = width;
    record.Height = height;
    return record;
}

std::array<uint8_t, 20> bytesOf(const TextOutInfo &info)
{
    std::array<uint8_t, 20> bytes{};
    std::memcpy(bytes.data(), &info, bytes.size());
    return bytes;
}

TEST(TextOutInfo, AreaAtLeftZeroIsCountedFrom4096)
{
    const std::array<uint8_t, 20> expected{0x80, 0x0F, 0, 0, 0x80, 0, 0x10, 0, 0xFF, 0xFF,
                                           0,    0,    1, 0, 2,    0, 0,    0, 0,    0};
    EXPECT_EQ(bytesOf(textOutInfoFor(area(0, 0, 128, 16))), expected);
}

TEST(TextOutInfo, LeftIsComputedIn16Bits)
{
    EXPECT_EQ(textOutInfoFor(area(64, 8, 128, 16)).Left, 4096 - 128 + 64);
    EXPECT_EQ(textOutInfoFor(area(0, 0, 5000, 16)).Left, 65536 + 4096 - 5000);
    EXPECT_EQ(textOutInfoFor(area(64, 8, 128, 16)).Top, 8);
}

TEST(ShowStringText, PrefixCarriesWidthAndHeightAsFourDigits)
{
    EXPECT_EQ(showStringText(area(0, 0, 128, 16), "Hi there"), "`R0000000001280016Hi there");
    EXPECT_EQ(showStringText(area(0, 0, 4096, 0), ""), "`R0000000040960000");
    EXPECT_EQ(showStringText(area(0, 0, 9, 2048), "x"), "`R0000000000092048x");
}

TEST(TextAreaWidth, SixPixelsPerColumnAndTwoMore)
{
    EXPECT_EQ(textAreaWidth(16), 98);
    EXPECT_EQ(textAreaWidth(0), 2);
}

// A store with a network display, a serial one, one watching a file and one
// serial display whose screen number has four digits.
class ClickSendStore : public testing::Test {
protected:
    FMySetup store;
    TempDir dir;

    void SetUp() override
    {
        store.mProgPath = dir.path();
        store.Add(0, "192.168.1.10", 0, 7000, 0, 0, 1, 0, 128, 32, 0);
        store.Add(1, "", 3, 0, 1, 9600, 1, 0, 64, 16, 1);
        store.Add(0, "10.1.1.100", 0, 7000, 0, 0, 1, 0, 128, 32, 0);
        store.Add(1, "", 1000, 0, 1, 9600, 1, 0, 64, 16, 1);
        for (auto &record : store.mSetup) {
            record.bFromFile = 0;
            record.Width = 128;
            record.Height = 16;
        }
        store.mSetup[2].bFromFile = 1;
    }
};

TEST_F(ClickSendStore, EntriesAreTheDisplaysWatchingNoFile)
{
    EXPECT_EQ(clickSendEntries(store), (Lines{"[192.168.  1. 10] ", "[  3] ", "[1000] "}));
}

TEST_F(ClickSendStore, EntriesFindTheirRecords)
{
    EXPECT_EQ(recordOfEntry(store, "[192.168.  1. 10] "), &store.mSetup[0]);
    EXPECT_EQ(recordOfEntry(store, "[  3] "), &store.mSetup[1]);
    EXPECT_EQ(recordOfEntry(store, "[1000] "), nullptr);
    EXPECT_EQ(recordOfEntry(store, "[  9] "), nullptr);
    EXPECT_EQ(recordOfEntry(store, ""), nullptr);
}

TEST_F(ClickSendStore, ALineGoesToEveryReachableDisplayInOrder)
{
    FakeHx fake;
    ControllerJobs jobs(0);
    ClickSendLines().show(jobs, fake.dll(), store, clickSendEntries(store), "hello");
    EXPECT_EQ(fake.calls(), (Lines{"NetInitial(43200,,192.168.  1. 10,1,0,7000,-1)",
                                   "ShowString(43200,`R0000000001280016hello)", "Close(43200)",
                                   "ComInitial(3,1,9600,3,1,0,0)", "ShowString(3,`R0000000001280016hello)",
                                   "Close(3)"}));
}

TEST_F(ClickSendStore, AnUnreachableDisplayIsPassedOver)
{
    FakeHx fake;
    fake.failCall("NetInitial", 1);
    ControllerJobs jobs(0);
    ClickSendLines().show(jobs, fake.dll(), store, clickSendEntries(store), "x");
    EXPECT_EQ(fake.callsNamed("ShowString"), (Lines{"ShowString(3,`R0000000001280016x)"}));
    EXPECT_EQ(fake.callsNamed("Close"), (Lines{"Close(3)"}));
}

TEST_F(ClickSendStore, PreparingUploadsThePlayListAndRestartsIt)
{
    FakeHx fake;
    PlayListLocations places;
    store.mSetup[0].AreaIndex = 1;
    ControllerJobs jobs(0);
    prepareDisplays(jobs, fake.dll(), store, places, {"[192.168.  1. 10] "});

    // Nothing was read from this controller: its play list lives at the top level.
    const auto saves = fake.callsNamed("SaveToFile");
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].rfind("SaveToFile(43200,0,PlayList.qv,", 0), 0u) << saves[0];
    EXPECT_EQ(fake.callsNamed("Reset"), (Lines{"Reset(43200,0)"}));
    EXPECT_EQ(fake.calls().back(), "Close(43200)");

    const std::string *uploaded = fake.file(0, "PLAYLIST.QV");
    ASSERT_NE(uploaded, nullptr);
    const auto sent = IniDocument::parse(*uploaded);
    EXPECT_EQ(sent.value("Program1", "MainScreen"), "3");
    EXPECT_EQ(sent.value("Program1_Screen1", "Position"), "3968,0,128,16");
    EXPECT_EQ(sent.value("Program1_Screen1", "Item1"), "X,C:\\NULL.TXT,1,1,60000");
}

TEST_F(ClickSendStore, EachDisplayGoesToTheFolderReadFromItsOwnController)
{
    FakeHx fake;
    PlayListLocations places;
    store.mSetup[0].bFromPlayList = 1;
    store.mSetup[0].AreaIndex = 1;
    fake.setPlayInfo(0, 5);
    fake.putFile(0, "P05\\PlayList.Qv", "[Program1]\r\nScreen=1\r\n");
    ControllerJobs jobs(0);
    prepareDisplays(jobs, fake.dll(), store, places, clickSendEntries(store));
    jobs.collect();

    const auto saves = fake.callsNamed("SaveToFile");
    ASSERT_EQ(saves.size(), 2u);
    EXPECT_EQ(saves[0].rfind("SaveToFile(43200,0,P05\\PlayList.qv,", 0), 0u) << saves[0];
    EXPECT_EQ(saves[1].rfind("SaveToFile(3,0,PlayList.qv,", 0), 0u) << saves[1];
    EXPECT_EQ(fake.callsNamed("Reset"), (Lines{"Reset(43200," + std::to_string(5 << 16) + ")", "Reset(3,0)"}));
    EXPECT_EQ(places.lastRead, (PlayListState{"P05\\", 5}));
}

TEST_F(ClickSendStore, AFailedUploadRestartsNothingButCloses)
{
    FakeHx fake;
    PlayListLocations places;
    fake.failCall("SaveToFile");
    ControllerJobs jobs(0);
    prepareDisplays(jobs, fake.dll(), store, places, clickSendEntries(store));
    EXPECT_TRUE(fake.callsNamed("Reset").empty());
    EXPECT_EQ(fake.callsNamed("Close"), (Lines{"Close(43200)", "Close(3)"}));
}

TEST_F(ClickSendStore, AFailedFetchLeavesTheDisplaysProgramAlone)
{
    FakeHx fake;
    PlayListLocations places;
    store.mSetup[1].bFromPlayList = 1;
    store.mSetup[1].AreaIndex = 3;
    fake.failCall("GetPlayInfo");
    ControllerJobs jobs(0);
    prepareDisplays(jobs, fake.dll(), store, places, {"[  3] "}, [](int) {});
    jobs.collect();
    EXPECT_EQ(int{store.mSetup[1].AreaIndex}, 3);
    EXPECT_EQ(places.of(1, store.mSetup[1]), (PlayListState{"\\", 0}));
    EXPECT_TRUE(fake.callsNamed("SaveToFile").empty());
    EXPECT_TRUE(fake.callsNamed("Reset").empty());
}

TEST(ClickSendText, ReadsByTheControllerTextRuleAndDropsNulBytes)
{
    const ClickSendText text = clickSendText(std::string("\xE4\xBD\xA0\0b \xF0\x9F\x98\x80", 10), 0, 16);
    ASSERT_TRUE(text.ok);
    EXPECT_EQ(text.lines, (Lines{"\xC4\xE3" "b \xA3\xBF"}));  // 你b ？
    EXPECT_EQ(text.replaced, "1 个字符无法显示，已换成“？”：😀（GBK 中没有）");
}

TEST(LoadClickSendText, ReadsAndBreaksAFile)
{
    TempDir dir;
    dir.write("news.txt", "\xEF\xBB\xBF" + std::string(40, 'a') + "\r\n\r\n\xE4\xBD\xA0\xE5\xA5\xBD\n");
    const ClickSendText text = loadClickSendText(dir.file("news.txt"), 0, 16);
    ASSERT_TRUE(text.ok);
    EXPECT_EQ(text.lines,
              (Lines{std::string(16, 'a'), std::string(16, 'a'), std::string(8, 'a'), "", "\xC4\xE3\xBA\xC3"}));
}

TEST(LoadClickSendText, ADisplayWithoutALineWidthGetsLinesTheLibraryTakes)
{
    TempDir dir;
    dir.write("long.txt", std::string(3000, 'x'));
    const ClickSendText text = loadClickSendText(dir.file("long.txt"), 0, 0);
    ASSERT_TRUE(text.ok);
    ASSERT_EQ(text.lines.size(), 3u);
    for (const std::string &line : text.lines) {
        MySetupType record{};
        EXPECT_LE(showStringText(record, line).size(), std::size_t{HX_MAX_TEXT});
    }
    EXPECT_EQ(text.lines[0].size(), std::size_t(MaxShownColumns));
}

TEST(LoadClickSendText, AFileThatCannotBeReadNamesFileAndReason)
{
    TempDir dir;
    const ClickSendText text = loadClickSendText(dir.file("missing.txt"), 0, 16);
    EXPECT_FALSE(text.ok);
    EXPECT_NE(text.error.find("missing.txt"), std::string::npos);
    EXPECT_NE(text.error.find("No such file"), std::string::npos) << text.error;
}

}  // namespace
