// hxlib against hxsim, as the program uses them: over loopback UDP and over
// a pseudo-terminal pair standing in for a serial cable.
#include "HexalinkVRX7300.h"
#include "HxSim.h"
#include "LibraryFiles.h"
#include "SerialPair.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr uint16_t kDevice = 0x0201;

using namespace libraryfiles;

class OverUdp : public ::testing::Test {
protected:
    void open(int timeout = 2, int retries = 2)
    {
        ASSERT_EQ(HX_NetInitial(kDevice, "", sim->ipText().c_str(), timeout, retries, sim->port(), -1), 0);
    }
    void TearDown() override { HX_Close(kDevice); }

    std::unique_ptr<HxSim> sim = std::make_unique<HxSim>();
};

TEST_F(OverUdp, FilesRoundTripByteForByte)
{
    open();
    for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(1024), std::size_t(1025),
                             std::size_t(2049), std::size_t(1) << 20}) {
        const Bytes bytes = randomBytes(size, static_cast<unsigned>(size));
        const std::string name = "F" + std::to_string(size) + ".BIN";
        ASSERT_TRUE(upload(kDevice, 2, name, bytes)) << size;
        EXPECT_EQ(readFile(sim->diskPath() + "/C/" + name), bytes) << size;
        if (size == 0) {
            // An empty file exists but offers nothing to read.
            EXPECT_EQ(HX_LoadFromFile(kDevice, 2, name.c_str()), 0u);
            continue;
        }
        const auto back = download(kDevice, 2, name);
        ASSERT_TRUE(back) << size;
        EXPECT_EQ(*back, bytes) << size;
    }
}

TEST_F(OverUdp, SaveNeedsTheSizeSentAndAnExistingFolder)
{
    open();
    const Bytes bytes = randomBytes(3000, 1);
    for (std::size_t offset = 0; offset < bytes.size(); offset += 1024)
        ASSERT_NE(HX_SendData(kDevice, static_cast<int32_t>(offset),
                              static_cast<int32_t>(std::min<std::size_t>(1024, bytes.size() - offset)),
                              bytes.data() + offset), 0);
    EXPECT_EQ(HX_SaveToFile(kDevice, 0, "X.BIN", 2999, 0, 0), 0);
    EXPECT_FALSE(std::filesystem::exists(sim->diskPath() + "/A/X.BIN"));

    ASSERT_NE(HX_SendData(kDevice, 0, 10, bytes.data()), 0);
    EXPECT_EQ(HX_SendData(kDevice, 20, 10, bytes.data()), 0) << "a hole after the bytes sent";
    EXPECT_EQ(HX_SaveToFile(kDevice, 0, "NOFOLDER\\X.BIN", 10, 0, 0), 0);
    EXPECT_EQ(HX_SaveToFile(kDevice, 3, "X.BIN", 0, 0, 0), 0) << "drive 3";

    ASSERT_NE(HX_MD(kDevice, 1, "Fon"), 0);
    ASSERT_NE(HX_MD(kDevice, 1, "FON"), 0) << "an existing folder in another case";
    ASSERT_TRUE(upload(kDevice, 1, "FON\\MyASC.Fon", bytes));
    EXPECT_EQ(readFile(sim->diskPath() + "/B/Fon/MyASC.Fon"), bytes);
    // The same name in another case replaces the file, it does not add one.
    ASSERT_TRUE(upload(kDevice, 1, "fon\\MYASC.FON", Bytes{1, 2, 3}));
    EXPECT_EQ(readFile(sim->diskPath() + "/B/Fon/MyASC.Fon"), (Bytes{1, 2, 3}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(sim->diskPath() + "/B/Fon"),
                            std::filesystem::directory_iterator()), 1);
}

TEST_F(OverUdp, PathsLeavingTheDiskAreRefusedAndChangeNothing)
{
    open();
    TempDir outside;
    const Bytes bytes = {'e', 'v', 'i', 'l'};
    const std::string escape = "..\\..\\..\\" + std::filesystem::path(outside.path()).parent_path().filename().string();
    for (const std::string &path : {std::string("..\\X.TXT"), std::string("A\\..\\..\\X.TXT"), std::string("\\X.TXT"),
                                   std::string("C:\\X.TXT"), std::string("/tmp/X.TXT"), std::string("X\tY.TXT"),
                                   escape + "\\X.TXT"}) {
        EXPECT_FALSE(upload(kDevice, 0, path, bytes)) << path;
        EXPECT_EQ(HX_MD(kDevice, 0, path.c_str()), 0) << path;
        EXPECT_EQ(HX_RemoveFile(kDevice, 0, path.c_str()), 0) << path;
        EXPECT_EQ(HX_LoadFromFile(kDevice, 0, path.c_str()), 0xFFFFFFFFu) << path;
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(sim->diskPath()).parent_path() / "X.TXT"));
    EXPECT_TRUE(std::filesystem::is_empty(outside.path()));
    for (const auto &request : sim->requests())
        if (request.count("path")) {
            EXPECT_EQ(request.at("ok"), "false") << request.at("path");
        }
}

TEST_F(OverUdp, FoldersAndRemoval)
{
    open();
    EXPECT_NE(HX_MD(kDevice, 2, "P01"), 0);
    EXPECT_NE(HX_MD(kDevice, 2, "P01"), 0) << "existing folder";
    EXPECT_TRUE(std::filesystem::is_directory(sim->diskPath() + "/C/P01"));
    ASSERT_TRUE(upload(kDevice, 2, "P01\\PlayList.qv", Bytes{'x'}));
    EXPECT_NE(HX_RemoveFile(kDevice, 2, "p01\\PLAYLIST.QV"), 0);
    EXPECT_FALSE(std::filesystem::exists(sim->diskPath() + "/C/P01/PlayList.qv"));
    EXPECT_NE(HX_RemoveFile(kDevice, 2, "P01\\PlayList.qv"), 0) << "never there is fine";
    EXPECT_EQ(HX_RemoveFile(kDevice, 2, "P01"), 0) << "a folder is not a file";
}

TEST(Simulator, ReportsNameSizeAndPlayInfo)
{
    HxSim sim({"--name", "Hall 3", "--size", "256x64", "--type", "1"});
    ASSERT_EQ(HX_NetInitial(kDevice, "", sim.ipText().c_str(), 2, 1, sim.port(), 0), 0);
    uint8_t net[HX_NETCONFIG_SIZE];
    uint8_t led[HX_LEDCONFIG_SIZE];
    uint8_t play[HX_PLAYINFO_SIZE];
    ASSERT_NE(HX_GetNetConfig(kDevice, net), 0);
    ASSERT_NE(HX_GetLEDConfig(kDevice, led), 0);
    ASSERT_NE(HX_GetPlayInfo(kDevice, play), 0);
    EXPECT_STREQ(reinterpret_cast<const char *>(net), "Hall 3");
    EXPECT_EQ(led[92] | led[93] << 8, 256);
    EXPECT_EQ(led[94] | led[95] << 8, 64);
    EXPECT_EQ(play[0], 1) << "type 1 plays from B:";
    EXPECT_EQ(play[1], 0);

    ASSERT_NE(HX_Reset(kDevice, 3 << 16), 0);
    ASSERT_NE(HX_GetPlayInfo(kDevice, play), 0);
    EXPECT_EQ(play[1], 3);
    EXPECT_NE(HX_Reset(kDevice, 0), 0);
    ASSERT_NE(HX_GetPlayInfo(kDevice, play), 0);
    EXPECT_EQ(play[1], 0) << "0 restarts with play list 0";
    EXPECT_NE(HX_TurnVGA(kDevice, 0), 0);
    EXPECT_NE(HX_TurnVGA(kDevice, -1), 0);
    HX_Close(kDevice);

    const auto requests = sim.requests();
    ASSERT_GE(requests.size(), 10u);
    EXPECT_EQ(requests[0].at("op"), "GetLEDConfig") << "the open makes sure the controller answers";
    EXPECT_EQ(requests[4].at("op"), "Reset");
    EXPECT_EQ(requests[4].at("value"), std::to_string(3 << 16));
    EXPECT_EQ(requests[8].at("op"), "TurnVGA");
    EXPECT_EQ(requests[8].at("on"), "false");
}

TEST(Simulator, RebootWindowIsSilentThenAnswersAgain)
{
    HxSim sim({"--boot-ms", "1500"});
    // Time-out 1 s without retries: the boot outlasts a request's budget.
    ASSERT_EQ(HX_NetInitial(kDevice, "", sim.ipText().c_str(), 1, 0, sim.port(), -1), 0);
    ASSERT_NE(HX_Reset(kDevice, 1), 0);
    uint8_t play[HX_PLAYINFO_SIZE];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(HX_GetPlayInfo(kDevice, play), 0) << "no answer while booting";
    // Polled the way the program waits for a restart.
    bool back = false;
    for (int attempt = 0; attempt < 10 && !back; ++attempt) back = HX_GetPlayInfo(kDevice, play) != 0;
    EXPECT_TRUE(back);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    HX_Close(kDevice);

    // With 2 retries the budget (3 s) outlasts the boot: the copies of one
    // request go on until the controller is back.
    ASSERT_EQ(HX_NetInitial(kDevice, "", sim.ipText().c_str(), 1, 2, sim.port(), -1), 0);
    ASSERT_NE(HX_Reset(kDevice, 1), 0);
    EXPECT_NE(HX_GetPlayInfo(kDevice, play), 0);
    HX_Close(kDevice);
}

TEST(Simulator, TransfersCompleteWhenAThirdOfTheFramesIsLost)
{
    HxSim sim({"--drop", "30"});
    ASSERT_EQ(HX_NetInitial(kDevice, "", sim.ipText().c_str(), 1, 10, sim.port(), -1), 0);
    const Bytes bytes = randomBytes(40 * 1024, 30);
    ASSERT_TRUE(upload(kDevice, 2, "LOSSY.BIN", bytes));
    const auto back = download(kDevice, 2, "LOSSY.BIN");
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, bytes);
    HX_Close(kDevice);
}

// The serial pair is two pseudo-terminals, which only POSIX systems have.
#ifndef _WIN32
TEST(Simulator, OverASerialLineWithScreenAddressing)
{
    SerialPair pair;
    HxSim sim({"--serial", pair.second(), "--screen", "3"});
    ::setenv("MARQORA_COM7", pair.first().c_str(), 1);
    // Screen 4 is another controller on the line: nobody answers it, so
    // its open fails.
    EXPECT_NE(HX_ComInitial(4, 7, 115200, 4, 1, 0, -1), 0);
    uint8_t play[HX_PLAYINFO_SIZE];
    EXPECT_EQ(HX_GetPlayInfo(4, play), 0);

    ASSERT_EQ(HX_ComInitial(3, 7, 115200, 3, 2, 2, -1), 0);
    EXPECT_NE(HX_GetPlayInfo(3, play), 0);
    for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(1024), std::size_t(1025),
                             std::size_t(2049), std::size_t(1) << 20}) {
        const Bytes bytes = randomBytes(size, static_cast<unsigned>(size) + 7);
        const std::string name = "S" + std::to_string(size) + ".BIN";
        ASSERT_TRUE(upload(3, 0, name, bytes)) << size;
        EXPECT_EQ(readFile(sim.diskPath() + "/A/" + name), bytes) << size;
        if (size == 0) continue;
        const auto back = download(3, 0, name);
        ASSERT_TRUE(back) << size;
        EXPECT_EQ(*back, bytes) << size;
    }
    HX_Close(3);
    ::unsetenv("MARQORA_COM7");
}
#endif

} // namespace
