#pragma once

// Runs the simulated controller (the hxsim binary named by the environment
// variable HXSIM) for one test, on UDP 127.0.0.1 with a free port.
//
//   HxSim sim;                                  // fresh disk folder, default options
//   HxSim sim({"--size", "256x64", "--type", "1"});
//   HX_NetInitial(dev, "", sim.ipText().c_str(), 1, 2, sim.port(), -1);
//   ... sim.diskPath() + "/C/FILE.TXT" ...
//   for (auto &r : sim.requests()) if (r["op"] == "SaveToFile") ...
//
// The constructor returns once hxsim printed its ready line and throws
// std::runtime_error (failing the test with the reason) when it does not
// within 20 s. Unless the arguments carry their own, it adds --disk (a fresh
// temporary folder, removed afterwards), --udp 127.0.0.1:0 and --log (a file
// in that folder). stop() and the destructor send SIGTERM and wait for it.

#include "ChildProcess.h"
#include "TempDir.h"
#include "settings/MySetupData.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class HxSim {
public:
    explicit HxSim(const std::vector<std::string> &extraArgs = {});
    ~HxSim();
    HxSim(const HxSim &) = delete;
    HxSim &operator=(const HxSim &) = delete;

    uint16_t port() const { return mPort; }
    // "127.  0.  0.  1": the 15-character form the program hands the library.
    std::string ipText() const { return "127.  0.  0.  1"; }
    // The folder holding the disks A, B and C.
    const std::string &diskPath() const { return mDisk; }
    const std::string &logPath() const { return mLog; }
    // The serial device when --serial was given, else empty.
    const std::string &serialPath() const { return mSerial; }

    // The log's lines as written, one JSON object per handled request.
    std::vector<std::string> logLines() const;
    // The same, each object flattened to field -> value text (strings
    // without their quotes, numbers and true/false as written).
    std::vector<std::map<std::string, std::string>> requests() const;

    // A network display record for this controller, made as the connection page
    // makes one (FMySetup::Add: the area is the whole width x height, watching a
    // file every 20 s onto C:), with a time-out of 1 s.
    MySetupType display(uint16_t type = 0, uint16_t retries = 1, uint16_t width = 128,
                        uint16_t height = 32) const;

    // Ends hxsim (SIGTERM, on Windows its stop event, then waits); true when
    // it exited cleanly.
    bool stop();

    // Whether an hxsim on 127.0.0.2 answers. The Windows build is tested
    // under Wine, which delivers requests there but never the replies.
#ifdef _WIN32
    static constexpr bool kSecondLoopbackAnswers = false;
#else
    static constexpr bool kSecondLoopbackAnswers = true;
#endif
    static constexpr const char *kNoSecondLoopback = "a second loopback address does not answer under Wine";

    // Path of another program in the folder of the hxsim binary (hxctl).
    static std::string siblingBinary(const std::string &name);

private:
    TempDir mTemp;
    std::unique_ptr<ChildProcess> mProcess;
    uint16_t mPort = 0;
    std::string mDisk;
    std::string mLog;
    std::string mSerial;
};
