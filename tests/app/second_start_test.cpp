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
#include <sys/stat.h>
#include <thread>

using namespace std::chrono_literals;

TEST(SecondStart, HandsOverToTheFirstWhoseStatusAnswersTheShell)
{
    HangGuard guard("starting marqora three times and asking its status");
    // The program folder, the user's settings and the runtime folder that holds
    // the lock and the socket: all of this test's own.
    TempDir dir;
    for (const char *folder : {"home", "config", "data", "run"}) ::mkdir(dir.file(folder).c_str(), 0700);
    for (const auto &[variable, folder] : {std::pair{"MARQORA_HOME", "home"}, {"XDG_CONFIG_HOME", "config"},
                                           {"XDG_DATA_HOME", "data"}, {"XDG_RUNTIME_DIR", "run"}})
        setenv(variable, dir.file(folder).c_str(), 1);
    const std::string marqora = HxSim::siblingBinary("marqora");
    // --status until the running Marqora's report holds text.
    const auto statusOnceItSays = [&](const std::string &text) {
        ProgramResult status;
        for (const auto deadline = std::chrono::steady_clock::now() + 30s; std::chrono::steady_clock::now() < deadline;
             std::this_thread::sleep_for(100ms)) {
            status = runProgram(marqora, {"--status"});
            if (status.exitCode == 0 && status.output.find(text) != std::string::npos) break;
        }
        return status;
    };

    const ProgramResult none = runProgram(marqora, {"--status"});
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_EQ(none.output, "marqora: no Marqora runs for the program folder " + dir.file("home") + "/\n");

    HxSim sim;
    dir.write("news.txt", "LED");
    FMySetup store;
    store.Initial(dir.file("home"));
    store.mSetup[0] = sim.display();
    setShortString(store.mSetup[0].FileName, dir.file("news.txt"));
    ASSERT_TRUE(store.WriteToFile());

    auto first = std::make_unique<ChildProcess>(std::vector<std::string>{marqora}, ChildProcess::Output::WithErrors);
    const ProgramResult status = statusOnceItSays(R"("state":"watching")");
    ASSERT_EQ(status.exitCode, 0) << status.output;
    EXPECT_EQ(status.output.rfind(R"({"display":"[127.  0.  0.  1] ","state":"watching","reason":null,"since":")", 0),
              0u)
        << status.output;
    EXPECT_EQ(status.output.find('\n'), status.output.size() - 1) << "one line per watched display";

    const ProgramResult second = runProgram(marqora, {});
    EXPECT_EQ(second.exitCode, 0) << second.output;
    EXPECT_NE(second.output.find("Marqora already runs"), std::string::npos) << second.output;
    bool opened = false;
    for (std::string line; !opened && first->readLine(line, std::chrono::steady_clock::now() + 30s);)
        opened = line.find("再次启动: 窗口已打开") != std::string::npos;
    EXPECT_TRUE(opened);

    // Ended without a word, as after a crash: its lock and socket stay behind
    // and must not keep the next start from serving.
    first.reset();
    EXPECT_EQ(runProgram(marqora, {"--status"}).exitCode, 3);
    ChildProcess third({marqora}, ChildProcess::Output::WithErrors);
    EXPECT_EQ(statusOnceItSays(R"("display":"[127.  0.  0.  1] ")").exitCode, 0);
}
