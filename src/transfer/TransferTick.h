// The once-a-second watch of every display's text file: the first visit sets
// the display up (play list, text file, restart), later visits re-send the file
// when it changed or, with timed sending, every period.
#pragma once

#include "link/Connection.h"
#include "settings/MySetupData.h"
#include "transfer/PlayList.h"
#include "transfer/TransferStatus.h"

#include <cstdint>
#include <functional>
#include <string>

struct TickOptions {
    SleepFn sleep = sleepMilliseconds;
    int32_t language = 0;  // code page of the records' file names (FMyString::Language)
};

// One tick of TransferTimer. playLists holds each display's play-list location;
// replay is ChkReplay; progPath holds the local play list. status follows every
// display's watch and learns what each visit came to.
void transferTick(FMySetup &store, const HX_Dll &dll, PlayListLocations &playLists, bool replay,
                  const std::string &progPath, TransferStatus &status, const TickOptions &options = {});
