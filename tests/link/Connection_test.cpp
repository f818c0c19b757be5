#include "FakeHx.h"
#include "TempDir.h"
#include "link/Connection.h"

#include <gtest/gtest.h>

#include <filesystem>

using Calls = std::vector<std::string>;

namespace {

MySetupType networkDisplay(const char *ip, uint16_t type = 0)
{
    MySetupType record{};
    record.bUsed = 1;
    record.nLEDSystem = type;
    record.Addr = FMySetup::IPStrToLong(ip);
    record.Port = 27694;
    record.Timeout = 2;
    record.RetryTimes = 3;
    return record;
}

}  // namespace

TEST(NetComInitial, NetworkDisplayOpensAsLow16BitsOfItsAddress)
{
    FakeHx fake;
    EXPECT_EQ(NetComInitial(fake.dll(), networkDisplay("10.1.1.100")), 266);
    EXPECT_EQ(fake.calls(), Calls{"NetInitial(266,, 10.  1.  1.100,2,3,27694,-1)"});
}

TEST(NetComInitial, HexalinkPassesFalseForTheControllerType)
{
    FakeHx fake;
    EXPECT_EQ(NetComInitial(fake.dll(), networkDisplay("192.168.1.10", 1)), 43200);
    EXPECT_EQ(fake.calls(), Calls{"NetInitial(43200,,192.168.  1. 10,2,3,27694,0)"});
}

TEST(NetComInitial, SerialDisplayOpensAsItsScreenNumber)
{
    FakeHx fake;
    MySetupType record{};
    record.nMode = 1;
    record.Addr = 3;
    record.Port = 4;
    record.BaudRate = 19200;
    record.Timeout = 1;
    record.RetryTimes = 2;
    EXPECT_EQ(NetComInitial(fake.dll(), record), 3);
    EXPECT_EQ(fake.calls(), Calls{"ComInitial(3,4,19200,3,1,2,-1)"});
}

TEST(NetComInitial, RefusedOpenGivesMinusOne)
{
    FakeHx fake;
    fake.failCall("NetInitial");
    EXPECT_EQ(NetComInitial(fake.dll(), networkDisplay("10.1.1.100")), -1);
}

TEST(ControllerPath, JoinsFolderAndNameWithOneSeparator)
{
    EXPECT_EQ(controllerPath("FON", "MyASC.Fon"), "FON\\MyASC.Fon");
    EXPECT_EQ(controllerPath("P05\\", "PlayList.qv"), "P05\\PlayList.qv");
    EXPECT_EQ(controllerPath("", "MyASC.Fon"), "MyASC.Fon");
    EXPECT_EQ(controllerPath("\\", "PlayList.qv"), "PlayList.qv");
}

class Upload : public ::testing::Test {
protected:
    TempDir dir;
    FakeHx fake;
};

TEST_F(Upload, EmptyFileIsSavedWithSizeZeroAndNoBlock)
{
    dir.write("empty.txt", "");
    EXPECT_TRUE(HXx_SendFile(fake.dll(), 7, 2, "", dir.file("empty.txt"), "EMPTY.TXT"));
    EXPECT_EQ(fake.calls(), (Calls{"TurnVGA(7,0)", "GetFileDateTime(" + dir.file("empty.txt") + ")",
                                   "SaveToFile(7,2,EMPTY.TXT,0)", "TurnVGA(7,-1)"}));
    ASSERT_NE(fake.file(2, "EMPTY.TXT"), nullptr);
    EXPECT_EQ(*fake.file(2, "EMPTY.TXT"), "");
}

TEST_F(Upload, FileGoesUpInBlocksOf1024)
{
    std::string content(2049, 'x');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    dir.write("big.bin", content);
    EXPECT_TRUE(HXx_SendFile(fake.dll(), 7, 0, "P05", dir.file("big.bin"), "BIG.BIN"));
    EXPECT_EQ(fake.callsNamed("SendData"), (Calls{"SendData(7,0,1024)", "SendData(7,1024,1024)", "SendData(7,2048,1)"}));
    EXPECT_EQ(fake.callsNamed("SaveToFile"), Calls{"SaveToFile(7,0,P05\\BIG.BIN,2049)"});
    EXPECT_EQ(*fake.file(0, "P05\\BIG.BIN"), content);
}

TEST_F(Upload, MissingFileFailsWithoutBlocksButSwitchesTheOutputBack)
{
    EXPECT_FALSE(HXx_SendFile(fake.dll(), 7, 2, "", dir.file("missing.txt"), "MISSING.TXT"));
    EXPECT_EQ(fake.calls(), (Calls{"TurnVGA(7,0)", "TurnVGA(7,-1)"}));
}

TEST_F(Upload, FolderInsteadOfFileFailsWithoutBlocks)
{
    EXPECT_FALSE(HXx_SendFile(fake.dll(), 7, 2, "", dir.path(), "X"));
    EXPECT_EQ(fake.calls(), (Calls{"TurnVGA(7,0)", "TurnVGA(7,-1)"}));
}

TEST_F(Upload, FailedBlockStopsAtOnceAndSavesNothing)
{
    dir.write("big.bin", std::string(3000, 'a'));
    fake.failCall("SendData", 2);
    EXPECT_FALSE(HXx_SendFile(fake.dll(), 7, 2, "", dir.file("big.bin"), "BIG.BIN"));
    EXPECT_EQ(fake.calls(), (Calls{"TurnVGA(7,0)", "SendData(7,0,1024)", "SendData(7,1024,1024)", "TurnVGA(7,-1)"}));
}

TEST_F(Upload, FileThatShrinksWhileSentIsNotSaved)
{
    dir.write("big.bin", std::string(100 * 1024, 'a'));
    fake.duringCall("SendData", 1, [this] { std::filesystem::resize_file(dir.file("big.bin"), 1500); });
    EXPECT_FALSE(HXx_SendFile(fake.dll(), 7, 2, "", dir.file("big.bin"), "BIG.BIN"));
    // What the read-ahead of the file already held may still go up, the rest not.
    EXPECT_LT(fake.callsNamed("SendData").size(), 100u);
    EXPECT_TRUE(fake.callsNamed("SaveToFile").empty());
}

TEST_F(Upload, FailedDateOrSaveIsAFailure)
{
    dir.write("a.txt", "abc");
    fake.failCall("GetFileDateTime", 1);
    fake.failCall("SaveToFile", 1);
    EXPECT_FALSE(HXx_SendFile(fake.dll(), 7, 2, "", dir.file("a.txt"), "A.TXT"));
    EXPECT_TRUE(fake.callsNamed("SaveToFile").empty());
    EXPECT_FALSE(HXx_SendFile(fake.dll(), 7, 2, "", dir.file("a.txt"), "A.TXT"));
    EXPECT_EQ(fake.callsNamed("SaveToFile").size(), 1u);
    EXPECT_EQ(fake.file(2, "A.TXT"), nullptr);
}

TEST_F(Upload, SendAFileReportsProgressAfterEachBlockAndTheSaveWithoutSwitchingOutput)
{
    dir.write("MyASC.Fon", std::string(2049, 'f'));
    int progress = 0;
    EXPECT_TRUE(SendAFile(fake.dll(), 9, 1, dir.file("MyASC.Fon"), "FON", "MyASC.Fon", [&] { ++progress; }));
    EXPECT_EQ(progress, 4);
    EXPECT_TRUE(fake.callsNamed("TurnVGA").empty());
    EXPECT_EQ(fake.callsNamed("SaveToFile"), Calls{"SaveToFile(9,1,FON\\MyASC.Fon,2049)"});
}

TEST_F(Upload, SendAFileCountsAFailedBlockToo)
{
    dir.write("MyHZ.Fon", std::string(2049, 'h'));
    fake.failCall("SendData", 2);
    int progress = 0;
    EXPECT_FALSE(SendAFile(fake.dll(), 9, 1, dir.file("MyHZ.Fon"), "", "MyHZ.Fon", [&] { ++progress; }));
    EXPECT_EQ(progress, 2);
}

class Download : public ::testing::Test {
protected:
    TempDir dir;
    FakeHx fake;
    std::vector<int> pauses;
    SleepFn sleep = [this](int ms) { pauses.push_back(ms); };
};

TEST_F(Download, FileArrivesBlockByBlock)
{
    std::string content(2500, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i % 251);
    fake.putFile(1, "P07\\PlayList.Qv", content);
    EXPECT_EQ(HXx_ReceiveFile(fake.dll(), 5, 1, "P07\\PlayList.Qv", dir.file("got"), sleep), 0);
    EXPECT_EQ(dir.read("got"), content);
    EXPECT_EQ(pauses, std::vector<int>{100});
    EXPECT_EQ(fake.calls(), (Calls{"TurnVGA(5,0)", "LoadFromFile(5,1,P07\\PlayList.Qv)", "ReceiveData(5,0,1024)",
                                   "ReceiveData(5,1024,1024)", "ReceiveData(5,2048,452)", "TurnVGA(5,-1)"}));
}

TEST_F(Download, EmptyOrMissingControllerFileFailsAndCreatesNothing)
{
    fake.putFile(0, "EMPTY.QV", "");
    EXPECT_EQ(HXx_ReceiveFile(fake.dll(), 5, 0, "EMPTY.QV", dir.file("got"), sleep), -1);
    EXPECT_EQ(HXx_ReceiveFile(fake.dll(), 5, 0, "NONE.QV", dir.file("got"), sleep), -1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("got")));
    EXPECT_EQ(fake.callsNamed("TurnVGA"), (Calls{"TurnVGA(5,0)", "TurnVGA(5,-1)", "TurnVGA(5,0)", "TurnVGA(5,-1)"}));
}

TEST_F(Download, FailedBlockKeepsWhatArrivedBefore)
{
    fake.putFile(0, "A.QV", std::string(1500, 'q'));
    fake.failCall("ReceiveData", 2);
    EXPECT_EQ(HXx_ReceiveFile(fake.dll(), 5, 0, "A.QV", dir.file("got"), sleep), -1);
    EXPECT_EQ(dir.read("got"), std::string(1024, 'q'));
}

TEST_F(Download, UnwritableLocalFileFailsWithoutBlocks)
{
    fake.putFile(0, "A.QV", "abc");
    EXPECT_EQ(HXx_ReceiveFile(fake.dll(), 5, 0, "A.QV", dir.file("no-such-folder/got"), sleep), -1);
    EXPECT_TRUE(fake.callsNamed("ReceiveData").empty());
}
