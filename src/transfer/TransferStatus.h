// Where each display's automatic transfer stands, for the tray icon and the
// session log: the transfer itself never shows a message, so this is how an
// operator learns which display is not up to date, since when, and why.
// Nothing of it is saved.
#pragma once

#include "settings/MySetupData.h"

#include <array>
#include <ctime>
#include <functional>
#include <string>

enum class WatchState { Off, SettingUp, Watching, Failing };

// What one visit of a display came to, as far as the program can see it.
enum class VisitOutcome {
    NothingToSend,       // the file did not change
    Delivered,
    NoAnswer,            // the connection could not be opened, or the controller kept silent
    PortUnavailable,     // the serial port could not be opened
    Refused,             // the controller answered but did not take the file
    RestartFailed,
    NoFileChosen,
    FileMissing,
    FileUnreadable,
    FileTooLarge,
    PlayListUnwritable,  // the local play list
    CopyUnwritable,      // the copy of the watched file that goes up, in the program folder
    PlayListUnreadable,  // the controller's play list, which the display takes its area from
    PlayListLost,        // the controller no longer holds the play list the set-up put there
    TextLost,            // ... or the text file
    SizeChanged,         // the controller reports another panel size than the one stored
};

// The user's words for a state and for a failed visit.
std::string watchStateText(WatchState state);
std::string outcomeText(VisitOutcome outcome);

// The watched file's own problem, found by looking at it locally, or Delivered
// when the file could be sent as far as this computer is concerned.
VisitOutcome watchedFileProblem(const std::string &path);

struct DisplayStatus {
    WatchState state = WatchState::Off;
    // Why the display is Failing, or set up again while it was watched;
    // Delivered when there is nothing to say.
    VisitOutcome reason = VisitOutcome::Delivered;
    std::time_t since = 0;         // when the display entered its state
    std::time_t nextAttempt = 0;   // while Failing: when it is tried again
    std::time_t lastAttempt = 0;   // 0: none since the watch started
    std::time_t lastSuccess = 0;
    std::time_t failingSince = 0;  // the first of the failures in a row
    int failuresInRow = 0;
    std::string display;           // the display's list entry text
    std::string warning;           // shown although the display is served (characters it cannot show)
};

class TransferStatus {
public:
    using Clock = std::function<std::time_t()>;
    using LogSink = std::function<void(const std::string &line)>;

    // The real clock, and standard error, one line per call.
    static std::time_t systemClock();
    static void standardError(const std::string &line);

    explicit TransferStatus(Clock clock = systemClock, LogSink log = standardError);

    // Called whenever a line of the tool tip changes, and only then.
    std::function<void()> onChange;

    // Every tick, for every slot: follows the watch being switched on and off.
    // Inline, as the tick with nothing due is little more than this.
    void follow(int slot, const MySetupType &record) { follow(slot, record, record.bUsed && record.TmrEnable); }
    // The same, with whether the record's watch is on (bUsed and TmrEnable).
    void follow(int slot, const MySetupType &record, bool on)
    {
        const WatchState state = mDisplays[static_cast<std::size_t>(slot)].state;
        if (on ? state == WatchState::Off || (state == WatchState::Watching && !record.TmrStart)
               : state != WatchState::Off)
            switchWatch(slot, record);
    }
    // After a visit of the display in slot. detail, when given, goes to the log only.
    void visited(int slot, const MySetupType &record, VisitOutcome outcome, const std::string &detail = {});
    // The controller lost what the set-up put there (reason): the display is set up again.
    void settingUpAgain(int slot, const MySetupType &record, VisitOutcome reason);
    // When a failing display is tried next.
    void scheduled(int slot, std::time_t nextAttempt);
    // A warning about a display that is served all the same; empty clears it.
    void warn(int slot, const std::string &warning);
    // Displays that watch a file but are not watched now (a save stopped them
    // while the window is open); the tool tip says so in a line of its own.
    void setPausedDisplays(int count);

    const DisplayStatus &status(int slot) const { return mDisplays.at(static_cast<std::size_t>(slot)); }
    bool anyFailing() const;
    // "VRXMarqora", then one line per failing display (entry text, reason,
    // since when, next attempt), per warning, and one for paused displays.
    std::string toolTip() const;

private:
    void switchWatch(int slot, const MySetupType &record);
    void change(int slot, WatchState state, VisitOutcome reason, const std::string &detail);
    void lineChanged();

    Clock mClock;
    LogSink mLog;
    std::array<DisplayStatus, _MaxItem> mDisplays;
    int mPaused = 0;
};
