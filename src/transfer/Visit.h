// One visit of the watch to one display. It runs off the window's thread, on
// copies of what it needs, and reports what it came to; the watch applies the
// report to the store on the window's thread.
#pragma once

#include "link/Connection.h"
#include "settings/MySetupData.h"
#include "transfer/LocalFiles.h"
#include "transfer/PlayList.h"
#include "transfer/TransferStatus.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

enum class VisitKind {
    SetUp,  // play list, text file, restart
    Send,   // the text file again, and a restart when asked
    Check,  // nothing sent: does the controller still hold what the set-up put there?
};

struct VisitPlan {
    VisitKind kind = VisitKind::SetUp;
    MySetupType record{};               // the display as it was when the visit began
    std::string watchedPath;            // the watched file, a native UTF-8 path
    std::string shortName;              // its 8.3 name on the controller
    PlayListState location;             // where the display's play list lives (Send, Check)
    bool replay = false;                // ChkReplay: restart playing after a Send
    uint32_t textOnController = 0;      // Check: the size of the text last delivered
    std::string workFolder;             // the visit's own folder for its copies, ends with a separator
    int32_t language = 0;               // code page of the record's strings
    SleepFn sleep = sleepMilliseconds;
    const std::atomic<bool> *stop = nullptr;  // the program is ending: give up between steps
};

struct VisitReport {
    VisitOutcome outcome = VisitOutcome::NothingToSend;
    std::string detail;               // for the log
    bool postponed = false;           // the file changed while it was read: take it at a later tick
    bool settingUpAgain = false;      // the controller lost what the set-up put there (outcome says what)
    FileFingerprint sent;             // the version of the file now on the controller (Delivered)
    uint32_t stamp = 0;               // its stamp, for ChangeTime
    uint32_t textSize = 0;            // the bytes of it on the controller
    std::string warning;              // characters the controller cannot show, replaced (Delivered)
    bool playListRead = false;        // the set-up asked the controller for its current play list ...
    std::optional<PlayListState> readLocation;  // ... and found it here (nothing: the read failed)
};

VisitReport runVisit(const HX_Dll &dll, const VisitPlan &plan);
