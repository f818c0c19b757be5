// What the program keeps outside its settings file: the per-user values
// "ShowNeedPass" and "Password" (QSettings "Corvane"/"VRX7300Marqora": the
// registry on Windows, a file under the XDG config home elsewhere), the autorun
// entry, the serial-port device paths, and whether the desktop has a tray.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace PlatformSettings {

// The password check value; 0 when missing or unreadable.
uint16_t readPassword();
bool writePassword(uint16_t checkValue);

// The prompt setting; 0 when missing or unreadable.
int readShowNeedPass();
bool writeShowNeedPass(int value);

// Whether the autorun entry exists and is not empty (its path is not compared).
bool GetAutoRunState();
// Writes the entry with the executable's full path, or removes it. On failure
// returns false with a message naming the entry.
bool setAutoRun(bool on, const QString &executablePath, QString *error);
// Where the autorun entry lives (a file on Linux, a registry value on Windows).
QString autoRunLocation();

// COM n opens $MARQORA_COM<n>; a path stored as "ComPorts/Com<n>" fills that
// variable when it is not set already.
void applyComPortPaths();

// Whether a system tray can hold the icon; tests may decide it.
bool hasSystemTray();
void overrideSystemTray(std::optional<bool> available);

}  // namespace PlatformSettings
