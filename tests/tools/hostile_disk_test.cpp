// A disk folder that holds links out of it, hard links and FIFOs, worked on
// through hxctl and a running hxsim: nothing outside the disk is read,
// written or removed, and hxsim keeps answering.
#include "HxSim.h"
#include "RunProgram.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const std::string kSecret = "root:x:0:0:root:/root:/bin/bash\n";

class HostileDisk : public ::testing::Test {
protected:
    HostileDisk()
    {
        outside.write("passwd", kSecret);
        fs::create_directories(outside.file("folder"));
        outside.write("folder/f", "outside file");
        outside.write("hard", "shared by a hard link");
        fs::create_directories(drive("real"));
        fs::create_symlink(outside.file("passwd"), drive("pw"));
        fs::create_symlink(outside.file("folder"), drive("dl"));
        fs::create_symlink(outside.file("none"), drive("gone"));
        fs::create_symlink(outside.path(), drive("real/up"));      // a link in the middle of a path
        fs::create_symlink("../../..", drive("real/rel"));         // relative, leading above the disk
        fs::create_hard_link(outside.file("hard"), drive("hard"));
        local.write("new.bin", "planted");
    }

    std::string drive(const std::string &name) const { return sim.diskPath() + "/C/" + name; }

    ProgramResult hxctl(std::vector<std::string> args)
    {
        const std::vector<std::string> link{"--ip", "127.0.0.1", "--port", std::to_string(sim.port()), "--timeout",
                                            "1", "--retries", "0"};
        args.insert(args.begin(), link.begin(), link.end());
        return runProgram(HxSim::siblingBinary("hxctl"), args);
    }

    // The controller answered this request with a refusal, not with silence.
    void expectRefused(const std::string &op, const std::vector<std::string> &args)
    {
        const auto result = hxctl(args);
        EXPECT_EQ(result.exitCode, 1) << args[0] << " " << args[2] << ": " << result.output;
        const auto requests = sim.requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().at("op"), op) << args[2];
        EXPECT_EQ(requests.back().at("ok"), "false") << args[2];
    }

    // Everything outside the disk, name and content.
    std::map<std::string, std::string> outsideState() const
    {
        std::map<std::string, std::string> state;
        for (const auto &entry : fs::recursive_directory_iterator(outside.path())) {
            const std::string name = entry.path().string().substr(outside.path().size());
            state[name] = entry.is_regular_file() ? outside.read(name) : "<folder>";
        }
        return state;
    }

    void expectStillAnswering()
    {
        const auto info = hxctl({"info"});
        EXPECT_EQ(info.exitCode, 0) << info.output;
    }

    TempDir outside;
    TempDir local;
    HxSim sim;
};

TEST_F(HostileDisk, NoLinkIsFollowedForAnyOperation)
{
    const auto before = outsideState();
    const std::string planted = local.file("new.bin");
    const std::string fetched = local.file("fetched");
    for (const char *path : {"pw", "PW", "dl\\f", "DL\\F", "gone", "real\\up\\passwd", "real\\rel\\etc\\passwd"}) {
        expectRefused("LoadFromFile", {"get", "C", path, fetched});
        EXPECT_FALSE(fs::exists(fetched)) << path;
    }
    for (const char *path : {"pw", "DL\\planted", "gone", "real\\up\\planted", "real\\rel\\planted"})
        expectRefused("SaveToFile", {"put", "C", planted, path});
    for (const char *path : {"dl\\newdir", "gone", "gone\\x", "real\\up\\newdir", "real\\rel\\newdir"})
        expectRefused("MD", {"mkdir", "C", path});
    for (const char *path : {"dl\\f", "pw", "dl", "real\\up\\passwd", "gone"})
        expectRefused("RemoveFile", {"rm", "C", path});

    EXPECT_EQ(outsideState(), before);
    EXPECT_FALSE(fs::exists(outside.file("none")));
    EXPECT_FALSE(fs::exists(fs::path(sim.diskPath()).parent_path() / "planted")) << "the relative link's target";
    EXPECT_FALSE(fs::exists(fs::path(sim.diskPath()).parent_path() / "newdir"));
    // The links themselves stay as planted: a refusal changes nothing.
    for (const char *name : {"pw", "dl", "gone", "real/up", "real/rel"})
        EXPECT_TRUE(fs::is_symlink(drive(name))) << name;
    // A folder reached through no link still works beside them.
    EXPECT_EQ(hxctl({"mkdir", "C", "real\\sub"}).exitCode, 0);
    EXPECT_EQ(hxctl({"put", "C", planted, "REAL\\SUB\\new.bin"}).exitCode, 0);
    std::ifstream stored(drive("real/sub/new.bin"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stored), {}), "planted");
}

TEST_F(HostileDisk, AHardLinkedFileIsDiskDataButNeverWrittenThrough)
{
    // A hard link is the same file under a second name inside the disk, so
    // it reads as the disk's own; a save or a removal replaces or drops only
    // the disk's name. (Folders cannot be hard-linked on Linux.)
    const std::string fetched = local.file("fetched");
    ASSERT_EQ(hxctl({"get", "C", "HARD", fetched}).exitCode, 0);
    EXPECT_EQ(local.read("fetched"), "shared by a hard link");

    ASSERT_EQ(hxctl({"put", "C", local.file("new.bin"), "hard"}).exitCode, 0);
    EXPECT_EQ(outside.read("hard"), "shared by a hard link");
    ASSERT_EQ(hxctl({"get", "C", "hard", fetched}).exitCode, 0);
    EXPECT_EQ(local.read("fetched"), "planted");

    ASSERT_EQ(hxctl({"rm", "C", "hard"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(drive("hard")));
    EXPECT_EQ(outside.read("hard"), "shared by a hard link");
}

TEST_F(HostileDisk, FifosAndDevicesAreRefusedWithoutHangingTheController)
{
    ASSERT_EQ(::mkfifo(drive("fifo").c_str(), 0644), 0);  // nobody writes to it: an open for reading waits
    ASSERT_EQ(::mkfifo(drive("real/pipe.txt").c_str(), 0644), 0);
    for (const char *path : {"fifo", "REAL\\PIPE.TXT"}) {
        expectRefused("LoadFromFile", {"get", "C", path, local.file("fetched")});
        expectStillAnswering();
    }
    expectRefused("LoadFromFile", {"get", "C", "real", local.file("fetched")});  // a folder
    // A save replaces the FIFO's name with the file, like any other entry.
    ASSERT_EQ(hxctl({"put", "C", local.file("new.bin"), "fifo"}).exitCode, 0);
    EXPECT_TRUE(fs::is_regular_file(drive("fifo")));
}

} // namespace
