#include "clicksend/ClickSend.h"

#include "clicksend/LineBreak.h"
#include "link/Connection.h"
#include "settings/FileIO.h"
#include "text/TextFile.h"
#include "transfer/LocalFiles.h"

#include <algorithm>
#include <cstdio>

std::vector<std::string> clickSendEntries(const FMySetup &store)
{
    std::vector<std::string> entries;
    for (const auto &record : store.mSetup) {
        if (record.bUsed && !record.bFromFile) entries.push_back(displayEntryText(record));
    }
    return entries;
}

MySetupPtr recordOfEntry(FMySetup &store, std::string_view entry)
{
    const DisplayKey key = keyOfEntryText(entry);
    return store.Get(key.mode, key.ip, key.ledNum);
}

TextOutInfo textOutInfoFor(const MySetupType &record)
{
    TextOutInfo info{};
    info.Left = static_cast<uint16_t>(4096 - record.Width + record.Left);
    info.Top = record.Top;
    info.Width = record.Width;
    info.Height = record.Height;
    info.Color = 65535;
    info.ASCFont = 1;
    info.HZFont = 2;
    info.XPos = 0;
    info.YPos = 0;
    return info;
}

std::string showStringText(const MySetupType &record, std::string_view line)
{
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "`R00000000%4u%4u", unsigned{record.Width},
                  unsigned{record.Height});
    std::string text = prefix;
    std::replace(text.begin(), text.end(), ' ', '0');
    text.append(line);
    return text;
}

int textAreaWidth(uint16_t ascPerLine)
{
    return ascPerLine * 6 + 2;
}

void prepareDisplays(ControllerJobs &jobs, const HX_Dll &dll, FMySetup &store, PlayListLocations &playLists,
                     const std::vector<std::string> &entries, const SleepFn &sleep)
{
    for (const auto &entry : entries) {
        const MySetupPtr found = recordOfEntry(store, entry);
        if (!found) continue;
        const int slot = PlayListLocations::slotOf(store, *found);
        jobs.submit(controllerKeyOf(*found), false,
                    [&dll, &playLists, slot, record = *found, progPath = store.mProgPath,
                     sleep]() mutable -> ControllerJobs::Apply {
                        const WorkFolder folder(progPath);
                        PlayListState location = PlayListState::topLevel();
                        if (record.bFromPlayList &&
                            !GetPlayListFile(dll, record, location, folder.path(), sleep))
                            return [&playLists, slot, record] { playLists.remember(slot, record, std::nullopt); };
                        if (writePlayList(record, clickSendWriter(), folder.path(), record.bFromPlayList != 0)) {
                            const int32_t device = NetComInitial(dll, record);
                            if (device >= 0) {
                                const auto id = static_cast<uint16_t>(device);
                                if (HXx_SendFile(dll, id, 0, location.mPlayListPath, localPlayListPath(folder.path()),
                                                 RemotePlayListName))
                                    dll.Reset(id, static_cast<int32_t>(
                                                      static_cast<uint32_t>(location.mPlayListIndex) << 16));
                                dll.Close(id);
                            }
                        }
                        if (!record.bFromPlayList) return {};
                        return [&playLists, slot, record, location] { playLists.remember(slot, record, location); };
                    });
    }
}

void ClickSendLines::show(ControllerJobs &jobs, const HX_Dll &dll, FMySetup &store,
                          const std::vector<std::string> &entries, std::string_view line)
{
    for (const auto &entry : entries) {
        const MySetupPtr found = recordOfEntry(store, entry);
        if (!found) continue;
        const int slot = PlayListLocations::slotOf(store, *found);
        {
            const std::lock_guard lock(mWaiting->mutex);
            const bool alreadyWaiting = mWaiting->lines.count(slot) != 0;
            mWaiting->lines[slot] = std::string(line);
            if (alreadyWaiting) continue;
        }
        jobs.submit(controllerKeyOf(*found), false,
                    [&dll, waiting = mWaiting, slot, record = *found]() -> ControllerJobs::Apply {
                        std::string newest;
                        {
                            const std::lock_guard lock(waiting->mutex);
                            newest = std::move(waiting->lines[slot]);
                            waiting->lines.erase(slot);
                        }
                        const TextOutInfo info = textOutInfoFor(record);
                        const std::string text = showStringText(record, newest);
                        const int32_t device = NetComInitial(dll, record);
                        if (device < 0) return {};
                        dll.ShowString(static_cast<uint16_t>(device), &info, text.c_str());
                        dll.Close(static_cast<uint16_t>(device));
                        return {};
                    });
    }
}

ClickSendText clickSendText(std::string_view fileBytes, int32_t language, int ascPerLine)
{
    const ControllerText text = toControllerText(fileBytes, language);
    std::string bytes = text.bytes;
    std::erase(bytes, '\0');
    ClickSendText result;
    result.lines = breakText(bytes, ascPerLine > 0 ? ascPerLine : MaxShownColumns);
    result.replaced = replacementSummary(text, language);
    result.ok = true;
    return result;
}

ClickSendText loadClickSendText(const std::string &path, int32_t language, int ascPerLine)
{
    std::string error;
    const std::optional<std::string> bytes = readWholeFile(path, &error);
    if (!bytes) return {false, error, {}, {}};
    return clickSendText(*bytes, language, ascPerLine);
}
