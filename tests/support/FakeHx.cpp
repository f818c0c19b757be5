#include "FakeHx.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

FakeHx *gCurrent = nullptr;

std::string upper(std::string text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

template <typename... Args>
std::string joined(const Args &...args)
{
    std::string out;
    ((out += (out.empty() ? "" : ","), out += [](const auto &value) {
         if constexpr (std::is_convertible_v<decltype(value), std::string>) return std::string(value);
         else return std::to_string(value);
     }(args)),
     ...);
    return out;
}

}  // namespace

// The functions the table points at; each forwards to the current fake.
struct FakeHxCalls {
    static int32_t NetInitial(uint16_t device, const char *text, const char *ip, int32_t timeout,
                              int32_t retries, uint16_t port, int32_t isVrx)
    {
        return FakeHx::current()->record("NetInitial", joined(device, text, ip, timeout, retries, port, isVrx)) ? 0 : 1;
    }
    static int32_t ComInitial(uint16_t device, int32_t com, int32_t baud, int32_t screen, int32_t timeout,
                              int32_t retries, int32_t isVrx)
    {
        return FakeHx::current()->record("ComInitial", joined(device, com, baud, screen, timeout, retries, isVrx)) ? 0
                                                                                                                   : 1;
    }
    static void Close(uint16_t device) { FakeHx::current()->record("Close", joined(device)); }
    static int32_t Reset(uint16_t device, int32_t value)
    {
        return FakeHx::current()->record("Reset", joined(device, value)) ? -1 : 0;
    }
    static int32_t TurnVGA(uint16_t device, int32_t on)
    {
        return FakeHx::current()->record("TurnVGA", joined(device, on)) ? -1 : 0;
    }
    static int32_t ShowString(uint16_t device, const TextOutInfo *, const char *text)
    {
        return FakeHx::current()->record("ShowString", joined(device, text)) ? -1 : 0;
    }
    static int32_t SendData(uint16_t device, int32_t offset, int32_t length, const uint8_t *bytes)
    {
        FakeHx *fake = FakeHx::current();
        if (!fake->record("SendData", joined(device, offset, length))) return 0;
        auto &pending = fake->mPending;
        const auto end = static_cast<std::size_t>(offset) + static_cast<std::size_t>(length);
        if (pending.size() < end) pending.resize(end);
        std::memcpy(pending.data() + offset, bytes, static_cast<std::size_t>(length));
        return -1;
    }
    static int32_t SaveToFile(uint16_t device, int32_t drive, const char *path, int32_t size, int32_t, int32_t)
    {
        FakeHx *fake = FakeHx::current();
        const bool ok = fake->record("SaveToFile", joined(device, drive, path, size));
        if (ok) {
            fake->mPending.resize(static_cast<std::size_t>(size));
            fake->mFiles[{drive, upper(path)}] = fake->mPending;
        }
        fake->mPending.clear();
        return ok ? -1 : 0;
    }
    static uint32_t LoadFromFile(uint16_t device, int32_t drive, const char *path)
    {
        FakeHx *fake = FakeHx::current();
        const std::string *content = fake->file(drive, path);
        if (!fake->record("LoadFromFile", joined(device, drive, path)) || !content) return 0;
        fake->mLoaded = *content;
        return static_cast<uint32_t>(content->size());
    }
    static int32_t ReceiveData(uint16_t device, int32_t offset, int32_t length, uint8_t *buffer)
    {
        FakeHx *fake = FakeHx::current();
        if (!fake->record("ReceiveData", joined(device, offset, length))) return 0;
        const auto &loaded = fake->mLoaded;
        if (static_cast<std::size_t>(offset) + static_cast<std::size_t>(length) > loaded.size()) return 0;
        std::memcpy(buffer, loaded.data() + offset, static_cast<std::size_t>(length));
        return -1;
    }
    static int32_t MD(uint16_t device, int32_t drive, const char *folder)
    {
        return FakeHx::current()->record("MD", joined(device, drive, folder)) ? -1 : 0;
    }
    static int32_t RemoveFile(uint16_t device, int32_t drive, const char *path)
    {
        return FakeHx::current()->record("RemoveFile", joined(device, drive, path)) ? -1 : 0;
    }
    static int32_t GetNetConfig(uint16_t device, uint8_t *buffer)
    {
        std::memset(buffer, 0, HX_NETCONFIG_SIZE);
        return FakeHx::current()->record("GetNetConfig", joined(device)) ? -1 : 0;
    }
    static int32_t GetLEDConfig(uint16_t device, void *config)
    {
        FakeHx *fake = FakeHx::current();
        std::memset(config, 0, HX_LEDCONFIG_SIZE);
        auto *block = static_cast<uint8_t *>(config);
        const uint16_t size[2] = {fake->mPanel.first, fake->mPanel.second};
        std::memcpy(block + 92, size, sizeof size);
        return fake->record("GetLEDConfig", joined(device)) ? -1 : 0;
    }
    static int32_t GetPlayInfo(uint16_t device, uint8_t *buffer)
    {
        FakeHx *fake = FakeHx::current();
        if (!fake->record("GetPlayInfo", joined(device))) return 0;
        std::memset(buffer, 0, HX_PLAYINFO_SIZE);
        buffer[0] = fake->mPlayInfo.first;
        buffer[1] = fake->mPlayInfo.second;
        return -1;
    }
    static int32_t GetFileDateTime(const char *path, uint16_t *date, uint16_t *time)
    {
        *date = 0;
        *time = 0;
        return FakeHx::current()->record("GetFileDateTime", joined(path)) ? -1 : 0;
    }
    static uint16_t NewCRC(uint16_t value, uint8_t byte)
    {
        FakeHx::current()->record("NewCRC", joined(value, byte));
        return static_cast<uint16_t>(value ^ byte);
    }
};

FakeHx::FakeHx()
{
    if (gCurrent) throw std::logic_error("only one FakeHx at a time");
    gCurrent = this;
}

FakeHx::~FakeHx()
{
    gCurrent = nullptr;
}

FakeHx *FakeHx::current()
{
    if (!gCurrent) throw std::logic_error("no FakeHx in scope");
    return gCurrent;
}

const HX_Dll &FakeHx::dll() const
{
    static const HX_Dll table{
        FakeHxCalls::NetInitial,   FakeHxCalls::ComInitial,   FakeHxCalls::Close,
        FakeHxCalls::Reset,        FakeHxCalls::TurnVGA,      FakeHxCalls::ShowString,
        FakeHxCalls::SendData,     FakeHxCalls::SaveToFile,   FakeHxCalls::LoadFromFile,
        FakeHxCalls::ReceiveData,  FakeHxCalls::MD,           FakeHxCalls::RemoveFile,
        FakeHxCalls::GetNetConfig, FakeHxCalls::GetLEDConfig, FakeHxCalls::GetPlayInfo,
        FakeHxCalls::GetFileDateTime, FakeHxCalls::NewCRC,
    };
    return table;
}

std::vector<std::string> FakeHx::callsNamed(const std::string &name) const
{
    std::vector<std::string> found;
    for (const auto &call : mCalls)
        if (call.compare(0, name.size() + 1, name + "(") == 0) found.push_back(call);
    return found;
}

void FakeHx::failCall(const std::string &name, int n)
{
    mFailures[name].push_back(n);
}

void FakeHx::duringCall(const std::string &name, int n, std::function<void()> action)
{
    mActions[{name, n}] = std::move(action);
}

void FakeHx::putFile(int drive, const std::string &path, const std::string &content)
{
    mFiles[{drive, upper(path)}] = content;
}

const std::string *FakeHx::file(int drive, const std::string &path) const
{
    const auto found = mFiles.find({drive, upper(path)});
    return found == mFiles.end() ? nullptr : &found->second;
}

void FakeHx::removeFile(int drive, const std::string &path)
{
    mFiles.erase({drive, upper(path)});
}

bool FakeHx::record(const std::string &name, const std::string &arguments)
{
    mCalls.push_back(name + "(" + arguments + ")");
    const int number = ++mCounts[name];
    if (const auto action = mActions.find({name, number}); action != mActions.end()) action->second();
    const auto failures = mFailures.find(name);
    if (failures == mFailures.end()) return true;
    const auto &numbers = failures->second;
    return std::none_of(numbers.begin(), numbers.end(), [number](int n) { return n == 0 || n == number; });
}
