// The rules for starting jobs on controllers, with real worker threads and
// jobs that wait at a gate the test opens.
#include "HangGuard.h"
#include "link/ControllerJobs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

ControllerKey network(uint32_t address, uint16_t port = 27694)
{
    return {0, address, port};
}

// Jobs that run until their gate opens, noting the order they finished in.
class Gated : public ::testing::Test {
protected:
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::thread::id collector = std::this_thread::get_id();
    std::vector<int> applied;

    ControllerJobs::Job job(int name)
    {
        return [this, name]() -> ControllerJobs::Apply {
            opened.wait();
            return [this, name] {
                EXPECT_EQ(std::this_thread::get_id(), collector);
                applied.push_back(name);
            };
        };
    }
    void finishAll(ControllerJobs &jobs)
    {
        gate.set_value();
        waitFor("a job state", [&] { return jobs.running() + jobs.queued() == 0; });
        jobs.collect();
    }
};

struct StartCase {
    const char *name;
    ControllerJobLimits limits;
    std::vector<std::pair<ControllerKey, bool>> jobs;  // controller, doubtful
    int running;
};

class StartRules : public Gated, public ::testing::WithParamInterface<StartCase> {};

const StartCase startCases[] = {
    {"NoMoreThanTheLimitAtOnce", {3, 3}, {{network(1), false}, {network(2), false}, {network(3), false},
                                          {network(4), false}, {network(5), false}}, 3},
    {"OneJobPerController", {8, 2}, {{network(1), false}, {network(1), false}, {network(1, 27696), false}}, 2},
    {"ScreensOfOneSerialLineWaitForEachOther", {8, 2}, {{{1, 3, 0}, false}, {{1, 3, 0}, false}, {{1, 4, 0}, false}}, 2},
    {"FailingControllersTakeOnlyTheirShare", {8, 1}, {{network(1), true}, {network(2), true}, {network(3), true},
                                                     {network(4), false}}, 2},
};

void PrintTo(const StartCase &c, std::ostream *out)
{
    *out << c.name;
}

}  // namespace

TEST_P(StartRules, HoldBackWhatMustWait)
{
    ControllerJobs jobs(8, GetParam().limits);
    for (std::size_t i = 0; i < GetParam().jobs.size(); ++i)
        jobs.submit(GetParam().jobs[i].first, GetParam().jobs[i].second, job(static_cast<int>(i)));
    const int total = static_cast<int>(GetParam().jobs.size());
    waitFor("a job state", [&] { return jobs.running() == GetParam().running; });
    EXPECT_EQ(jobs.queued(), total - GetParam().running);
    finishAll(jobs);
    EXPECT_EQ(applied.size(), GetParam().jobs.size()) << "each applied once, on the collecting thread";
}

INSTANTIATE_TEST_SUITE_P(Cases, StartRules, ::testing::ValuesIn(startCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(Gated, StopDropsWhatWaitsAndTellsTheRunningJobs)
{
    ControllerJobs jobs(2);
    jobs.submit(network(1), false, job(1));
    jobs.submit(network(1), false, job(2));
    waitFor("a job state", [&] { return jobs.running() == 1; });
    EXPECT_FALSE(jobs.stop(std::chrono::milliseconds(10))) << "the running job is still at its gate";
    EXPECT_TRUE(jobs.stopRequested());
    EXPECT_EQ(jobs.queued(), 0);
    gate.set_value();
    EXPECT_TRUE(jobs.stop(std::chrono::minutes(1)));
    jobs.submit(network(2), false, job(3));
    EXPECT_EQ(jobs.queued(), 0) << "nothing new starts once stopped";
    jobs.collect();
    EXPECT_EQ(applied, std::vector<int>{1});
}

TEST(InlineJobs, RunOnTheSubmittingThread)
{
    ControllerJobs jobs(0);
    std::vector<std::thread::id> ran;
    for (uint32_t controller : {1u, 1u, 2u})
        jobs.submit(network(controller), false, [&ran]() -> ControllerJobs::Apply {
            ran.push_back(std::this_thread::get_id());
            return {};
        });
    EXPECT_EQ(ran, std::vector<std::thread::id>(3, std::this_thread::get_id()));
}
