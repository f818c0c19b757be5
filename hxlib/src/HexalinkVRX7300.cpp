// The 17 exported functions: argument checks, the device table, and one
// request per controller operation.
#include "HexalinkVRX7300.h"

#include "Device.h"
#include "HxProtocol.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <utility>
#include <vector>

using hx::Command;
using hxlib::Device;

namespace {

constexpr int kMaxTimeoutSeconds = 60;
constexpr int kMaxRetries = 100;

// Round trips learnt per controller link, so that the fresh connection of
// every visit starts from what the previous one measured instead of the
// conservative start, and a visit's first lost frame is recovered in
// milliseconds too. The link is named by what the caller opened (address
// and port, or port, bit rate and screen).
constexpr std::size_t kRememberedLinks = 64;

struct OpenConnection {
    std::shared_ptr<Device> device;
    std::string link;
};

struct LinkMemory {
    std::string link;
    hxlib::RetransmitTimer::Estimate estimate;
    uint64_t lastUse = 0;
};

// Device numbers name connections per calling thread: a program that serves
// several controllers at once on worker threads may open two whose numbers
// coincide (network displays that share the first two address numbers),
// while a caller on one thread sees the numbers as the only names there are.
// A thread that opened nothing under a number reaches what another thread
// opened under it (a connection handed to a helper thread).
using DeviceKey = std::pair<std::thread::id, uint16_t>;

DeviceKey keyOf(uint16_t device)
{
    return {std::this_thread::get_id(), device};
}

std::mutex gTableMutex; // guards both tables and the use counter
std::map<DeviceKey, OpenConnection> gConnections;

// The connection the number names for the calling thread; gTableMutex held.
std::map<DeviceKey, OpenConnection>::iterator lookUp(uint16_t device)
{
    const auto own = gConnections.find(keyOf(device));
    if (own != gConnections.end()) return own;
    return std::find_if(gConnections.begin(), gConnections.end(),
                        [device](const auto &entry) { return entry.first.second == device; });
}
std::vector<LinkMemory> gLinks;
uint64_t gLinkUses = 0;

std::shared_ptr<Device> find(uint16_t device)
{
    std::lock_guard lock(gTableMutex);
    const auto it = lookUp(device);
    return it == gConnections.end() ? nullptr : it->second.device;
}

std::optional<hxlib::RetransmitTimer::Estimate> recall(const std::string &link)
{
    std::lock_guard lock(gTableMutex);
    for (auto &memory : gLinks)
        if (memory.link == link) {
            memory.lastUse = ++gLinkUses;
            return memory.estimate;
        }
    return std::nullopt;
}

// Takes the device number's connection out of the table and keeps what it
// learnt of its link; the connection ends when its last user lets go.
void retire(uint16_t device, bool ownOnly)
{
    OpenConnection open;
    {
        std::lock_guard lock(gTableMutex);
        const auto it = ownOnly ? gConnections.find(keyOf(device)) : lookUp(device);
        if (it == gConnections.end()) return;
        open = std::move(it->second);
        gConnections.erase(it);
    }
    std::optional<hxlib::RetransmitTimer::Estimate> estimate;
    {
        // Another thread may still be in a request on it.
        std::lock_guard lock(open.device->mutex());
        estimate = open.device->connection().retransmitTimer().estimate();
    }
    if (!estimate) return;
    std::lock_guard lock(gTableMutex);
    auto slot = std::find_if(gLinks.begin(), gLinks.end(), [&](const LinkMemory &m) { return m.link == open.link; });
    if (slot == gLinks.end() && gLinks.size() < kRememberedLinks) {
        slot = gLinks.insert(gLinks.end(), LinkMemory{open.link, *estimate, 0});
    } else if (slot == gLinks.end()) {
        slot = std::min_element(gLinks.begin(), gLinks.end(),
                                [](const LinkMemory &a, const LinkMemory &b) { return a.lastUse < b.lastUse; });
        slot->link = open.link;
    }
    slot->estimate = *estimate;
    slot->lastUse = ++gLinkUses;
}

// Puts a new connection under the device number once the controller has
// answered on it; without a transport (a failed open) or an answer the
// number ends up closed. 0 when open, else -1.
int32_t install(uint16_t device, std::unique_ptr<hxlib::Transport> transport, const std::string &link,
                uint16_t lineAddress, int32_t timeoutSeconds, int32_t retries)
{
    // Opening a number that is open replaces its connection, also when the
    // new open fails: the caller asked for the old one to go. Only its own:
    // another thread's connection under the number is none of its business.
    retire(device, true);
    if (!transport) return -1;
    auto opened = std::make_shared<Device>(std::move(transport), lineAddress, timeoutSeconds, retries);
    if (const auto estimate = recall(link)) opened->connection().retransmitTimer().resume(*estimate);
    // A switched-off controller fails here, after one request's budget,
    // instead of in every call its caller would make next.
    if (!opened->open()) return -1;
    std::lock_guard lock(gTableMutex);
    gConnections.insert_or_assign(keyOf(device), OpenConnection{std::move(opened), link});
    return 0;
}

bool validLimits(int32_t timeoutSeconds, int32_t retries)
{
    return timeoutSeconds >= 1 && timeoutSeconds <= kMaxTimeoutSeconds && retries >= 0 && retries <= kMaxRetries;
}

// Runs work on an open device while it is locked; false when the number is not open.
template <typename Work>
bool withDevice(uint16_t number, Work work)
{
    const auto device = find(number);
    if (!device) return false;
    std::lock_guard lock(device->mutex());
    return work(*device);
}

// Runs one request on an open device; the reply data are handed to onData
// while the device is still locked.
template <typename OnData>
bool call(uint16_t number, Command command, std::span<const uint8_t> payload, std::optional<std::size_t> dataSize,
          OnData onData)
{
    return withDevice(number, [&](Device &device) {
        const auto data = device.requestOk(command, payload, dataSize);
        if (!data) return false;
        onData(*data);
        return true;
    });
}

bool call(uint16_t device, Command command, std::span<const uint8_t> payload)
{
    return call(device, command, payload, 0, [](std::span<const uint8_t>) {});
}

// Fills buffer with a controller block of exactly its size.
bool fetchBlock(uint16_t device, Command command, void *buffer, std::size_t size)
{
    if (!buffer) return false;
    return call(device, command, {}, size,
                [&](std::span<const uint8_t> data) { std::memcpy(buffer, data.data(), data.size()); });
}

// Drive, then the path bytes without their terminating zero.
bool pathPayload(hx::PayloadWriter &writer, int32_t drive, const char *path)
{
    if (!path || drive < 0 || drive > 255) return false;
    const std::size_t length = std::strlen(path);
    if (length == 0 || length > hx::kMaxPath) return false;
    writer.u8(static_cast<uint8_t>(drive)).bytes({reinterpret_cast<const uint8_t *>(path), length});
    return writer.ok();
}

bool validBlock(int32_t offset, int32_t length)
{
    return offset >= 0 && length >= 1 && length <= static_cast<int32_t>(hx::kMaxBlock);
}

constexpr int32_t truth(bool value)
{
    return value ? -1 : 0;
}

} // namespace

extern "C" {

int32_t HX_NetInitial(uint16_t device, const char *, const char *ip, int32_t timeoutSeconds, int32_t retries,
                      uint16_t udpPort, int32_t)
{
    if (!ip || !validLimits(timeoutSeconds, retries)) return install(device, nullptr, {}, 0, 0, 0);
    const auto address = hxlib::parseIpText(ip);
    const std::string link = "udp " + std::to_string(address.value_or(0)) + ":" + std::to_string(udpPort);
    // Over UDP the address is the socket's; the device number goes in the
    // frame so the caller's replies can be told apart from anyone else's.
    return install(device, hxlib::openUdp(ip, udpPort), link, device, timeoutSeconds, retries);
}

int32_t HX_ComInitial(uint16_t device, int32_t comNumber, int32_t baudRate, int32_t screenNumber,
                      int32_t timeoutSeconds, int32_t retries, int32_t)
{
    if (screenNumber < 0 || screenNumber > 0xFFFF || !validLimits(timeoutSeconds, retries))
        return install(device, nullptr, {}, 0, 0, 0);
    const std::string link = "com " + std::to_string(comNumber) + " " + std::to_string(baudRate) + " " +
                             std::to_string(screenNumber);
    return install(device, hxlib::openSerial(comNumber, baudRate), link, static_cast<uint16_t>(screenNumber),
                   timeoutSeconds, retries);
}

void HX_Close(uint16_t device)
{
    retire(device, false);
}

int32_t HX_Reset(uint16_t device, int32_t value)
{
    uint8_t payload[4];
    hx::PayloadWriter(payload).u32(static_cast<uint32_t>(value));
    return truth(call(device, Command::Reset, payload));
}

int32_t HX_TurnVGA(uint16_t device, int32_t on)
{
    const uint8_t payload[1] = {static_cast<uint8_t>(on ? 1 : 0)};
    return truth(call(device, Command::TurnVga, payload));
}

int32_t HX_ShowString(uint16_t device, const TextOutInfo *info, const char *text)
{
    static_assert(sizeof(TextOutInfo) == hx::kTextInfoSize);
    if (!info || !text) return 0;
    const std::size_t length = std::strlen(text);
    if (length > hx::kMaxText) return 0;
    uint8_t payload[hx::kTextInfoSize + hx::kMaxText];
    hx::PayloadWriter writer(payload);
    writer.u16(info->Left).u16(info->Top).u16(info->Width).u16(info->Height).u32(info->Color);
    writer.u16(info->ASCFont).u16(info->HZFont).u16(info->XPos).u16(info->YPos);
    writer.bytes({reinterpret_cast<const uint8_t *>(text), length});
    return truth(writer.ok() && call(device, Command::ShowString, writer.written()));
}

int32_t HX_SendData(uint16_t device, int32_t offset, int32_t length, const uint8_t *bytes)
{
    if (!bytes || !validBlock(offset, length)) return 0;
    return truth(withDevice(device, [&](Device &open) {
        return open.upload().send(static_cast<uint32_t>(offset), {bytes, static_cast<std::size_t>(length)});
    }));
}

int32_t HX_SaveToFile(uint16_t device, int32_t drive, const char *path, int32_t size, int32_t time, int32_t date)
{
    uint8_t drivePath[1 + hx::kMaxPath];
    hx::PayloadWriter writer(drivePath);
    if (size < 0 || !pathPayload(writer, drive, path)) return 0;
    const auto written = writer.written();
    return truth(withDevice(device, [&](Device &open) {
        return open.upload().save(written[0], written.subspan(1), static_cast<uint32_t>(size),
                                  static_cast<uint16_t>(time), static_cast<uint16_t>(date));
    }));
}

uint32_t HX_LoadFromFile(uint16_t device, int32_t drive, const char *path)
{
    constexpr uint32_t failure = 0xFFFFFFFFu;
    uint8_t payload[1 + hx::kMaxPath];
    hx::PayloadWriter writer(payload);
    if (!pathPayload(writer, drive, path)) return failure;
    uint32_t size = failure;
    withDevice(device, [&](Device &open) {
        const auto loaded = open.download().load(writer.written());
        if (loaded) size = *loaded;
        return loaded.has_value();
    });
    return size;
}

int32_t HX_ReceiveData(uint16_t device, int32_t offset, int32_t length, uint8_t *buffer)
{
    if (!buffer || !validBlock(offset, length)) return 0;
    return truth(withDevice(device, [&](Device &open) {
        return open.download().receive(static_cast<uint32_t>(offset), static_cast<uint16_t>(length), buffer);
    }));
}

int32_t HX_MD(uint16_t device, int32_t drive, const char *folder)
{
    uint8_t payload[1 + hx::kMaxPath];
    hx::PayloadWriter writer(payload);
    return truth(pathPayload(writer, drive, folder) && call(device, Command::MakeFolder, writer.written()));
}

int32_t HX_RemoveFile(uint16_t device, int32_t drive, const char *path)
{
    uint8_t payload[1 + hx::kMaxPath];
    hx::PayloadWriter writer(payload);
    return truth(pathPayload(writer, drive, path) && call(device, Command::RemoveFile, writer.written()));
}

int32_t HX_GetNetConfig(uint16_t device, uint8_t *buffer)
{
    return truth(fetchBlock(device, Command::GetNetConfig, buffer, HX_NETCONFIG_SIZE));
}

int32_t HX_GetLEDConfig(uint16_t device, void *config)
{
    return truth(fetchBlock(device, Command::GetLedConfig, config, HX_LEDCONFIG_SIZE));
}

int32_t HX_GetPlayInfo(uint16_t device, uint8_t *buffer)
{
    return truth(fetchBlock(device, Command::GetPlayInfo, buffer, HX_PLAYINFO_SIZE));
}

int32_t HX_GetFileDateTime(const char *localPath, uint16_t *date, uint16_t *time)
{
    if (!localPath || !date || !time) return 0;
    std::tm local{};
#ifdef _WIN32
    // The path is UTF-8, as everywhere in the program; the wide call takes any name.
    const std::string utf8(localPath);
    struct _stat64 info {};
    if (::_wstat64(std::filesystem::path(std::u8string(utf8.begin(), utf8.end())).c_str(), &info) != 0 ||
        !(info.st_mode & _S_IFREG) || ::localtime_s(&local, &info.st_mtime) != 0)
        return 0;
#else
    struct stat info {};
    if (::stat(localPath, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    if (!::localtime_r(&info.st_mtime, &local)) return 0;
#endif
    const int year = local.tm_year + 1900;
    // Seven bits of year from 1980 is all the DOS date has. A file dated outside
    // (a reset clock, an archive without dates) takes the nearest DOS date, so
    // it can still be sent.
    if (year < 1980) {
        *date = 0 << 9 | 1 << 5 | 1;  // 1980-01-01 00:00:00
        *time = 0;
    } else if (year > 2107) {
        *date = static_cast<uint16_t>(127 << 9 | 12 << 5 | 31);  // 2107-12-31 23:59:58
        *time = static_cast<uint16_t>(23 << 11 | 59 << 5 | 29);
    } else {
        *date = static_cast<uint16_t>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
        *time = static_cast<uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
    }
    return -1;
}

uint16_t HX_NewCRC(uint16_t value, uint8_t byte)
{
    return hx::crc16Step(value, byte);
}

} // extern "C"
