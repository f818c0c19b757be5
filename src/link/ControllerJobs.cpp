#include "link/ControllerJobs.h"

#include <algorithm>

ControllerKey controllerKeyOf(const MySetupType &record)
{
    if (record.nMode == 0) return {0, record.Addr, record.Port};
    return {record.nMode, record.Port, 0};
}

ControllerJobs::ControllerJobs(int workers, Limits limits) : mLimits(limits)
{
    for (int i = 0; i < workers; ++i) mWorkers.emplace_back([this] { workerLoop(); });
}

ControllerJobs::~ControllerJobs()
{
    {
        std::lock_guard lock(mMutex);
        mShutdown = true;
        mQueue.clear();
    }
    mStop = true;
    mWake.notify_all();
    for (auto &worker : mWorkers) worker.join();
}

void ControllerJobs::setOnFinished(std::function<void()> onFinished)
{
    std::lock_guard lock(mMutex);
    mOnFinished = std::move(onFinished);
}

void ControllerJobs::submit(const ControllerKey &key, bool doubtful, Job job)
{
    {
        std::lock_guard lock(mMutex);
        if (mStop) return;
        mQueue.push_back({key, doubtful, std::move(job)});
    }
    if (mWorkers.empty())
        runInline();
    else
        mWake.notify_one();
}

void ControllerJobs::collect()
{
    if (!mAnyFinished) return;
    std::vector<Apply> applies;
    {
        std::lock_guard lock(mMutex);
        applies.swap(mFinishedApplies);
        mAnyFinished = false;
    }
    for (auto &apply : applies)
        if (apply) apply();
}

bool ControllerJobs::isBusy(const ControllerKey &key) const
{
    return std::any_of(mRunning.begin(), mRunning.end(), [&](const Running &r) { return r.key == key; });
}

int ControllerJobs::running() const
{
    std::lock_guard lock(mMutex);
    return static_cast<int>(mRunning.size());
}

int ControllerJobs::queued() const
{
    std::lock_guard lock(mMutex);
    return static_cast<int>(mQueue.size());
}

bool ControllerJobs::stop(std::chrono::milliseconds wait)
{
    std::unique_lock lock(mMutex);
    mStop = true;
    mQueue.clear();
    return mFinished.wait_for(lock, wait, [this] { return mRunning.empty(); });
}

bool ControllerJobs::takeRunnable(Pending &taken)
{
    if (static_cast<int>(mRunning.size()) >= mLimits.atOnce) return false;
    const int doubtfulRunning = static_cast<int>(
        std::count_if(mRunning.begin(), mRunning.end(), [](const Running &r) { return r.doubtful; }));
    for (auto it = mQueue.begin(); it != mQueue.end(); ++it) {
        if (it->doubtful && doubtfulRunning >= mLimits.doubtfulAtOnce) continue;
        if (isBusy(it->key)) continue;
        taken = std::move(*it);
        mQueue.erase(it);
        mRunning.push_back({taken.key, taken.doubtful});
        return true;
    }
    return false;
}

void ControllerJobs::finish(const ControllerKey &key, bool doubtful, Apply apply)
{
    std::function<void()> onFinished;
    {
        std::lock_guard lock(mMutex);
        const auto it = std::find_if(mRunning.begin(), mRunning.end(),
                                     [&](const Running &r) { return r.key == key && r.doubtful == doubtful; });
        if (it != mRunning.end()) mRunning.erase(it);
        mFinishedApplies.push_back(std::move(apply));
        mAnyFinished = true;
        onFinished = mOnFinished;
    }
    mFinished.notify_all();
    // The controller is free again: a job queued behind it may start.
    mWake.notify_all();
    if (onFinished) onFinished();
}

void ControllerJobs::workerLoop()
{
    std::unique_lock lock(mMutex);
    for (;;) {
        Pending job;
        mWake.wait(lock, [&] { return mShutdown || takeRunnable(job); });
        if (mShutdown && !job.job) return;
        lock.unlock();
        Apply apply = job.job();
        finish(job.key, job.doubtful, std::move(apply));
        lock.lock();
    }
}

void ControllerJobs::runInline()
{
    for (;;) {
        Pending job;
        {
            std::lock_guard lock(mMutex);
            if (!takeRunnable(job)) return;
        }
        Apply apply = job.job();
        finish(job.key, job.doubtful, std::move(apply));
    }
}
