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
};

// The user's words for a state and for a failed visit.
std::string watchStateText(WatchState state);
std::string outcomeText(VisitOutcome outcome);

// The watched file's own problem, found by looking at it locally, or Delivered
// when the file could be sent as far as this computer is concerned.
VisitOutcome watchedFileProblem(const std::string &path);

struct DisplayStatus {
    WatchState state = WatchState::Off;
    VisitOutcome lastFailure = VisitOutcome::Delivered;  // while Failing
    std::time_t since = 0;         // when the display entered its state
    std::time_t nextAttempt = 0;   // when the watch visits it next, 0 when not known
    std::time_t lastAttempt = 0;   // 0: none since the watch started
    std::time_t lastSuccess = 0;
    std::time_t failingSince = 0;  // the first of the failures in a row
    int failuresInRow = 0;
    std::string display;           // the display's list entry text
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
    void follow(int slot, const MySetupType &record)
    {
        const WatchState state = mDisplays.at(static_cast<std::size_t>(slot)).state;
        const bool on = record.bUsed && record.TmrEnable;
        if (on ? state == WatchState::Off || (state == WatchState::Watching && !record.TmrStart)
               : state != WatchState::Off)
            switchWatch(slot, record);
    }
    // After a visit of the display in slot. detail, when given, goes to the log only.
    void visited(int slot, const MySetupType &record, VisitOutcome outcome, const std::string &detail = {});

    const DisplayStatus &status(int slot) const { return mDisplays.at(static_cast<std::size_t>(slot)); }
    bool anyFailing() const;
    // "VRXMarqora", then one line per failing display: entry text, reason, since when.
    std::string toolTip() const;

private:
    void switchWatch(int slot, const MySetupType &record);
    void change(int slot, WatchState state, VisitOutcome failure, const std::string &detail);

    Clock mClock;
    LogSink mLog;
    std::array<DisplayStatus, _MaxItem> mDisplays;
};
