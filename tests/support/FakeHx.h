// A recording stand-in for the controller library: every call is logged with
// its arguments in order, results can be scripted, and uploaded files are kept
// per drive and path.
#pragma once

#include "link/HX_Dll.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class FakeHx {
public:
    FakeHx();   // becomes the current fake the table's functions reach
    ~FakeHx();
    FakeHx(const FakeHx &) = delete;
    FakeHx &operator=(const FakeHx &) = delete;

    // A table whose functions call the current fake.
    const HX_Dll &dll() const;

    // The calls so far, such as "SendData(266,0,1024)"; cleared by clearCalls.
    const std::vector<std::string> &calls() const { return mCalls; }
    void clearCalls() { mCalls.clear(); }
    // Calls whose name (the part before "(") is name.
    std::vector<std::string> callsNamed(const std::string &name) const;

    // The n-th call (1-based) of function name fails; n = 0 makes every call fail.
    void failCall(const std::string &name, int n = 0);

    // Runs action inside the n-th call (1-based) of function name, before it
    // returns: what changes while the controller is busy with that call.
    void duringCall(const std::string &name, int n, std::function<void()> action);

    // Files on the controller, by drive and upper-cased path.
    void putFile(int drive, const std::string &path, const std::string &content);
    const std::string *file(int drive, const std::string &path) const;
    void removeFile(int drive, const std::string &path);

    // The panel size HX_GetLEDConfig reports (0 x 0 unless set).
    void setPanelSize(uint16_t width, uint16_t height) { mPanel = {width, height}; }

    // What HX_GetPlayInfo reports (byte 0 drive, byte 1 play-list index).
    void setPlayInfo(uint8_t drive, uint8_t index) { mPlayInfo = {drive, index}; }

private:
    std::vector<std::string> mCalls;
    std::map<std::string, std::vector<int>> mFailures;  // name -> call numbers, 0 = all
    std::map<std::string, int> mCounts;
    std::map<std::pair<std::string, int>, std::function<void()>> mActions;
    std::map<std::pair<int, std::string>, std::string> mFiles;
    std::string mPending;   // bytes sent since the last save
    std::string mLoaded;    // the file made ready by LoadFromFile
    std::pair<uint8_t, uint8_t> mPlayInfo{0, 0};
    std::pair<uint16_t, uint16_t> mPanel{0, 0};

    static FakeHx *current();
    // Logs the call and tells whether it is to succeed.
    bool record(const std::string &name, const std::string &arguments);

    friend struct FakeHxCalls;
};
