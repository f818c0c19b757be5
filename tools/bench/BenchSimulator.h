// One hxsim for a benchmark: started from beside marqora-bench on a free
// loopback UDP port, read ready from its first line, stopped by its process id.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

class BenchSimulator {
public:
    // folder holds hxsim; args follow "--udp 127.0.0.1:0"; inChild runs in the
    // child before hxsim starts (CPU pinning).
    BenchSimulator(const std::string &folder, const std::vector<std::string> &args,
                   const std::function<void()> &inChild = {});
    ~BenchSimulator();
    BenchSimulator(const BenchSimulator &) = delete;
    BenchSimulator &operator=(const BenchSimulator &) = delete;

    // The UDP port, or 0 when hxsim did not start.
    uint16_t port() const { return mPort; }
    // SIGTERM and wait; true when hxsim ended cleanly.
    bool stop();

private:
    pid_t mPid = -1;
    uint16_t mPort = 0;
    bool mStoppedCleanly = false;
};
