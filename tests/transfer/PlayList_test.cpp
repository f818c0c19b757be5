#include "FakeHx.h"
#include "TempDir.h"
#include "transfer/PlayList.h"

#include <gtest/gtest.h>

#include <filesystem>

using Calls = std::vector<std::string>;

namespace {

const std::string FreshHead = "[Program1]\r\n"
                              "Timer1=01120131010700002359\r\n"
                              "Timer2=00000000000000000000\r\n"
                              "Timer3=00000000000000000000\r\n"
                              "Timer4=00000000000000000000\r\n"
                              "Timer5=00000000000000000000\r\n"
                              "Timer6=00000000000000000000\r\n"
                              "Timer7=00000000000000000000\r\n"
                              "Timer8=00000000000000000000\r\n";

const std::string Downloaded = "[Program1]\r\nTimer1=01120131010700002359\r\nMainScreen=2\r\nScreen=2\r\n"
                               "[Program1_Screen1]\r\nPosition=3840,0,256,16\r\nItemCount=1\r\nItem1=X,A:\\A.TXT,1,1,1\r\n"
                               "[Program1_Screen2]\r\nPosition=3840,16,256,16\r\nItemCount=2\r\n"
                               "Item1=X,A:\\OLD.TXT,1,1,1\r\nItem2=X,A:\\MORE.TXT,2,2,2\r\n";

MySetupType newsDisplay()
{
    MySetupType record{};
    record.bUsed = 1;
    record.Width = 128;
    record.Height = 32;
    record.Enter = 1;
    record.Speed = 3;
    record.Stay = 5;
    return record;
}

class PlayListWriting : public ::testing::Test {
protected:
    TempDir dir;
    std::string written() { return dir.read("PlayList.QV"); }
};

}  // namespace

TEST_F(PlayListWriting, FreshTransferFileWithTheDisplaysArea)
{
    MySetupType record = newsDisplay();
    record.AreaIndex = 4;
    ASSERT_TRUE(writePlayList(record, transferWriter(record, 'C', "NEWS.TXT"), dir.path(), false));
    EXPECT_EQ(written(), FreshHead + "MainScreen=1\r\nScreen=1\r\n[Program1_Screen1]\r\nPosition=3968,0,128,32\r\n"
                                     "ItemCount=1\r\nItem1=X,C:\\NEWS.TXT,1,4,5\r\n");
    EXPECT_EQ(+record.AreaIndex, 1);
}

TEST_F(PlayListWriting, TransferAreaItemNamesTheTextDisk)
{
    MySetupType record = newsDisplay();
    record.Left = 16;
    record.Top = 8;
    ASSERT_TRUE(writePlayList(record, transferWriter(record, 'B', "NEWS.TXT"), dir.path(), false));
    const std::string text = written();
    EXPECT_NE(text.find("Position=3984,8,128,32\r\n"), std::string::npos);
    EXPECT_NE(text.find("Item1=X,B:\\NEWS.TXT,1,4,5\r\n"), std::string::npos);
}

TEST_F(PlayListWriting, DownloadedListHasOnlyItsAreaPatched)
{
    MySetupType record = newsDisplay();
    record.bFromPlayList = 1;
    record.AreaIndex = 2;
    dir.write("PlayList.Qv", Downloaded);
    ASSERT_TRUE(writePlayList(record, transferWriter(record, 'C', "NEWS.TXT"), dir.path(), true));
    std::string expected = Downloaded;
    expected.replace(expected.find("ItemCount=2"), 11, "ItemCount=1");
    expected.replace(expected.find("Item1=X,A:\\OLD.TXT,1,1,1"), 24, "Item1=X,C:\\NEWS.TXT,1,4,5");
    EXPECT_EQ(dir.read("PlayList.Qv"), expected);
    EXPECT_EQ(+record.AreaIndex, 2);
    // The download's case is kept: one file, not two.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(PlayListWriting, ClickSendKeepsItsAreaIndexOutsideTheCount)
{
    MySetupType record = newsDisplay();
    record.AreaIndex = 3;
    ASSERT_TRUE(writePlayList(record, clickSendWriter(), dir.path(), false));
    EXPECT_EQ(written(), FreshHead + "MainScreen=3\r\nScreen=1\r\n[Program1_Screen1]\r\nPosition=3968,0,128,32\r\n"
                                     "ItemCount=1\r\nItem1=X,TEST.TXT,1,1,1\r\n"
                                     "[Program1_Screen3]\r\nItemCount=1\r\nItem1=X,C:\\NULL.TXT,1,1,60000\r\n");
    EXPECT_EQ(+record.AreaIndex, 3);
}

TEST_F(PlayListWriting, ClickSendWithAreaIndexZero)
{
    MySetupType record = newsDisplay();
    ASSERT_TRUE(writePlayList(record, clickSendWriter(), dir.path(), false));
    EXPECT_NE(written().find("Item1=X,TEST.TXT,1,1,1\r\n[Program1_Screen0]\r\nItemCount=1\r\n"
                             "Item1=X,C:\\NULL.TXT,1,1,60000\r\n"),
              std::string::npos);
    EXPECT_EQ(+record.AreaIndex, 0);
}

TEST_F(PlayListWriting, ClickSendAreaOneOverwritesTheFreshItem)
{
    MySetupType record = newsDisplay();
    record.AreaIndex = 1;
    ASSERT_TRUE(writePlayList(record, clickSendWriter(), dir.path(), false));
    EXPECT_NE(written().find("ItemCount=1\r\nItem1=X,C:\\NULL.TXT,1,1,60000\r\n"), std::string::npos);
    EXPECT_EQ(written().find("TEST.TXT"), std::string::npos);
}

TEST_F(PlayListWriting, ExistingFileInAnotherCaseIsReplaced)
{
    dir.write("playlist.qv", "[Old]\r\nx=1\r\n");
    MySetupType record = newsDisplay();
    ASSERT_TRUE(writePlayList(record, transferWriter(record, 'C', "NEWS.TXT"), dir.path(), false));
    EXPECT_EQ(dir.read("playlist.qv").rfind(FreshHead, 0), 0u);
#ifndef _WIN32  // one file under both spellings there
    EXPECT_FALSE(std::filesystem::exists(dir.file("PlayList.QV")));
#endif
}

TEST_F(PlayListWriting, UnwritableFolderIsAnError)
{
    dir.write("file", "");
    MySetupType record = newsDisplay();
    std::string error;
    EXPECT_FALSE(writePlayList(record, transferWriter(record, 'C', "NEWS.TXT"), dir.file("file/"), false,
                               &error));
    EXPECT_FALSE(error.empty());
}

class PlayListDownload : public ::testing::Test {
protected:
    TempDir dir;
    FakeHx fake;
    PlayListState state;
    std::vector<int> pauses;
    SleepFn sleep = [this](int ms) { pauses.push_back(ms); };
    MySetupType record = [] {
        MySetupType r{};
        r.bUsed = 1;
        r.nMode = 1;
        r.Addr = 4;
        return r;
    }();
};

TEST_F(PlayListDownload, FetchesFromTheNumberedFolder)
{
    fake.setPlayInfo(1, 7);
    fake.putFile(1, "P07\\PlayList.Qv", "[Program1]\r\n");
    dir.write("PLAYLIST.QV", "stale");
    EXPECT_TRUE(GetPlayListFile(fake.dll(), record, state, dir.path(), sleep));
    EXPECT_EQ(state.mPlayListPath, "P07\\");
    EXPECT_EQ(state.mPlayListIndex, 7);
    EXPECT_EQ(dir.read("PLAYLIST.QV"), "[Program1]\r\n");
    EXPECT_EQ(fake.calls(), (Calls{"ComInitial(4,0,0,4,0,0,-1)", "GetPlayInfo(4)", "TurnVGA(4,0)", "TurnVGA(4,0)",
                                   "LoadFromFile(4,1,P07\\PlayList.Qv)", "ReceiveData(4,0,12)", "TurnVGA(4,-1)",
                                   "TurnVGA(4,-1)", "Close(4)"}));
    EXPECT_EQ(pauses, std::vector<int>{100});
}

TEST_F(PlayListDownload, NumberZeroFallsBackToTheTopLevel)
{
    fake.putFile(0, "Playlist.qv", "top");
    state = {"P09\\", 9};
    EXPECT_TRUE(GetPlayListFile(fake.dll(), record, state, dir.path(), sleep));
    EXPECT_EQ(state.mPlayListPath, "");
    EXPECT_EQ(state.mPlayListIndex, 0);
    EXPECT_EQ(dir.read("PlayList.Qv"), "top");
    EXPECT_EQ(fake.callsNamed("LoadFromFile"), (Calls{"LoadFromFile(4,0,P00\\PlayList.Qv)", "LoadFromFile(4,0,Playlist.qv)"}));
}

TEST_F(PlayListDownload, OtherNumberWithoutListFailsAndKeepsItsPlace)
{
    fake.setPlayInfo(0, 12);
    EXPECT_FALSE(GetPlayListFile(fake.dll(), record, state, dir.path(), sleep));
    EXPECT_EQ(state.mPlayListPath, "P12\\");
    EXPECT_EQ(state.mPlayListIndex, 12);
    EXPECT_EQ(fake.callsNamed("LoadFromFile"), Calls{"LoadFromFile(4,0,P12\\PlayList.Qv)"});
}

TEST_F(PlayListDownload, NumbersFrom100OnAreAFailedRead)
{
    fake.setPlayInfo(0, 100);
    state = {"P02\\", 2};
    EXPECT_FALSE(GetPlayListFile(fake.dll(), record, state, dir.path(), sleep));
    EXPECT_TRUE(fake.callsNamed("LoadFromFile").empty());
    EXPECT_EQ(state.mPlayListPath, "P02\\");
    EXPECT_EQ(fake.calls().back(), "Close(4)");
}

TEST_F(PlayListDownload, SilentHexalinkCostsSixPauses)
{
    record.nLEDSystem = 1;
    fake.failCall("GetPlayInfo");
    EXPECT_FALSE(GetPlayListFile(fake.dll(), record, state, dir.path(), sleep));
    EXPECT_EQ(pauses, std::vector<int>(6, 500));
    EXPECT_EQ(fake.callsNamed("GetPlayInfo").size(), 6u);
    EXPECT_TRUE(fake.callsNamed("TurnVGA").empty());
    EXPECT_EQ(fake.calls().back(), "Close(4)");
}

TEST_F(PlayListDownload, HexalinkStopsAtTheFirstAnswer)
{
    record.nLEDSystem = 1;
    fake.failCall("GetPlayInfo", 1);
    fake.failCall("GetPlayInfo", 2);
    fake.setPlayInfo(1, 5);
    fake.putFile(1, "P05\\PlayList.Qv", "x");
    EXPECT_TRUE(GetPlayListFile(fake.dll(), record, state, dir.path(), sleep));
    EXPECT_EQ(pauses, (std::vector<int>{500, 500, 500, 100}));
}

TEST_F(PlayListDownload, OtherTypeAsksOnceWithoutPause)
{
    fake.failCall("GetPlayInfo");
    EXPECT_FALSE(GetPlayListFile(fake.dll(), record, state, dir.path(), sleep));
    EXPECT_TRUE(pauses.empty());
    EXPECT_EQ(fake.calls(), (Calls{"ComInitial(4,0,0,4,0,0,-1)", "GetPlayInfo(4)", "Close(4)"}));
}

TEST_F(PlayListDownload, NoConnectionNoClose)
{
    fake.failCall("ComInitial");
    EXPECT_FALSE(GetPlayListFile(fake.dll(), record, state, dir.path(), sleep));
    EXPECT_EQ(fake.calls(), Calls{"ComInitial(4,0,0,4,0,0,-1)"});
}

class PlayListPlaces : public PlayListDownload {
protected:
    FMySetup store;
    PlayListLocations places;

    void SetUp() override
    {
        store.mSetup[0] = record;
        store.mSetup[1] = record;
        store.mSetup[1].Addr = 5;
        fake.setPlayInfo(1, 7);
        fake.putFile(1, "P07\\PlayList.Qv", "[Program1]\r\n");
    }
    bool read(int slot) { return places.read(slot, fake.dll(), store.mSetup[slot], dir.path(), sleep); }
    PlayListState of(int slot) const { return places.of(slot, store.mSetup[slot]); }
};

static void PrintTo(const PlayListState &state, std::ostream *out)
{
    *out << '"' << state.mPlayListPath << "\" " << state.mPlayListIndex;
}

TEST_F(PlayListPlaces, ALocationBelongsToTheDisplayItWasReadFor)
{
    const PlayListState topLevel{"", 0}, seven{"P07\\", 7};
    EXPECT_EQ(of(0), topLevel);
    ASSERT_TRUE(read(0));
    EXPECT_EQ(of(0), seven);
    EXPECT_EQ(places.lastRead, seven);
    EXPECT_EQ(of(1), topLevel);  // never read: not the other controller's folder

    fake.setPlayInfo(1, 0);
    fake.putFile(1, "Playlist.qv", "top");
    ASSERT_TRUE(read(1));
    EXPECT_EQ(places.lastRead, topLevel);
    EXPECT_EQ(of(0), seven);
}

TEST_F(PlayListPlaces, AFailedReadLeavesTheDisplayAtTheTopLevel)
{
    ASSERT_TRUE(read(0));
    fake.failCall("GetPlayInfo");
    EXPECT_FALSE(read(0));
    const PlayListState root{"\\", 0};
    EXPECT_EQ(of(0), root);
    EXPECT_EQ(places.lastRead, root);
}

TEST_F(PlayListPlaces, AnotherControllerInTheSlotStartsAtTheTopLevel)
{
    ASSERT_TRUE(read(0));
    store.mSetup[0].Port = 3;  // the display now reached on another port
    EXPECT_EQ(of(0), (PlayListState{"", 0}));
    store.mSetup[0].Port = record.Port;
    store.mSetup[0].Addr = 9;  // the slot freed and taken by another display
    EXPECT_EQ(of(0), (PlayListState{"", 0}));
}

TEST_F(PlayListPlaces, RecordsAreFoundByTheirSlot)
{
    EXPECT_EQ(PlayListLocations::slotOf(store, store.mSetup[63]), 63);
    EXPECT_EQ(PlayListLocations::slotOf(store, record), -1);
    // A record outside the store is read, but only the window's pair keeps where.
    ASSERT_TRUE(places.read(-1, fake.dll(), record, dir.path(), sleep));
    EXPECT_EQ(places.lastRead, (PlayListState{"P07\\", 7}));
    EXPECT_EQ(of(0), (PlayListState{"", 0}));
}
