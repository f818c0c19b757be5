#include "MySetupData.h"

#include "FileIO.h"
#include "text/MyString.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

static std::string withTrailingSeparator(std::string folder)
{
    if (folder.empty() || folder.back() != nativeSeparator()) folder += nativeSeparator();
    return folder;
}

static bool isWritableFolder(const std::string &folder)
{
#ifdef _WIN32
    std::error_code ec;
    return fs::is_directory(localPath(folder), ec);
#else
    return access(folder.c_str(), W_OK | X_OK) == 0;
#endif
}

const char *const kInstalledBinDir = MARQORA_INSTALLED_BINDIR;

static bool isInstalledBinDir(const std::string &folder, const std::string &installedBinDir)
{
#ifdef _WIN32
    (void)folder;
    (void)installedBinDir;
    return false;
#else
    std::error_code ec;
    return !installedBinDir.empty() && fs::equivalent(folder, installedBinDir, ec);
#endif
}

std::string resolveProgPath(const std::string &executableDir, const std::string &installedBinDir)
{
    std::string folder;
    if (const char *home = std::getenv("MARQORA_HOME"); home && *home) {
        folder = home;
    } else if (!executableDir.empty() && isWritableFolder(executableDir) &&
               !isInstalledBinDir(executableDir, installedBinDir)) {
        folder = executableDir;
    } else {
        const char *dataHome = std::getenv("XDG_DATA_HOME");
        if (dataHome && *dataHome) {
            folder = std::string(dataHome) + "/Marqora";
        } else {
            const char *userHome = std::getenv("HOME");
            folder = std::string(userHome ? userHome : ".") + "/.local/share/Marqora";
        }
    }
    std::error_code ec;
    fs::create_directories(localPath(folder), ec);
    return withTrailingSeparator(folder);
}

LoadResult FMySetup::Initial(const std::string &progPath)
{
    mProgPath = withTrailingSeparator(progPath);
    std::memset(mSetup, 0, sizeof mSetup);

    LoadResult result;
    const std::string path = settingsFile();
    if (fileKind(path) == FileKind::Absent) return result;  // Missing: an empty list

    const FileHandle file = openRegularFile(path);
    const auto readInto = [&file](void *target, std::size_t size) {
        return std::fread(target, 1, size, file.get()) == size;
    };
    uint16_t version = 0;
    if (!file || !readInto(&version, sizeof version)) {
        result.status = LoadStatus::Damaged;
        result.message = path + ": the file cannot be read or holds no version";
        return result;
    }
    if (version != _Version) {
        result.status = LoadStatus::WrongVersion;
        return result;
    }
    // Records are read into a scratch record first so a half-read one never
    // reaches the table.
    MySetupType record;
    for (int slot = 0; slot < _MaxItem; ++slot) {
        if (!readInto(&record, sizeof record)) {
            result.status = LoadStatus::Damaged;
            result.recordsRead = slot;
            result.message = path + ": the file ends after " + std::to_string(slot) +
                             " of 64 records";
            return result;
        }
        mSetup[slot] = record;
    }
    result.status = LoadStatus::Loaded;
    result.recordsRead = _MaxItem;
    return result;
}

bool FMySetup::WriteToFile(std::string *error)
{
    ++mSaves;
    std::string content;
    content.reserve(SettingsFileSize);
    const uint16_t version = _Version;
    content.append(reinterpret_cast<const char *>(&version), sizeof version);
    for (auto &record : mSetup) {
        if (!record.bUsed) continue;
        // Saving ends every watch: the next minimise starts them anew.
        record.TmrEnable = 0;
        record.TmrStart = 0;
        record.TmrCount = 0;
        content.append(reinterpret_cast<const char *>(&record), sizeof record);
    }
    for (const auto &record : mSetup) {
        if (record.bUsed) continue;
        content.append(reinterpret_cast<const char *>(&record), sizeof record);
    }
    return replaceFileAtomically(settingsFile(), content, error);
}

uint32_t FMySetup::IPStrToLong(std::string_view ip)
{
    uint32_t parts[4] = {0, 0, 0, 0};
    int index = 0;
    for (char c : ip) {
        if (c == '.') {
            ++index;
        } else if (c >= '0' && c <= '9' && index < 4) {
            // Text with more than three dots: the surplus parts are ignored.
            parts[index] = parts[index] * 10 + static_cast<uint32_t>(c - '0');
        }
    }
    return parts[0] + (parts[1] << 8) + (parts[2] << 16) + (parts[3] << 24);
}

std::string FMySetup::LongToIPStr(uint32_t addr)
{
    char text[32];
    std::snprintf(text, sizeof text, "%3u.%3u.%3u.%3u", addr & 255, (addr >> 8) & 255,
                  (addr >> 16) & 255, addr >> 24);
    return text;
}

MySetupPtr FMySetup::Get(uint16_t Mode, std::string_view IP, uint16_t LedNum)
{
    MySetupPtr found = nullptr;
    const uint32_t addr = Mode == 0 ? IPStrToLong(IP) : LedNum;
    for (auto &record : mSetup) {
        // No early exit: of several matches the highest slot wins.
        if (record.bUsed && record.nMode == Mode && (Mode == 0 || Mode == 1) && record.Addr == addr)
            found = &record;
    }
    return found;
}

void FMySetup::Add(uint16_t Mode, std::string_view IP, uint16_t LedNum, uint16_t UDP,
                   uint16_t Port, uint32_t Baudrate, uint16_t Timeout, uint16_t Retry,
                   uint16_t LEDW, uint16_t LEDH, uint16_t nLEDS, int32_t language)
{
    for (auto &record : mSetup) {
        if (record.bUsed) continue;
        record.bUsed = 1;
        record.nLEDSystem = nLEDS;
        record.nMode = Mode;
        record.Addr = Mode == 0 ? IPStrToLong(IP) : LedNum;
        record.Port = Mode == 0 ? UDP : Port;
        record.BaudRate = Baudrate;
        record.Timeout = Timeout;
        record.RetryTimes = Retry;
        record.LEDWidth = LEDW;
        record.LEDHeight = LEDH;
        record.Left = 0;
        record.Top = 0;
        record.Width = LEDW;
        record.Height = LEDH;
        setShortString(record.FontName, utf8ToAnsi("宋体", language));
        record.FontSize = 12;
        record.bFromFile = 1;
        setShortString(record.FileName, "");
        record.Peroid = 20;
        record.Speed = 4;
        record.Stay = 5;
        record.TmrEnable = 0;
        record.TmrStart = 0;
        record.TmrCount = 0;
        record.Drv = 2;
        return;
    }
}

void FMySetup::Replace(uint16_t Mode, std::string_view IP, uint16_t LedNum, uint16_t UDP,
                       uint16_t Port, uint32_t Baudrate, uint16_t Timeout, uint16_t Retry,
                       uint16_t LEDW, uint16_t LEDH)
{
    MySetupPtr record = Get(Mode, IP, LedNum);
    if (!record) return;
    record->Port = Mode == 0 ? UDP : Port;
    record->BaudRate = Baudrate;
    record->Timeout = Timeout;
    record->RetryTimes = Retry;
    record->LEDWidth = LEDW;
    record->LEDHeight = LEDH;
}

void FMySetup::Del(uint16_t Mode, std::string_view IP, uint16_t LedNum)
{
    if (MySetupPtr record = Get(Mode, IP, LedNum)) std::memset(record, 0, sizeof *record);
}

void FMySetup::Enable(bool En)
{
    for (auto &record : mSetup)
        if (record.bUsed && record.bFromFile) record.TmrEnable = En ? 1 : 0;
}

int FMySetup::usedCount() const
{
    int count = 0;
    for (const auto &record : mSetup) count += record.bUsed ? 1 : 0;
    return count;
}

std::string networkEntryText(uint32_t addr)
{
    std::string text = "[";
    text += FMySetup::LongToIPStr(addr);
    text += "] ";
    return text;
}

std::string serialEntryText(uint32_t screenNumber)
{
    char text[32];
    std::snprintf(text, sizeof text, "[%3u] ", screenNumber);
    return text;
}

std::string displayEntryText(const MySetupType &record)
{
    return record.nMode == 0 ? networkEntryText(record.Addr) : serialEntryText(record.Addr);
}

DisplayKey keyOfEntryText(std::string_view entry)
{
    DisplayKey key;
    if (entry.size() >= 5 && entry[4] == ']') {
        key.mode = 1;
        key.ip = "...";
        key.ledNum = static_cast<uint16_t>(FMySetup::IPStrToLong(entry.substr(1, 3)));
    } else {
        key.mode = 0;
        key.ip = std::string(entry.substr(entry.empty() ? 0 : 1, 15));
    }
    return key;
}
