#pragma once

// Drives a watch from a test as the window does, with its visits on worker
// threads: a tick, then the wait for the visits it started, whose outcomes are
// then applied. Against hxsim, so a visit ends when hxsim has answered.
//
//   WatchDriver driver(store);          // the real library, 8 workers, log to nowhere
//   driver.tick();                      // first visits, all done when it returns
//   driver.watch().status().status(0)

#include "link/HX_Dll.h"
#include "transfer/Watch.h"

#include <memory>

// Waits (at most a minute, else the test fails) until jobs has nothing queued
// or running, then collects what the jobs came to.
void finishJobs(ControllerJobs &jobs);

class WatchDriver {
public:
    explicit WatchDriver(FMySetup &store, const HX_Dll &dll = hxTable(), WatchOptions options = quiet());
    Watch &watch() { return *mWatch; }
    // times ticks, each followed by the wait for every visit it started (at
    // most a minute, else the test fails) and the collection of their outcomes.
    void tick(int times = 1, bool replay = true);

    // Worker threads as the program has them, a log that goes nowhere, and a
    // clock ten seconds ahead, so a file the test has just written counts as
    // holding still.
    static WatchOptions quiet();

private:
    std::unique_ptr<Watch> mWatch;
};
