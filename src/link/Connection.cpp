#include "link/Connection.h"

#include "settings/FileIO.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

constexpr int32_t True32 = -1;
constexpr std::size_t BlockSize = HX_MAX_BLOCK;

// Steps shared by both uploads: blocks of the file, its date and time, the save.
// afterStep runs after every block and after the save.
bool uploadFile(const HX_Dll &dll, uint16_t device, int32_t drive, const std::string &localPath,
                const std::string &remotePath, const std::function<void()> &afterStep,
                const std::atomic<bool> *stop = nullptr)
{
    const FileHandle file = openRegularFile(localPath);
    if (!file) return false;
    std::error_code ec;
    const auto length = std::filesystem::file_size(::localPath(localPath), ec);
    // A file the controller cannot store is not sent at all: sending it up to
    // the controller's refusal would block the window for nothing, every retry.
    if (ec || length > HX_MAX_FILE_SIZE) return false;
    const auto size = static_cast<int32_t>(length);

    uint8_t buffer[BlockSize] = {};
    bool ok = true;
    for (int32_t sent = 0; sent < size && ok;) {
        if (stop && *stop) return false;
        const auto len = static_cast<int32_t>(std::min<std::uintmax_t>(size - sent, BlockSize));
        // A file that shrank while it was sent stops the upload: stale buffer
        // bytes would be saved as its text. The changed file goes up next time.
        ok = std::fread(buffer, 1, static_cast<std::size_t>(len), file.get()) == static_cast<std::size_t>(len) &&
             dll.SendData(device, sent, len, buffer) != 0;
        sent += len;
        if (afterStep) afterStep();
    }
    uint16_t date = 0;
    uint16_t time = 0;
    if (ok) ok = dll.GetFileDateTime(localPath.c_str(), &date, &time) != 0;
    if (ok) {
        ok = dll.SaveToFile(device, drive, remotePath.c_str(), size, time, date) != 0;
        if (afterStep) afterStep();
    }
    return ok;
}

}  // namespace

void sleepMilliseconds(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint16_t deviceNumberOf(const MySetupType &record)
{
    if (record.nMode == 0)
        return static_cast<uint16_t>(FMySetup::IPStrToLong(FMySetup::LongToIPStr(record.Addr)));
    return static_cast<uint16_t>(record.Addr);
}

int32_t NetComInitial(const HX_Dll &dll, const MySetupType &record)
{
    const int32_t isVrx7300 = record.nLEDSystem == 0 ? True32 : 0;
    const uint16_t device = deviceNumberOf(record);
    int32_t result;
    if (record.nMode == 0) {
        const std::string ip = FMySetup::LongToIPStr(record.Addr);
        result = dll.NetInitial(device, "", ip.c_str(), record.Timeout, record.RetryTimes, record.Port,
                                isVrx7300);
    } else {
        result = dll.ComInitial(device, record.Port, static_cast<int32_t>(record.BaudRate),
                                static_cast<int32_t>(record.Addr), record.Timeout, record.RetryTimes,
                                isVrx7300);
    }
    return result == 0 ? device : -1;
}

std::string controllerPath(const std::string &folder, const std::string &name)
{
    // Controller paths start at the drive's root and carry no leading separator;
    // the folder "\" that stands for the top level must not produce one.
    const auto start = folder.find_first_not_of('\\');
    if (start == std::string::npos) return name;
    const std::string relative = folder.substr(start);
    if (relative.back() == '\\') return relative + name;
    return relative + "\\" + name;
}

bool HXx_SendFile(const HX_Dll &dll, uint16_t mID, int32_t DrvNo, const std::string &Path,
                  const std::string &localName, const std::string &remoteName, bool *answered,
                  const std::atomic<bool> *stop)
{
    const bool outputOff = dll.TurnVGA(mID, 0) != 0;
    if (answered) *answered = outputOff;
    const bool ok = uploadFile(dll, mID, DrvNo, localName, controllerPath(Path, remoteName), {}, stop);
    dll.TurnVGA(mID, True32);
    return ok;
}

bool SendAFile(const HX_Dll &dll, uint16_t mDevID, uint16_t DrvNo, const std::string &LocalFile,
               const std::string &Path, const std::string &RemoteFile,
               const std::function<void()> &progress)
{
    return uploadFile(dll, mDevID, DrvNo, LocalFile, controllerPath(Path, RemoteFile), progress);
}

int32_t HXx_ReceiveFile(const HX_Dll &dll, uint16_t mID, int32_t DrvNo, const std::string &RemoveName,
                        const std::string &LocalName, const SleepFn &sleep)
{
    dll.TurnVGA(mID, 0);
    sleep(100);
    bool ok = false;
    uint32_t size = dll.LoadFromFile(mID, DrvNo, RemoveName.c_str());
    // No controller file is larger than a controller stores: a bigger size is a
    // fault, not a reason to fetch (and write to disk) gigabytes.
    if (size != 0 && size <= HX_MAX_FILE_SIZE) {
        FileHandle file = createRegularFile(LocalName);
        ok = static_cast<bool>(file);
        uint8_t buffer[BlockSize + 1] = {};
        for (int32_t offset = 0; size > 0 && ok;) {
            const auto len = static_cast<int32_t>(std::min<uint32_t>(size, BlockSize));
            size -= static_cast<uint32_t>(len);
            ok = dll.ReceiveData(mID, offset, len, buffer) != 0;
            offset += len;
            if (ok) ok = std::fwrite(buffer, 1, static_cast<std::size_t>(len), file.get()) ==
                         static_cast<std::size_t>(len);
        }
        if (file && std::fflush(file.get()) != 0) ok = false;
    }
    dll.TurnVGA(mID, True32);
    return ok ? 0 : -1;
}
