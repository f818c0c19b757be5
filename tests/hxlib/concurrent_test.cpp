// The library used as the program's watch uses it: several controller
// visits at once, each on a thread of its own with its own device number and
// controller, opening, moving files both ways and closing again.
#include "HexalinkVRX7300.h"
#include "HxSim.h"
#include "LibraryFiles.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace libraryfiles;

TEST(ConcurrentConnections, EveryVisitsFilesArriveByteForByte)
{
    // Clean and lossy links, with and without a window.
    const std::vector<std::vector<std::string>> links = {
        {}, {"--up", "loss=10", "--down", "loss=10"}, {"--up", "delay=3,jitter=3"}, {"--protocol", "1", "--drop", "10"},
        {}, {"--down", "duplicate=20"}, {"--up", "reorder=20,delay=2"}, {"--protocol", "1"},
    };
    std::vector<std::unique_ptr<HxSim>> sims;
    for (const auto &args : links) sims.push_back(std::make_unique<HxSim>(args));
    constexpr int kVisits = 3;
    // Per thread and visit: what went wrong, or empty.
    std::vector<std::vector<std::string>> problems(sims.size(), std::vector<std::string>(kVisits));
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < sims.size(); ++t)
        threads.emplace_back([&, t] {
            const HxSim &sim = *sims[t];
            const auto device = static_cast<uint16_t>(0x0700 + t);
            for (int visit = 0; visit < kVisits; ++visit) {
                std::string &problem = problems[t][static_cast<std::size_t>(visit)];
                const Bytes bytes = randomBytes(20000 + 7000 * t + 1000 * static_cast<std::size_t>(visit),
                                                static_cast<unsigned>(t * 10 + static_cast<std::size_t>(visit)));
                const std::string name = "V" + std::to_string(visit) + ".BIN";
                if (HX_NetInitial(device, "", sim.ipText().c_str(), 1, 5, sim.port(), -1) != 0) {
                    problem = "open failed";
                    continue;
                }
                if (!upload(device, 2, name, bytes)) problem = "upload failed";
                else if (readFile(sim.diskPath() + "/C/" + name) != bytes) problem = "stored bytes differ";
                else if (download(device, 2, name) != bytes) problem = "downloaded bytes differ";
                HX_Close(device);
            }
        });
    for (auto &thread : threads) thread.join();
    for (std::size_t t = 0; t < sims.size(); ++t)
        for (int visit = 0; visit < kVisits; ++visit)
            EXPECT_EQ(problems[t][static_cast<std::size_t>(visit)], "") << "thread " << t << ", visit " << visit;
}

} // namespace
