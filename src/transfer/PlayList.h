// The controller play list: the one local copy in the program folder, the two
// writers (automatic transfer and click-send), and the download of the list the
// controller is playing.
#pragma once

#include "link/Connection.h"
#include "settings/MySetupData.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Where a controller keeps the play list it plays.
struct PlayListState {
    // A fresh one-area list of the program's own lives at the top level and is list 0.
    static PlayListState topLevel() { return {}; }
    std::string mPlayListPath;   // controller folder such as "P05\", "" for the top level
    int32_t mPlayListIndex = 0;  // number of that play list
    bool operator==(const PlayListState &) const = default;
};

// The play-list location of every display, slot by slot beside the store: the
// one last read from that display's own controller, the top level ("", 0) when
// none was read. A location read from one controller must never steer the
// uploads and restarts of another. lastRead is the main window's
// mPlayListPath and mPlayListIndex: the location of the last read from any
// controller.
class PlayListLocations {
public:
    PlayListState lastRead;

    // The location the play list of the display in slot goes to and restarts from.
    PlayListState of(int slot, const MySetupType &record) const;

    // Reads the play list the record's controller plays into the local copy
    // (GetPlayListFile) and keeps where it lives (remember).
    bool read(int slot, const HX_Dll &dll, const MySetupType &record, const std::string &progPath,
              const SleepFn &sleep = sleepMilliseconds);
    // Keeps where the play list read from the record's controller lives, for
    // the display in slot and in lastRead; a failed read (nothing) leaves both
    // at the top level ("\", 0).
    void remember(int slot, const MySetupType &record, const std::optional<PlayListState> &read);

    // The slot of a record of store, or -1 for a record outside it.
    static int slotOf(const FMySetup &store, const MySetupType &record);

private:
    // A location together with the controller it was read from: a slot that now
    // holds another controller (a deleted display's slot reused, another port)
    // is at the top level again.
    struct Known {
        bool read = false;
        uint16_t nMode = 0;
        uint32_t Addr = 0;
        uint16_t Port = 0;
        PlayListState location;
    };
    std::array<Known, _MaxItem> mDisplays{};
};

// The name the local copy is written under, and the name it carries on the controller.
inline constexpr const char *LocalPlayListName = "PlayList.QV";
inline constexpr const char *RemotePlayListName = "PlayList.qv";

// The local play list in progPath, whatever letter case the file already has.
std::string localPlayListPath(const std::string &progPath);

// What a writer puts into the file besides the area position.
struct PlayListWriter {
    std::string mainScreen;        // "MainScreen" of a fresh file
    std::string freshItem;         // "Item1" of the first area of a fresh file
    std::string areaItem;          // "Item1" of the patched area
    bool areaOneWithoutPlayList;   // AreaIndex := 1 when the area is not taken from the controller
};

// The automatic transfer's values: driveLetter and shortName name the text file
// on the controller.
PlayListWriter transferWriter(const MySetupType &record, char driveLetter, const std::string &shortName);
// The click-send window's values.
PlayListWriter clickSendWriter();

// "X,Y,W,H" of the record's area, X counted from 4096.
std::string areaPosition(const MySetupType &record);

// Writes the local play list in progPath for the record. fromController: the
// file holds the list the controller plays, just downloaded, and only the area
// AreaIndex is patched; else a fresh one-area list is written first (the
// transfer writer then sets AreaIndex to 1). A display that takes its area from
// the controller's list is never given a fresh one in its place: the callers
// download first and give up when that fails. The file is replaced in one step;
// on failure error names the cause and the previous file stays.
bool writePlayList(MySetupType &record, const PlayListWriter &writer, const std::string &progPath,
                   bool fromController, std::string *error = nullptr);

// Downloads the play list the controller of record is playing into the local
// copy and notes its folder and number in state. A Hexalink controller is asked
// up to six times, each after a 500 ms pause. Numbers of 100 and more have no
// folder name of the controller's form and count as a failed read.
bool GetPlayListFile(const HX_Dll &dll, const MySetupType &record, PlayListState &state,
                     const std::string &progPath, const SleepFn &sleep = sleepMilliseconds);
