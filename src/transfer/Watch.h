// The watch of every display's text file, the program's main duty. Once a
// second the tick counts every watched display down; a display that is due is
// visited off the window's thread: the first visit sets it up (play list, text
// file, restart), later ones send the file again when it changed (or every
// period with timed sending), and at least once a minute the controller is
// asked whether it still holds what the set-up put there. Visits of several
// displays run at once, one per controller; a display whose controller keeps
// failing is tried less and less often, so it never holds up the others.
//
// The watch owns each display's play-list location and transfer status, and
// applies what a visit came to on the thread that drives it (the window's),
// so the settings store is only ever changed there. The watch state lives in
// the records as the settings file defines it (TmrEnable, TmrStart, TmrCount,
// ChangeTime) and beside them in memory: what version of each file the
// controller holds, how often it failed in a row.
#pragma once

#include "link/ControllerJobs.h"
#include "link/Connection.h"
#include "settings/MySetupData.h"
#include "transfer/LocalFiles.h"
#include "transfer/PlayList.h"
#include "transfer/TransferStatus.h"
#include "transfer/Visit.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <limits>
#include <functional>
#include <random>
#include <string>

struct WatchOptions {
    // Threads for the visits (as many as may run at once); 0 runs every visit
    // on the thread that starts it (tests that need exact call sequences).
    int workers = ControllerJobLimits{}.atOnce;
    ControllerJobs::Limits limits;
    int32_t language = 0;  // code page of the records' file names (FMyString::Language)
    SleepFn sleep = sleepMilliseconds;
    // The wall clock in nanoseconds since 1970, and a source of jitter.
    std::function<int64_t()> nowNs = systemNowNs;
    std::function<uint32_t()> random;  // none: a seeded generator
    TransferStatus::LogSink log = TransferStatus::standardError;

    static int64_t systemNowNs();
};

class Watch {
public:
    // Ticks between two looks at a watched controller whose file is unchanged.
    static constexpr int CheckTicks = 60;
    // Ticks a file written in the last second may be held back, so that one
    // that is rewritten all the time still goes up.
    static constexpr int MaxPostponed = 3;

    Watch(FMySetup &store, const HX_Dll &dll, WatchOptions options = {});
    ~Watch();
    Watch(const Watch &) = delete;
    Watch &operator=(const Watch &) = delete;

    // One tick of TransferTimer; replay is ChkReplay.
    void tick(bool replay);
    // Applies what the finished visits came to. Called by tick, and whenever
    // the function handed to setOnFinished asks for it.
    void collect();
    // Called on a worker thread when a visit has finished; it should have
    // collect() run on the watch's own thread soon.
    void setOnFinished(std::function<void()> onFinished) { mJobs.setOnFinished(std::move(onFinished)); }

    // Every display that watches a file is watched: a watch a save switched off
    // starts again with a first visit, a running one keeps its countdown.
    void switchOn() { mStore.Enable(true); }

    PlayListLocations &playLists() { return mPlayLists; }
    TransferStatus &status() { return mStatus; }
    // Other work on controllers (click-send, the initialisation run, the
    // connection test) runs beside the visits under the same rules: a job on a
    // controller waits for the visit on it, and the visit for the job.
    ControllerJobs &jobs() { return mJobs; }

    // The program ends: visits give up between steps (an upload switches the
    // output on again); true when none is left after wait.
    bool shutdown(std::chrono::milliseconds wait) { return mJobs.stop(wait); }

private:
    // What the watch knows of one display beside its record.
    struct Display {
        uint64_t generation = 0;     // a save makes the visits begun before it stale
        bool busy = false;           // a visit is queued or running
        uint64_t startedAt = 0;      // the tick it began
        bool delivered = false;      // sent holds the version on the controller
        FileFingerprint sent;
        uint32_t textSize = 0;       // bytes of text on the controller
        FileFingerprint triedWith;   // the file as the last visit found it
        int failures = 0;            // visits in a row that failed
        int postponed = 0;           // ticks the file was held back as just written
        uint64_t lastCheck = 0;      // the tick the controller was last found holding its set-up
    };
    static constexpr uint64_t NoLook = std::numeric_limits<uint64_t>::max();

    static Display freshDisplay(uint64_t generation);
    void noticeSaves();
    // Visits the due display, or counts it down to its next period.
    void due(int slot, MySetupType &record, Display &display, bool replay);
    // A display not due: its controller checked, or its file looked at while it fails.
    void look(int slot, MySetupType &record, Display &display, bool replay);
    uint64_t nextLook(const Display &display, const MySetupType &record) const;
    void take(int slot, MySetupType &record, Display &display, VisitKind kind, const VisitReport &report);
    void launch(int slot, MySetupType &record, Display &display, VisitKind kind, bool replay,
                const FileFingerprint &file);
    void apply(int slot, uint64_t generation, VisitKind kind, const VisitReport &report);
    void failed(int slot, MySetupType &record, Display &display, VisitOutcome outcome, const std::string &detail);
    std::string watchedPath(const MySetupType &record) const;
    bool justWritten(const FileFingerprint &file) const;
    uint16_t backOff(int failures);

    FMySetup &mStore;
    const HX_Dll &mDll;
    WatchOptions mOptions;
    PlayListLocations mPlayLists;
    TransferStatus mStatus;
    std::array<Display, _MaxItem> mDisplays{};
    // Per display, the tick from which it needs a look while not due: a check
    // of its controller, or of its file while it fails. Apart and ready, as
    // the tick with nothing due passes 64 displays every second.
    std::array<uint64_t, _MaxItem> mLookAt;
    uint64_t mTick = 0;
    uint64_t mSeenSaves = 0;
    std::minstd_rand mRandom;
    // Last: destroyed first, its workers end (their visits finished) before the
    // rest of the watch goes; nothing they came to is applied any more.
    ControllerJobs mJobs;
};
