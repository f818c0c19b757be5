#include "WatchDriver.h"

#include "HangGuard.h"

#include <chrono>
#include <thread>

WatchDriver::WatchDriver(FMySetup &store, const HX_Dll &dll, WatchOptions options)
    : mWatch(std::make_unique<Watch>(store, dll, std::move(options)))
{
}

WatchOptions WatchDriver::quiet()
{
    WatchOptions options;
    options.log = [](const std::string &) {};
    options.random = [] { return 0u; };  // retries come exactly 8, 16, 32 ... ticks later
    // Ahead of the files a test writes just before it ticks, which would
    // otherwise count as still being written and wait a tick or three.
    options.nowNs = [] { return WatchOptions::systemNowNs() + 10'000'000'000; };
    return options;
}

void finishJobs(ControllerJobs &jobs)
{
    waitFor("jobs on controllers", [&] { return jobs.running() + jobs.queued() == 0; });
    jobs.collect();
}

void WatchDriver::tick(int times, bool replay)
{
    for (int i = 0; i < times; ++i) {
        mWatch->tick(replay);
        finishJobs(mWatch->jobs());
    }
}
