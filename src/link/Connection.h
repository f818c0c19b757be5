// Opening a connection to one display and moving files to and from its controller.
#pragma once

#include "link/HX_Dll.h"
#include "settings/MySetupData.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// A pause in milliseconds. The real one sleeps; tests hand in one that counts.
using SleepFn = std::function<void(int milliseconds)>;
void sleepMilliseconds(int milliseconds);

// The device number a record opens as: the low 16 bits of the address for a
// network display, the screen number for a serial one.
uint16_t deviceNumberOf(const MySetupType &record);

// Opens a connection for the record; the device number, or -1 when the library
// refused. The caller closes it with HX_Close exactly when the result is >= 0.
int32_t NetComInitial(const HX_Dll &dll, const MySetupType &record);

// The controller path of a file: folder, "\" when the folder lacks one, name.
// Leading separators are dropped, so the folder "\" means the top level.
std::string controllerPath(const std::string &folder, const std::string &name);

// Uploads the local file localName (a native UTF-8 path) into folder path of
// drive DrvNo as remoteName, with the display output off meanwhile. answered,
// when given, tells whether the controller took the first request (switching
// the output off): a failed upload to a controller that answered was refused.
// stop, when given and set, abandons the upload before its next block; the
// output is switched on again all the same.
bool HXx_SendFile(const HX_Dll &dll, uint16_t mID, int32_t DrvNo, const std::string &Path,
                  const std::string &localName, const std::string &remoteName, bool *answered = nullptr,
                  const std::atomic<bool> *stop = nullptr);

// Downloads the controller file RemoveName into the local file LocalName.
// 0 on success, -1 on failure; a file of size 0 counts as a failure.
int32_t HXx_ReceiveFile(const HX_Dll &dll, uint16_t mID, int32_t DrvNo, const std::string &RemoveName,
                        const std::string &LocalName, const SleepFn &sleep = sleepMilliseconds);

// The upload of the initialisation run: no output switching, and progress is
// called after every block (sent or not) and once more after the save, so the
// window can advance its bar and process pending events.
bool SendAFile(const HX_Dll &dll, uint16_t mDevID, uint16_t DrvNo, const std::string &LocalFile,
               const std::string &Path, const std::string &RemoteFile,
               const std::function<void()> &progress);
