// The initialisation run of a display, apart from drawing the fonts: the
// controller configuration file, the progress figures, and the upload of the
// libraries and configuration with the restart and the wait that follow.
#pragma once

#include "link/Connection.h"
#include "settings/MySetupData.h"

#include <functional>
#include <optional>
#include <string>

inline constexpr const char *ConfigFileName = "Config.qv";

// The progress bar's maximum while both libraries are drawn: their glyphs less one.
int generationProgressMax(int32_t language);

// The upload's progress maximum: every 1024-byte block of the two libraries and
// the configuration file, plus one step per stored file and one for the folder.
// Nothing when a file cannot be read; error names it.
std::optional<int> uploadProgressMax(const std::string &progPath, std::string *error);

// Writes "Config.qv" afresh: [Startup] Program_Index=0, [Font] FontCount=2,
// Font1 and Font2 with the two library descriptors.
bool writeConfigFile(const std::string &progPath, const std::string &asciiDescriptor,
                     const std::string &chineseDescriptor, std::string *error);

// The controller disk every file of the run goes to: A: for a VRX7300, B: otherwise.
int32_t initialDrive(const MySetupType &record);

enum class InitialOutcome { Success, OpenFailed, FolderFailed, SendFailed };

struct InitialHooks {
    std::function<void()> step;  // advance the progress bar, let the window breathe
    SleepFn pause;               // 100 ms between polls, with pending events processed
};

// Opens the display, makes the folder "Fon", uploads both libraries and the
// configuration file, restarts the controller and waits up to 300 polls for it.
InitialOutcome sendInitialFiles(const HX_Dll &dll, const MySetupType &record,
                                const std::string &progPath, const InitialHooks &hooks);

// The message that closes the run (UTF-8, with its four blanks either side).
const char *initialOutcomeText(InitialOutcome outcome);
