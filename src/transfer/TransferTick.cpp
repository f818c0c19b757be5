#include "transfer/TransferTick.h"

#include "text/MyString.h"
#include "transfer/FilePage.h"
#include "transfer/LocalFiles.h"

namespace {

constexpr uint16_t RetryTicks = 8;

// The watched file as the controller knows it.
struct WatchedFile {
    std::string localPath;
    std::string shortName;
    ControllerDisks disks;
};

// An open connection, closed when it goes out of scope.
class Connection {
public:
    Connection(const HX_Dll &dll, const MySetupType &record) : mDll(dll), mDevice(NetComInitial(dll, record)) {}
    ~Connection()
    {
        if (isOpen()) mDll.Close(device());
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    bool isOpen() const { return mDevice >= 0; }
    uint16_t device() const { return static_cast<uint16_t>(mDevice); }

private:
    const HX_Dll &mDll;
    int32_t mDevice;
};

bool sendText(const HX_Dll &dll, uint16_t device, const WatchedFile &file)
{
    return HXx_SendFile(dll, device, file.disks.textDisk, "", file.localPath, file.shortName);
}

bool setUp(const HX_Dll &dll, const MySetupType &record, const PlayListState &playList,
           const std::string &progPath, const WatchedFile &file)
{
    Connection connection(dll, record);
    return connection.isOpen() &&
           HXx_SendFile(dll, connection.device(), file.disks.playListDisk, playList.mPlayListPath,
                        localPlayListPath(progPath), RemotePlayListName) &&
           sendText(dll, connection.device(), file) &&
           dll.Reset(connection.device(), playList.mPlayListIndex * 65536) != 0;
}

bool resend(const HX_Dll &dll, const MySetupType &record, bool replay, const WatchedFile &file)
{
    Connection connection(dll, record);
    if (!connection.isOpen() || !sendText(dll, connection.device(), file)) return false;
    // The file is on the controller; a failed restart only delays showing it.
    if (replay) dll.Reset(connection.device(), 0);
    return true;
}

void visit(int slot, MySetupType &record, const HX_Dll &dll, PlayListLocations &playLists, bool replay,
           const std::string &progPath, TransferReport &report, const TickOptions &options)
{
    WatchedFile file;
    file.localPath = ansiToUtf8(shortString(record.FileName), options.language);
    file.shortName = shortFileName(file.localPath);
    file.disks = controllerDisks(record);

    if (!record.TmrStart) {
        std::string error;
        const bool written = writePlayList(
            record, transferWriter(record, file.disks.textLetter, file.shortName), progPath,
            [&] { return playLists.read(slot, dll, record, progPath, options.sleep); }, &error);
        // Taken before the uploads, as later visits do: a change made while the
        // set-up runs (the restart can take the whole time-out) is sent next period.
        const uint32_t stamp = GetFileChangeTime(file.localPath);
        if (!written) {
            // The line goes into a tool tip: the reason without the long path.
            const auto cut = error.rfind(": ");
            report.fail(slot, displayEntryText(record) + "播放列表无法写入: " +
                                  (cut == std::string::npos ? error : error.substr(cut + 2)));
            record.TmrCount = RetryTicks;
        } else if (setUp(dll, record, playLists.of(slot, record), progPath, file)) {
            report.clear(slot);
            record.TmrStart = 1;
            record.ChangeTime = stamp;
            record.TmrCount = record.Peroid;
        } else {
            record.TmrCount = RetryTicks;
        }
    } else {
        if (record.bTimeSend) {
            resend(dll, record, replay, file);
        } else {
            const uint32_t stamp = GetFileChangeTime(file.localPath);
            // Only a delivered change counts, so a failed upload is tried again next period.
            if (stamp != record.ChangeTime && resend(dll, record, replay, file)) record.ChangeTime = stamp;
        }
        record.TmrCount = record.Peroid;
    }
}

}  // namespace

void TransferReport::fail(int slot, const std::string &line)
{
    auto &held = mLines.at(static_cast<std::size_t>(slot));
    if (held == line) return;
    held = line;
    if (onChange) onChange(toolTip());
}

void TransferReport::clear(int slot)
{
    auto &held = mLines.at(static_cast<std::size_t>(slot));
    if (held.empty()) return;
    held.clear();
    if (onChange) onChange(toolTip());
}

std::string TransferReport::toolTip() const
{
    std::string tip = "VRXMarqora";
    for (const auto &line : mLines)
        if (!line.empty()) tip += "\n" + line;
    return tip;
}

void transferTick(FMySetup &store, const HX_Dll &dll, PlayListLocations &playLists, bool replay,
                  const std::string &progPath, TransferReport &report, const TickOptions &options)
{
    for (int slot = 0; slot < _MaxItem; ++slot) {
        MySetupType &record = store.mSetup[slot];
        if (!record.bUsed || !record.TmrEnable) continue;
        if (record.TmrCount != 0) {
            --record.TmrCount;
            continue;
        }
        visit(slot, record, dll, playLists, replay, progPath, report, options);
        --record.TmrCount;  // 16-bit: a period of 0 wraps to 65535
    }
}
