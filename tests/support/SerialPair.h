#pragma once

// Two connected pseudo-terminals made by socat, standing in for a serial
// cable between the library (first()) and hxsim (second()):
//
//   SerialPair pair;
//   HxSim sim({"--serial", pair.second(), "--screen", "3"});
//   setenv("MARQORA_COM7", pair.first().c_str(), 1);
//   HX_ComInitial(3, 7, 115200, 3, 1, 2, -1);
//
// The constructor throws std::runtime_error when socat does not start or does
// not name both devices within 20 s. The pair keeps each end open itself, so
// a client that opens and closes its end many times does not make socat see
// end-of-file and quit. The destructor stops socat (SIGTERM, then waits).
// Needs the socat program (Debian package socat).

#include <string>
#include <sys/types.h>

class SerialPair {
public:
    SerialPair();
    ~SerialPair();
    SerialPair(const SerialPair &) = delete;
    SerialPair &operator=(const SerialPair &) = delete;

    const std::string &first() const { return mPaths[0]; }
    const std::string &second() const { return mPaths[1]; }

private:
    void release();

    pid_t mPid = -1;
    int mStderr = -1;
    std::string mPaths[2];
    int mHeld[2] = {-1, -1};
};
