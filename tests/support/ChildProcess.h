#pragma once

// A program started for a test, its standard output read through a pipe.
//
//   ChildProcess child({path, "--flag"}, ChildProcess::Output::WithErrors);
//   std::string line;
//   child.readLine(line, std::chrono::steady_clock::now() + 20s);
//   child.stop();
//
// Stopping asks the program to end as the platform asks a console program
// (SIGTERM; on Windows the event "Local\hxsim-stop-<pid>" that hxsim waits
// on, or TerminateProcess for a program without one), then waits for it.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class ChildProcess {
public:
    enum class Output { Only, WithErrors };

    // args[0] is the program's path. Throws std::runtime_error when it cannot start.
    ChildProcess(const std::vector<std::string> &args, Output output);
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // The next line of output without its end ("\n" or "\r\n"), or false at
    // the end of the output or once the deadline has passed.
    bool readLine(std::string &line, std::chrono::steady_clock::time_point deadline)
    {
        line.clear();
        for (char c; readByte(c, deadline);) {
            if (c == '\n') {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                return true;
            }
            line += c;
        }
        return false;
    }
    // The rest of the output, until the program closes it.
    std::string readRest();
    // No more reading; a later write of the program fails instead of blocking.
    void closeOutput();
    // Asks the program to end and waits; true when it exited with status 0.
    bool stop();
    // Waits for the end; the exit status, -1 when it did not exit by itself.
    int wait();

private:
    // The next byte of output, false at its end or past the deadline.
    bool readByte(char &byte, std::chrono::steady_clock::time_point deadline);

    intptr_t mProcess = -1;  // pid, or the process handle on Windows
    intptr_t mOutput = -1;   // descriptor, or the pipe handle on Windows
    unsigned long mProcessId = 0;
    bool mEnded = false;
    int mStatus = -1;
};
