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

VisitOutcome openFailure(const MySetupType &record)
{
    return record.nMode == 0 ? VisitOutcome::NoAnswer : VisitOutcome::PortUnavailable;
}

VisitOutcome uploadFailure(bool answered)
{
    return answered ? VisitOutcome::Refused : VisitOutcome::NoAnswer;
}

VisitOutcome sendText(const HX_Dll &dll, uint16_t device, const WatchedFile &file)
{
    bool answered = false;
    if (HXx_SendFile(dll, device, file.disks.textDisk, "", file.localPath, file.shortName, &answered))
        return VisitOutcome::Delivered;
    // The file's own problem is what the user has to fix, whatever the controller said.
    const VisitOutcome problem = watchedFileProblem(file.localPath);
    return problem != VisitOutcome::Delivered ? problem : uploadFailure(answered);
}

VisitOutcome setUp(const HX_Dll &dll, const MySetupType &record, const PlayListState &playList,
                   const std::string &progPath, const WatchedFile &file)
{
    Connection connection(dll, record);
    if (!connection.isOpen()) return openFailure(record);
    bool answered = false;
    if (!HXx_SendFile(dll, connection.device(), file.disks.playListDisk, playList.mPlayListPath,
                      localPlayListPath(progPath), RemotePlayListName, &answered))
        return uploadFailure(answered);
    const VisitOutcome sent = sendText(dll, connection.device(), file);
    if (sent != VisitOutcome::Delivered) return sent;
    return dll.Reset(connection.device(), playList.mPlayListIndex * 65536) != 0 ? VisitOutcome::Delivered
                                                                                 : VisitOutcome::RestartFailed;
}

VisitOutcome resend(const HX_Dll &dll, const MySetupType &record, bool replay, const WatchedFile &file)
{
    Connection connection(dll, record);
    if (!connection.isOpen()) return openFailure(record);
    const VisitOutcome sent = sendText(dll, connection.device(), file);
    // The file is on the controller; a failed restart only delays showing it.
    if (sent == VisitOutcome::Delivered && replay) dll.Reset(connection.device(), 0);
    return sent;
}

void visit(int slot, MySetupType &record, const HX_Dll &dll, PlayListLocations &playLists, bool replay,
           const std::string &progPath, TransferStatus &status, const TickOptions &options)
{
    WatchedFile file;
    file.localPath = ansiToUtf8(shortString(record.FileName), options.language);
    file.shortName = shortFileName(file.localPath);
    file.disks = controllerDisks(record);

    VisitOutcome outcome = VisitOutcome::NothingToSend;
    std::string error;
    if (!record.TmrStart) {
        const bool written = writePlayList(
            record, transferWriter(record, file.disks.textLetter, file.shortName), progPath,
            [&] { return playLists.read(slot, dll, record, progPath, options.sleep); }, &error);
        // Taken before the uploads, as later visits do: a change made while the
        // set-up runs (the restart can take the whole time-out) is sent next period.
        const uint32_t stamp = GetFileChangeTime(file.localPath);
        outcome = written ? setUp(dll, record, playLists.of(slot, record), progPath, file)
                          : VisitOutcome::PlayListUnwritable;
        if (outcome == VisitOutcome::Delivered) {
            record.TmrStart = 1;
            record.ChangeTime = stamp;
            record.TmrCount = record.Peroid;
        } else {
            record.TmrCount = RetryTicks;
        }
    } else {
        if (record.bTimeSend) {
            outcome = resend(dll, record, replay, file);
        } else {
            const uint32_t stamp = GetFileChangeTime(file.localPath);
            // Only a delivered change counts, so a failed upload is tried again next period.
            if (stamp != record.ChangeTime) {
                outcome = resend(dll, record, replay, file);
                if (outcome == VisitOutcome::Delivered) record.ChangeTime = stamp;
            }
        }
        record.TmrCount = record.Peroid;
    }
    status.visited(slot, record, outcome, error);
}

}  // namespace

void transferTick(FMySetup &store, const HX_Dll &dll, PlayListLocations &playLists, bool replay,
                  const std::string &progPath, TransferStatus &status, const TickOptions &options)
{
    for (int slot = 0; slot < _MaxItem; ++slot) {
        MySetupType &record = store.mSetup[slot];
        status.follow(slot, record);
        if (!record.bUsed || !record.TmrEnable) continue;
        if (record.TmrCount != 0) {
            --record.TmrCount;
            continue;
        }
        visit(slot, record, dll, playLists, replay, progPath, status, options);
        --record.TmrCount;  // 16-bit: a period of 0 wraps to 65535
    }
}
