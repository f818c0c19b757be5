#include "transfer/PlayList.h"

#include "settings/FileIO.h"
#include "transfer/LocalFiles.h"
#include "transfer/Profile.h"

#include <cstdio>
#include <filesystem>

namespace {

constexpr const char *ProgramSection = "Program1";
constexpr const char *AlwaysOn = "01120131010700002359";
constexpr const char *NeverOn = "00000000000000000000";

std::string itemText(const std::string &fileReference, int enter, int speed, int stay)
{
    return "X," + fileReference + "," + std::to_string(enter) + "," + std::to_string(speed) + "," +
           std::to_string(stay);
}

// "Timer2", "Program1_Screen3": a name followed by a number.
std::string numbered(const char *name, int number)
{
    std::string text = name;
    text += std::to_string(number);
    return text;
}

IniDocument freshPlayList(const MySetupType &record, const PlayListWriter &writer)
{
    IniDocument document;
    document.set(ProgramSection, "Timer1", AlwaysOn);
    for (int timer = 2; timer <= 8; ++timer) document.set(ProgramSection, numbered("Timer", timer), NeverOn);
    document.set(ProgramSection, "MainScreen", writer.mainScreen);
    document.set(ProgramSection, "Screen", "1");
    document.set("Program1_Screen1", "Position", areaPosition(record));
    document.set("Program1_Screen1", "ItemCount", "1");
    document.set("Program1_Screen1", "Item1", writer.freshItem);
    return document;
}

}  // namespace

std::string localPlayListPath(const std::string &progPath)
{
    return resolveLocalName(progPath, LocalPlayListName);
}

PlayListWriter transferWriter(const MySetupType &record, char driveLetter, const std::string &shortName)
{
    const int speed = record.Speed + 1;
    return {"1", itemText("C:\\" + shortName, record.Enter, speed, record.Stay),
            itemText(std::string(1, driveLetter) + ":\\" + shortName, record.Enter, speed, record.Stay), true};
}

PlayListWriter clickSendWriter()
{
    return {"3", "X,TEST.TXT,1,1,1", itemText("C:\\NULL.TXT", 1, 1, 60000), false};
}

std::string areaPosition(const MySetupType &record)
{
    const int x = 4096 + record.Left - record.Width;
    return std::to_string(x) + "," + std::to_string(record.Top) + "," + std::to_string(record.Width) + "," +
           std::to_string(record.Height);
}

bool writePlayList(MySetupType &record, const PlayListWriter &writer, const std::string &progPath,
                   bool fromController, std::string *error)
{
    if (!fromController && writer.areaOneWithoutPlayList) record.AreaIndex = 1;
    const std::string path = localPlayListPath(progPath);
    std::optional<IniDocument> document = fromController ? loadIni(path, error) : freshPlayList(record, writer);
    if (!document) return false;
    const std::string section = numbered("Program1_Screen", record.AreaIndex);
    document->set(section, "ItemCount", "1");
    document->set(section, "Item1", writer.areaItem);
    return saveIni(*document, path, error);
}

PlayListState PlayListLocations::of(int slot, const MySetupType &record) const
{
    if (slot < 0 || slot >= _MaxItem) return {};
    const Known &known = mDisplays[static_cast<std::size_t>(slot)];
    if (!known.read || known.nMode != record.nMode || known.Addr != record.Addr || known.Port != record.Port)
        return {};
    return known.location;
}

bool PlayListLocations::read(int slot, const HX_Dll &dll, const MySetupType &record, const std::string &progPath,
                             const SleepFn &sleep)
{
    PlayListState location;
    const bool ok = GetPlayListFile(dll, record, location, progPath, sleep);
    remember(slot, record, ok ? std::optional(location) : std::nullopt);
    return ok;
}

void PlayListLocations::remember(int slot, const MySetupType &record, const std::optional<PlayListState> &read)
{
    const PlayListState location = read.value_or(PlayListState{std::string(1, '\\'), 0});
    lastRead = location;
    if (slot >= 0 && slot < _MaxItem)
        mDisplays[static_cast<std::size_t>(slot)] = {true, record.nMode, record.Addr, record.Port, location};
}

int PlayListLocations::slotOf(const FMySetup &store, const MySetupType &record)
{
    for (int slot = 0; slot < _MaxItem; ++slot)
        if (&store.mSetup[slot] == &record) return slot;
    return -1;
}

namespace {

bool askPlayInfo(const HX_Dll &dll, const MySetupType &record, uint16_t device, uint8_t (&playInfo)[HX_PLAYINFO_SIZE],
                 const SleepFn &sleep)
{
    // A Hexalink controller answers only once its playback has settled.
    if (record.nLEDSystem != 1) return dll.GetPlayInfo(device, playInfo) != 0;
    for (int attempt = 0; attempt < 6; ++attempt) {
        sleep(500);
        if (dll.GetPlayInfo(device, playInfo) != 0) return true;
    }
    return false;
}

}  // namespace

bool GetPlayListFile(const HX_Dll &dll, const MySetupType &record, PlayListState &state,
                     const std::string &progPath, const SleepFn &sleep)
{
    const int32_t opened = NetComInitial(dll, record);
    if (opened < 0) return false;
    const auto device = static_cast<uint16_t>(opened);
    uint8_t playInfo[HX_PLAYINFO_SIZE] = {};
    bool ok = false;
    if (askPlayInfo(dll, record, device, playInfo, sleep)) {
        dll.TurnVGA(device, 0);
        const std::string localPath = resolveLocalName(progPath, "PlayList.Qv");
        std::error_code ec;
        std::filesystem::remove(::localPath(localPath), ec);
        const int drive = playInfo[0];
        const int number = playInfo[1];
        if (number < 100) {
            char folder[8];
            std::snprintf(folder, sizeof folder, "P%02d\\", number);
            state.mPlayListIndex = number;
            state.mPlayListPath = folder;
            ok = HXx_ReceiveFile(dll, device, drive, state.mPlayListPath + "PlayList.Qv", localPath, sleep) >= 0;
            if (!ok && number == 0) {
                state.mPlayListPath.clear();
                state.mPlayListIndex = 0;
                ok = HXx_ReceiveFile(dll, device, drive, "Playlist.qv", localPath, sleep) >= 0;
            }
        }
        dll.TurnVGA(device, -1);
    }
    dll.Close(device);
    return ok;
}
