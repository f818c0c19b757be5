// marqora started a second time and asked with --status, as the menu entry, an
// autostart beside the user service or a shell on a sign PC start it: real
// processes meeting over the program's own lock file and socket.
#include "ChildProcess.h"
#include "HangGuard.h"
#include "HxSim.h"
#include "RunProgram.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <cstdlib>
#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;

class SecondStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The program folder, the user's settings and the runtime folder where
        // the lock and the socket live: all of this test's own.
        for (const char *folder : {"home", "config", "data", "run"}) ::mkdir(dir.file(folder).c_str(), 0700);
        setenv("MARQORA_HOME", dir.file("home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
        setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", dir.file("run").c_str(), 1);
    }

    ProgramResult marqora(const std::vector<std::string> &args) { return runProgram(binary, args); }

    // --status once the running Marqora reports what found says, else its last answer.
    ProgramResult statusOnceItSays(const std::string &found)
    {
        ProgramResult status;
        for (const auto deadline = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < deadline;
             std::this_thread::sleep_for(100ms)) {
            status = marqora({"--status"});
            if (status.exitCode == 0 && status.output.find(found) != std::string::npos) break;
        }
        return status;
    }

    TempDir dir;
    const std::string binary = HxSim::siblingBinary("marqora");
};

bool readLineContaining(ChildProcess &program, const std::string &text)
{
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (program.readLine(line, deadline))
        if (line.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST_F(SecondStart, HandsOverToTheFirstWhoseStatusAnswersTheShell)
{
    HangGuard guard("starting marqora three times and asking its status");
    const ProgramResult none = marqora({"--status"});
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_EQ(none.output, "marqora: no Marqora runs for the program folder " + dir.file("home") + "/\n");

    HxSim sim;
    dir.write("news.txt", "LED");
    FMySetup store;
    store.Initial(dir.file("home"));
    store.mSetup[0] = sim.display();
    setShortString(store.mSetup[0].FileName, dir.file("news.txt"));
    ASSERT_TRUE(store.WriteToFile());

    auto first = std::make_unique<ChildProcess>(std::vector<std::string>{binary}, ChildProcess::Output::WithErrors);
    const ProgramResult status = statusOnceItSays(R"("state":"watching")");
    ASSERT_EQ(status.exitCode, 0) << status.output;
    EXPECT_EQ(status.output.rfind(R"({"display":"[127.  0.  0.  1] ","state":"watching","reason":null,"since":")", 0),
              0u)
        << status.output;
    EXPECT_EQ(status.output.find('\n'), status.output.size() - 1) << "one line per watched display";

    const ProgramResult second = marqora({});
    EXPECT_EQ(second.exitCode, 0) << second.output;
    EXPECT_NE(second.output.find("Marqora already runs"), std::string::npos) << second.output;
    EXPECT_TRUE(readLineContaining(*first, "再次启动: 窗口已打开"));

    // Ended without a word, as after a crash: its lock and socket stay behind
    // and must not keep the next start from serving.
    first.reset();
    EXPECT_EQ(marqora({"--status"}).exitCode, 3);
    ChildProcess third({binary}, ChildProcess::Output::WithErrors);
    EXPECT_EQ(statusOnceItSays(R"("display":"[127.  0.  0.  1] ")").exitCode, 0);
}
