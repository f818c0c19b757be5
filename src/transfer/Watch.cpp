#include "transfer/Watch.h"

#include "settings/FileIO.h"
#include "text/MyString.h"

#include <algorithm>
#include <random>

namespace {

constexpr int64_t NsPerSecond = 1000000000;
// Retries of a failing display: 8 ticks after the first failure, then twice
// as long each time up to this.
constexpr int FirstRetryTicks = 8;
constexpr int LongestRetryTicks = 60;

}  // namespace

Watch::Display Watch::freshDisplay(uint64_t generation)
{
    Display display;
    display.generation = generation;
    return display;
}

int64_t WatchOptions::systemNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

Watch::Watch(FMySetup &store, const HX_Dll &dll, WatchOptions options)
    : mStore(store),
      mDll(dll),
      mOptions(std::move(options)),
      mStatus([now = mOptions.nowNs] { return static_cast<std::time_t>(now() / NsPerSecond); }, mOptions.log),
      mRandom(std::random_device{}()),
      mJobs(mOptions.workers, mOptions.limits)
{
    mSeenSaves = mStore.saves();
    mLookAt.fill(NoLook);
}

Watch::~Watch() = default;

void Watch::noticeSaves()
{
    if (mStore.saves() == mSeenSaves) return;
    mSeenSaves = mStore.saves();
    // Every save ends every watch: a visit begun before it comes to nothing,
    // and the next one starts from scratch.
    for (Display &display : mDisplays) display = freshDisplay(display.generation + 1);
    mLookAt.fill(NoLook);
}

void Watch::collect()
{
    mJobs.collect();
}

void Watch::tick(bool replay)
{
    const uint64_t now = ++mTick;
    noticeSaves();
    mJobs.collect();
    int paused = 0;
    MySetupType *const records = mStore.mSetup;
    for (int slot = 0; slot < _MaxItem; ++slot) {
        MySetupType &record = records[slot];
        const bool on = record.bUsed && record.TmrEnable;
        mStatus.follow(slot, record, on);
        if (!on) {
            paused += record.bUsed && record.bFromFile ? 1 : 0;
            continue;
        }
        Display &display = mDisplays[static_cast<std::size_t>(slot)];
        if (const uint16_t count = record.TmrCount; count != 0) {
            record.TmrCount = static_cast<uint16_t>(count - 1);
            if (now >= mLookAt[static_cast<std::size_t>(slot)]) look(slot, record, display, replay);
            continue;
        }
        if (!display.busy) due(slot, record, display, replay);
    }
    mStatus.setPausedDisplays(paused);
    mJobs.collect();
}

void Watch::look(int slot, MySetupType &record, Display &display, bool replay)
{
    if (display.failures == 0) {
        launch(slot, record, display, VisitKind::Check, replay, display.sent);
        return;
    }
    // A failing display is tried at once when its file changes.
    if (fingerprintOf(watchedPath(record)) != display.triedWith) due(slot, record, display, replay);
}

uint64_t Watch::nextLook(const Display &display, const MySetupType &record) const
{
    if (display.busy) return NoLook;
    if (display.failures > 0) return 0;
    return record.TmrStart ? display.lastCheck + CheckTicks : NoLook;
}

void Watch::due(int slot, MySetupType &record, Display &display, bool replay)
{
    const FileFingerprint file = fingerprintOf(watchedPath(record));
    VisitKind kind = VisitKind::SetUp;
    if (record.TmrStart) {
        kind = VisitKind::Send;
        if (!record.bTimeSend && display.delivered && file == display.sent) {
            record.TmrCount = static_cast<uint16_t>(record.Peroid - 1);  // 16-bit: a period of 0 wraps
            if (mTick - display.lastCheck >= CheckTicks) launch(slot, record, display, VisitKind::Check, replay, file);
            return;
        }
    }
    // A file written in the last second may be half written: it goes up a tick
    // or two later, once it holds still.
    if (justWritten(file) && display.postponed < MaxPostponed) {
        ++display.postponed;
        record.TmrCount = 0;
        return;
    }
    display.postponed = 0;
    record.TmrCount = static_cast<uint16_t>(record.Peroid - 1);
    launch(slot, record, display, kind, replay, file);
}

bool Watch::justWritten(const FileFingerprint &file) const
{
    // A time ahead of the clock (another computer's, on a share) says nothing.
    const int64_t age = mOptions.nowNs() - file.modifiedNs;
    return file.exists && age >= 0 && age < NsPerSecond;
}

void Watch::launch(int slot, MySetupType &record, Display &display, VisitKind kind, bool replay,
                   const FileFingerprint &file)
{
    // The transfer's own one-area play list puts the text into area 1.
    if (kind == VisitKind::SetUp && !record.bFromPlayList) record.AreaIndex = 1;
    VisitPlan plan;
    plan.kind = kind;
    plan.record = record;
    plan.watchedPath = watchedPath(record);
    plan.shortName = shortFileName(plan.watchedPath);
    plan.location = record.bFromPlayList ? mPlayLists.of(slot, record) : PlayListState::topLevel();
    plan.replay = replay;
    plan.textOnController = display.textSize;
    plan.language = mOptions.language;
    plan.sleep = mOptions.sleep;
    plan.stop = &mJobs.stopRequested();

    display.busy = true;
    mLookAt[static_cast<std::size_t>(slot)] = NoLook;
    display.startedAt = mTick;
    display.triedWith = file;
    const uint64_t generation = display.generation;
    mJobs.submit(controllerKeyOf(record), display.failures > 0,
                 [this, slot, generation, plan = std::move(plan), progPath = mStore.mProgPath]() mutable
                 -> ControllerJobs::Apply {
                     const WorkFolder folder(progPath);
                     plan.workFolder = folder.path();
                     VisitReport report = runVisit(mDll, plan);
                     return [this, slot, generation, kind = plan.kind, report = std::move(report)] {
                         apply(slot, generation, kind, report);
                     };
                 });
}

void Watch::apply(int slot, uint64_t generation, VisitKind kind, const VisitReport &report)
{
    noticeSaves();
    Display &display = mDisplays[static_cast<std::size_t>(slot)];
    if (display.generation != generation) return;
    MySetupType &record = mStore.mSetup[slot];
    display.busy = false;
    take(slot, record, display, kind, report);
    mLookAt[static_cast<std::size_t>(slot)] = nextLook(display, record);
}

void Watch::take(int slot, MySetupType &record, Display &display, VisitKind kind, const VisitReport &report)
{
    if (report.playListRead) mPlayLists.remember(slot, record, report.readLocation);
    if (report.postponed) {
        record.TmrCount = 0;
        return;
    }
    if (report.settingUpAgain) {
        // The controller lost its play list or text (a reset, a replaced
        // card): the next tick sets the display up again.
        display = freshDisplay(display.generation);
        record.TmrStart = 0;
        record.TmrCount = 0;
        mStatus.settingUpAgain(slot, record, report.outcome);
        return;
    }
    if (report.outcome != VisitOutcome::Delivered) {
        failed(slot, record, display, report.outcome, report.detail);
        return;
    }
    display.failures = 0;
    display.lastCheck = display.startedAt;
    if (kind != VisitKind::Check) {
        display.delivered = true;
        display.sent = report.sent;
        display.textSize = report.textSize;
        if (kind == VisitKind::SetUp) record.TmrStart = 1;
        if (kind == VisitKind::SetUp || !record.bTimeSend) record.ChangeTime = report.stamp;
    }
    mStatus.visited(slot, record, VisitOutcome::Delivered);
    if (kind != VisitKind::Check) mStatus.warn(slot, report.warning);
}

void Watch::failed(int slot, MySetupType &record, Display &display, VisitOutcome outcome, const std::string &detail)
{
    ++display.failures;
    const uint64_t elapsed = mTick - display.startedAt;
    const uint16_t delay = backOff(display.failures);
    record.TmrCount = static_cast<uint16_t>(delay > elapsed + 1 ? delay - elapsed - 1 : 0);
    mStatus.visited(slot, record, outcome, detail);
    mStatus.scheduled(slot, static_cast<std::time_t>(mOptions.nowNs() / NsPerSecond) + record.TmrCount + 1);
}

uint16_t Watch::backOff(int failures)
{
    const int doublings = std::min(failures - 1, 8);
    const int delay = std::min(FirstRetryTicks << doublings, LongestRetryTicks);
    // A little jitter keeps displays that failed together from being retried together.
    const uint32_t random = mOptions.random ? mOptions.random() : static_cast<uint32_t>(mRandom());
    return static_cast<uint16_t>(delay - static_cast<int>(random % static_cast<uint32_t>(delay / 8 + 1)));
}

std::string Watch::watchedPath(const MySetupType &record) const
{
    return ansiToUtf8(shortString(record.FileName), mOptions.language);
}
