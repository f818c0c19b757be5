// The controller play list: the one local copy in the program folder, the two
// writers (automatic transfer and click-send), and the download of the list the
// controller is playing.
#pragma once

#include "link/Connection.h"
#include "settings/MySetupData.h"

#include <cstdint>
#include <functional>
#include <string>

// Where the controller keeps the play list last read from any controller; the
// main window owns it, the writers and uploads use it.
struct PlayListState {
    std::string mPlayListPath;   // controller folder such as "P05\", "" for the top level
    int32_t mPlayListIndex = 0;  // number of that play list
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

// Writes the local play list for the record. With bFromPlayList set, fetchCurrent
// is asked to download the controller's list first (GetPlayListFile); when it
// fails, or without bFromPlayList, a fresh file is written. Then the area
// AreaIndex is patched. The file is replaced in one step; on failure error names
// the cause and the previous file stays.
bool writePlayList(MySetupType &record, const PlayListWriter &writer, PlayListState &state,
                   const std::string &progPath, const std::function<bool()> &fetchCurrent,
                   std::string *error = nullptr);

// Downloads the play list the controller of record is playing into the local
// copy and notes its folder and number in state. A Hexalink controller is asked
// up to six times, each after a 500 ms pause. Numbers of 100 and more have no
// folder name of the controller's form and count as a failed read.
bool GetPlayListFile(const HX_Dll &dll, const MySetupType &record, PlayListState &state,
                     const std::string &progPath, const SleepFn &sleep = sleepMilliseconds);
