#pragma once

// Fails the test run instead of blocking it: while a HangGuard lives, a
// watcher thread waits for it to go; when it outlives its limit (a call stuck
// in the open of a FIFO nobody writes to), the process prints what hung and
// ends with exit code 1, which ctest reports as a failure.
//
//   { HangGuard guard("loading Marqora.dat from a FIFO"); store.Initial(dir); }

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class HangGuard {
public:
    explicit HangGuard(std::string what, std::chrono::seconds limit = std::chrono::seconds(60))
        : mWhat(std::move(what)), mWatcher([this, limit] {
              std::unique_lock lock(mMutex);
              if (!mDone.wait_for(lock, limit, [this] { return mFinished; })) {
                  std::fprintf(stderr, "HANG: %s did not finish within %lld s\n", mWhat.c_str(),
                               static_cast<long long>(limit.count()));
                  std::fflush(stderr);
                  std::_Exit(1);
              }
          })
    {
    }
    ~HangGuard()
    {
        {
            std::lock_guard lock(mMutex);
            mFinished = true;
        }
        mDone.notify_one();
        mWatcher.join();
    }
    HangGuard(const HangGuard &) = delete;
    HangGuard &operator=(const HangGuard &) = delete;

private:
    std::string mWhat;
    std::mutex mMutex;
    std::condition_variable mDone;
    bool mFinished = false;
    std::thread mWatcher;
};

// Waits for condition, looking every millisecond; one that never holds ends
// the run as a hang, naming what.
inline void waitFor(const std::string &what, const std::function<bool()> &condition)
{
    HangGuard guard(what);
    while (!condition()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
