// Work on controllers off the window's thread. A few jobs run at once, never
// two on one controller, and a controller that keeps failing may take only a
// few of the places, so one silent controller cannot hold up the others. A job
// works on copies; what it came to is handed back as an Apply, which the
// window's thread runs when it collects, so the settings store and the window's
// state are only ever changed there.
#pragma once

#include "settings/MySetupData.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// One controller as the line to it sees it: a network controller is its
// address and port; every screen of a serial line shares the line.
struct ControllerKey {
    uint16_t mode = 0;
    uint32_t address = 0;  // network: the IPv4 address; serial: the COM number
    uint16_t port = 0;     // network: the UDP port; serial: 0
    bool operator==(const ControllerKey &) const = default;
};
ControllerKey controllerKeyOf(const MySetupType &record);

// A visit mostly waits for its controller, so places are cheap; the limit
// keeps a quarter of the 64 displays going at once, so that even when many
// controllers are switched off at start-up (when none is known to fail yet)
// the others find a place. Once failing, they share a few places between them.
struct ControllerJobLimits {
    int atOnce = 16;         // jobs running at once
    int doubtfulAtOnce = 4;  // of those, jobs on controllers that keep failing
};

class ControllerJobs {
public:
    using Apply = std::function<void()>;
    using Job = std::function<Apply()>;

    using Limits = ControllerJobLimits;

    // workers 0: no threads; a job runs on the thread that submits it (tests
    // that need exact call sequences).
    explicit ControllerJobs(int workers, Limits limits = {});
    ~ControllerJobs();
    ControllerJobs(const ControllerJobs &) = delete;
    ControllerJobs &operator=(const ControllerJobs &) = delete;

    // Called on a worker after a job finished; the owner then has collect()
    // run on its own thread. Set before the first submit.
    void setOnFinished(std::function<void()> onFinished);

    // Queues job for the controller. doubtful: the controller failed its last
    // job, so the job counts against doubtfulAtOnce.
    void submit(const ControllerKey &key, bool doubtful, Job job);
    // Runs the Apply of every finished job, in the order the jobs finished.
    void collect();

    int running() const;
    int queued() const;

    // Drops the queued jobs, asks the running ones to end (stopRequested) and
    // waits for them until wait is over; true when none runs any more.
    bool stop(std::chrono::milliseconds wait);
    // Long jobs look at it between steps and give up.
    const std::atomic<bool> &stopRequested() const { return mStop; }

private:
    struct Pending {
        ControllerKey key;
        bool doubtful;
        Job job;
    };
    struct Running {
        ControllerKey key;
        bool doubtful;
    };

    // Takes the first queued job that may start now, marks it running.
    bool takeRunnable(Pending &taken);  // mMutex held
    void finish(const ControllerKey &key, bool doubtful, Apply apply);
    void workerLoop();
    void runInline();
    bool isBusy(const ControllerKey &key) const;

    const Limits mLimits;
    mutable std::mutex mMutex;
    std::condition_variable mWake;      // workers: a job may start, or stop
    std::condition_variable mFinished;  // stop(): a job ended
    std::deque<Pending> mQueue;
    std::vector<Running> mRunning;
    std::vector<Apply> mFinishedApplies;
    std::function<void()> mOnFinished;
    std::atomic<bool> mStop{false};
    // Whether an Apply waits: the window's tick asks every second, mostly for nothing.
    std::atomic<bool> mAnyFinished{false};
    bool mShutdown = false;
    std::vector<std::thread> mWorkers;
};
