// The once-a-second watch of every display's text file: the first visit sets
// the display up (play list, text file, restart), later visits re-send the file
// when it changed or, with timed sending, every period.
#pragma once

#include "link/Connection.h"
#include "settings/MySetupData.h"
#include "transfer/PlayList.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

// Problems the unattended transfer has to show somewhere (the tray tool tip):
// one line per display whose local play list could not be written. Each change
// is passed on once, so nothing piles up however often the tick fails.
class TransferReport {
public:
    // Called when the set of lines changes, with the tool tip to show.
    std::function<void(const std::string &toolTip)> onChange;

    void fail(int slot, const std::string &line);
    void clear(int slot);
    bool hasProblem(int slot) const { return !mLines.at(static_cast<std::size_t>(slot)).empty(); }
    // "VRXMarqora", then one line per display with a problem.
    std::string toolTip() const;

private:
    std::array<std::string, _MaxItem> mLines;
};

struct TickOptions {
    SleepFn sleep = sleepMilliseconds;
    int32_t language = 0;  // code page of the records' file names (FMyString::Language)
};

// One tick of TransferTimer. playLists holds each display's play-list location;
// replay is ChkReplay; progPath holds the local play list.
void transferTick(FMySetup &store, const HX_Dll &dll, PlayListLocations &playLists, bool replay,
                  const std::string &progPath, TransferReport &report, const TickOptions &options = {});
