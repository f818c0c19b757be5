// Every file the program reads, and the font libraries and downloads it
// writes, put in place as a FIFO nobody opens from the other end (a plain open
// waits for ever), as a device and as a folder: each is refused the way that
// file's other failures are, at once. A hang ends the test run with "HANG".
#include "HangGuard.h"
#include "HxSim.h"
#include "TempDir.h"
#include "clicksend/ClickSend.h"
#include "init/FontLib.h"
#include "link/Connection.h"
#include "settings/FileIO.h"
#include "settings/MySetupData.h"
#include "transfer/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

// Every glyph a blank 8 x 16 cell; enough for a library that is never drawn.
class BlankRenderer : public GlyphRenderer {
public:
    CellSize textExtent(std::u32string_view) override { return {8, 16}; }
    void prepare(const std::vector<char32_t> &, CellSize) override {}
    PixelView renderGlyph(std::size_t) override
    {
        ++rendered;
        return {reinterpret_cast<const unsigned char *>(mPixels.data()), 8 * 4, 8, 16};
    }
    int rendered = 0;

private:
    std::vector<uint32_t> mPixels = std::vector<uint32_t>(8 * 16, 0);
};

class NonRegularFile : public ::testing::Test {
protected:
    // A FIFO at name in the folder.
    std::string fifo(const std::string &name)
    {
        const std::string path = dir.file(name);
        EXPECT_EQ(::mkfifo(path.c_str(), 0644), 0) << path;
        return path;
    }

    TempDir dir;
};

TEST_F(NonRegularFile, TheSharedReadRefusesAllButRegularFiles)
{
    dir.write("plain.txt", "plain");
    std::filesystem::create_directories(dir.file("folder"));
    const std::string pipe = fifo("pipe");
    HangGuard guard("reading special files");
    std::string error;
    EXPECT_EQ(readWholeFile(dir.file("plain.txt")), "plain");
    EXPECT_FALSE(readWholeFile(pipe, &error));
    EXPECT_EQ(error, pipe + ": not a regular file");
    EXPECT_FALSE(readWholeFile("/dev/zero", &error)) << "a device that never ends";
    EXPECT_EQ(error, "/dev/zero: not a regular file");
    EXPECT_FALSE(readWholeFile(dir.file("folder"), &error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
    EXPECT_FALSE(readWholeFile(dir.file("missing"), &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    // A link to a regular file is read, a link to a FIFO is not.
    std::filesystem::create_symlink(dir.file("plain.txt"), dir.file("to-plain"));
    std::filesystem::create_symlink(pipe, dir.file("to-pipe"));
    EXPECT_EQ(readWholeFile(dir.file("to-plain")), "plain");
    EXPECT_FALSE(readWholeFile(dir.file("to-pipe")));

    EXPECT_EQ(fileKind(dir.file("plain.txt")), FileKind::Regular);
    EXPECT_EQ(fileKind(dir.file("missing")), FileKind::Absent);
    EXPECT_EQ(fileKind(dir.file("plain.txt/under")), FileKind::Absent);
    EXPECT_EQ(fileKind(pipe), FileKind::Other);
    EXPECT_EQ(fileKind(dir.file("folder")), FileKind::Other);
}

TEST_F(NonRegularFile, SettingsFileAsAFifoLoadsAsDamagedAndIsReplacedBySave)
{
    fifo("Marqora.dat");
    FMySetup store;
    LoadResult result;
    {
        HangGuard guard("loading Marqora.dat from a FIFO");
        result = store.Initial(dir.path());
    }
    EXPECT_EQ(result.status, LoadStatus::Damaged);
    EXPECT_EQ(result.recordsRead, 0);
    EXPECT_NE(result.message.find("Marqora.dat"), std::string::npos) << result.message;
    EXPECT_FALSE(store.mSetup[0].bUsed);
    // Saving replaces the FIFO with a settings file (a rename, no open of the FIFO).
    {
        HangGuard guard("saving over a FIFO");
        ASSERT_TRUE(store.WriteToFile());
    }
    FMySetup again;
    EXPECT_EQ(again.Initial(dir.path()).status, LoadStatus::Loaded);
}

TEST_F(NonRegularFile, PlayListAndClickSendTextAsFifosAreUnreadable)
{
    const std::string playList = fifo("PlayList.qv");
    const std::string text = fifo("lines.txt");
    HangGuard guard("reading a play list and a click-send text from FIFOs");
    std::string error;
    EXPECT_FALSE(loadIni(playList, &error));
    EXPECT_EQ(error, playList + ": not a regular file");
    EXPECT_EQ(GetProfileString("Program1", "Screen", "none", playList), "none");
    EXPECT_EQ(GetProfileInt("Program1", "Screen", 7, playList), 7);
    const ClickSendText lines = loadClickSendText(text, 0, 16);
    EXPECT_FALSE(lines.ok);
    EXPECT_EQ(lines.error, text + ": not a regular file");
}

TEST_F(NonRegularFile, LibrariesConfigurationAndDownloadsAsFifosFailWithoutWaiting)
{
    HxSim sim;
    const MySetupType display = sim.display();
    ASSERT_EQ(hxTable().NetInitial(deviceNumberOf(display), "", sim.ipText().c_str(), 1, 1, sim.port(), -1), 0);
    const uint16_t device = deviceNumberOf(display);
    {
        std::ofstream(sim.diskPath() + "/C/PLAY.QV") << "[Program1]\r\n";
    }
    const std::string config = fifo("Config.qv");
    const std::string library = fifo("MyASC.Fon");
    const std::string download = fifo("PlayList.qv");
    HangGuard guard("uploading from and writing to FIFOs");
    // Uploads of the initialisation (the configuration, a library) read nothing from a FIFO.
    EXPECT_FALSE(SendAFile(hxTable(), device, 0, config, "", "Config.qv", [] {}));
    EXPECT_FALSE(SendAFile(hxTable(), device, 0, library, "Fon", "MyASC.Fon", [] {}));
    // A library is not generated into a FIFO, nor a play list downloaded into one.
    BlankRenderer renderer;
    const auto generated = writeLibrary(renderer, LibraryKind::Ascii, false, 0, dir.path(), [] {});
    EXPECT_FALSE(generated.ok);
    EXPECT_NE(generated.error.find("MyASC.Fon: not a regular file"), std::string::npos) << generated.error;
    EXPECT_TRUE(std::filesystem::is_fifo(library));
    EXPECT_EQ(renderer.rendered, 0);
    EXPECT_NE(HXx_ReceiveFile(hxTable(), device, 2, "PLAY.QV", download, [](int) {}), 0);
    EXPECT_TRUE(std::filesystem::is_fifo(download));
    hxTable().Close(device);
}

} // namespace
