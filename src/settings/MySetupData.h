// The display settings store: 64 fixed records and their file "Marqora.dat".
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

static_assert(std::endian::native == std::endian::little,
              "records are stored byte for byte and are little-endian");

constexpr int _MaxItem = 64;
constexpr uint16_t _Version = 100;
constexpr int FontNameCapacity = 64;
constexpr int FileNameCapacity = 250;

#pragma pack(push, 1)
// One display. The layout is the settings file's record layout, byte for byte.
struct MySetupType {
    uint8_t bUsed;
    uint16_t nLEDSystem;   // 0 VRX7300, 1 Hexalink
    uint16_t nMode;        // 0 network, 1 serial
    uint32_t Addr;         // IPv4 (first number in the lowest byte) or screen number
    uint16_t Port;         // UDP port or COM number
    uint32_t BaudRate;
    uint16_t Timeout;
    uint16_t RetryTimes;
    uint8_t bFromPlayList;
    uint16_t AreaIndex;
    uint16_t Left;
    uint16_t Top;
    uint16_t Width;
    uint16_t Height;
    uint8_t bRotate90;
    uint8_t FontName[1 + FontNameCapacity];  // length byte, then ANSI bytes
    uint16_t FontSize;
    uint8_t bFromFile;
    uint8_t FileName[1 + FileNameCapacity];  // length byte, then ANSI bytes
    uint16_t Peroid;
    uint16_t Enter;
    uint16_t Speed;
    uint16_t Stay;
    uint8_t TmrEnable;
    uint8_t TmrStart;
    uint16_t TmrCount;
    uint16_t LEDWidth;
    uint16_t LEDHeight;
    uint16_t ASCPerLine;
    uint8_t bInClick;
    uint8_t Drv;
    uint32_t ChangeTime;
    uint8_t bTimeSend;
    uint32_t NC[7];
};

// The controller's configuration block; only the panel size is read.
struct LEDConfigType {
    uint8_t Cfg0;
    uint8_t NC0[91];
    uint16_t LedWidth;
    uint16_t LedHeight;
    uint8_t NC1[112];
};
#pragma pack(pop)

static_assert(sizeof(MySetupType) == 403);
static_assert(offsetof(MySetupType, nLEDSystem) == 1);
static_assert(offsetof(MySetupType, nMode) == 3);
static_assert(offsetof(MySetupType, Addr) == 5);
static_assert(offsetof(MySetupType, Port) == 9);
static_assert(offsetof(MySetupType, BaudRate) == 11);
static_assert(offsetof(MySetupType, Timeout) == 15);
static_assert(offsetof(MySetupType, RetryTimes) == 17);
static_assert(offsetof(MySetupType, bFromPlayList) == 19);
static_assert(offsetof(MySetupType, AreaIndex) == 20);
static_assert(offsetof(MySetupType, Left) == 22);
static_assert(offsetof(MySetupType, Top) == 24);
static_assert(offsetof(MySetupType, Width) == 26);
static_assert(offsetof(MySetupType, Height) == 28);
static_assert(offsetof(MySetupType, bRotate90) == 30);
static_assert(offsetof(MySetupType, FontName) == 31);
static_assert(offsetof(MySetupType, FontSize) == 96);
static_assert(offsetof(MySetupType, bFromFile) == 98);
static_assert(offsetof(MySetupType, FileName) == 99);
static_assert(offsetof(MySetupType, Peroid) == 350);
static_assert(offsetof(MySetupType, Enter) == 352);
static_assert(offsetof(MySetupType, Speed) == 354);
static_assert(offsetof(MySetupType, Stay) == 356);
static_assert(offsetof(MySetupType, TmrEnable) == 358);
static_assert(offsetof(MySetupType, TmrStart) == 359);
static_assert(offsetof(MySetupType, TmrCount) == 360);
static_assert(offsetof(MySetupType, LEDWidth) == 362);
static_assert(offsetof(MySetupType, LEDHeight) == 364);
static_assert(offsetof(MySetupType, ASCPerLine) == 366);
static_assert(offsetof(MySetupType, bInClick) == 368);
static_assert(offsetof(MySetupType, Drv) == 369);
static_assert(offsetof(MySetupType, ChangeTime) == 370);
static_assert(offsetof(MySetupType, bTimeSend) == 374);
static_assert(offsetof(MySetupType, NC) == 375);
static_assert(sizeof(LEDConfigType) == 208);
static_assert(offsetof(LEDConfigType, LedWidth) == 92);
static_assert(offsetof(LEDConfigType, LedHeight) == 94);

using MySetupPtr = MySetupType *;

constexpr std::size_t SettingsFileSize = 2 + _MaxItem * sizeof(MySetupType);  // 25,794

// Reads and writes the length-prefixed strings of a record. The bytes are in
// the ANSI code page; a stored length above the capacity is read as the capacity.
template <std::size_t N>
std::string shortString(const uint8_t (&field)[N])
{
    std::size_t length = field[0] < N - 1 ? field[0] : N - 1;
    return std::string(reinterpret_cast<const char *>(field + 1), length);
}

// Stores bytes, cut to the capacity but never inside a double-byte character.
template <std::size_t N>
void setShortString(uint8_t (&field)[N], std::string_view bytes)
{
    std::size_t length = 0;
    while (length < bytes.size()) {
        std::size_t step = static_cast<uint8_t>(bytes[length]) >= 0x80 && length + 1 < bytes.size() ? 2 : 1;
        if (length + step > N - 1) break;
        length += step;
    }
    field[0] = static_cast<uint8_t>(length);
    for (std::size_t i = 0; i < length; ++i) field[1 + i] = static_cast<uint8_t>(bytes[i]);
}

// How a load went; the window tells the user about a damaged file once.
enum class LoadStatus { Loaded, Missing, WrongVersion, Damaged };

struct LoadResult {
    LoadStatus status = LoadStatus::Missing;
    int recordsRead = 0;      // whole records taken from the file
    std::string message;      // for Damaged: what was wrong, naming the file
};

// The folder `cmake --install` puts the executable in (/usr/bin for the package).
extern const char *const kInstalledBinDir;

// The program folder: $MARQORA_HOME; else the executable's folder when it is
// writable and (except on Windows) not installedBinDir, which is writable for
// root but belongs to the package manager; else $XDG_DATA_HOME/Marqora
// (default ~/.local/share/Marqora). Created when missing. Always ends with the
// native separator.
std::string resolveProgPath(const std::string &executableDir, const std::string &installedBinDir = kInstalledBinDir);

class FMySetup {
public:
    MySetupType mSetup[_MaxItem]{};
    std::string mProgPath;  // local folder, native separators, ends with one

    // Sets mProgPath and loads the file. A short or unreadable file keeps the
    // records read whole; the others stay zero.
    LoadResult Initial(const std::string &progPath);

    // Writes the whole table, used records first. The file is replaced
    // atomically: a failed save leaves the previous file as it was. On failure
    // returns false and, when given, fills error with a message naming the file.
    bool WriteToFile(std::string *error = nullptr);

    static uint32_t IPStrToLong(std::string_view ip);
    static std::string LongToIPStr(uint32_t addr);

    MySetupPtr Get(uint16_t Mode, std::string_view IP, uint16_t LedNum);
    // language (FMyString::Language) names the code page of the record's strings:
    // the default font name "宋体" is stored in it.
    void Add(uint16_t Mode, std::string_view IP, uint16_t LedNum, uint16_t UDP, uint16_t Port,
             uint32_t Baudrate, uint16_t Timeout, uint16_t Retry, uint16_t LEDW, uint16_t LEDH,
             uint16_t nLEDS, int32_t language = 0);
    void Replace(uint16_t Mode, std::string_view IP, uint16_t LedNum, uint16_t UDP, uint16_t Port,
                 uint32_t Baudrate, uint16_t Timeout, uint16_t Retry, uint16_t LEDW, uint16_t LEDH);
    void Del(uint16_t Mode, std::string_view IP, uint16_t LedNum);
    void Enable(bool En);

    int usedCount() const;
    bool isFull() const { return usedCount() == _MaxItem; }
    // How many saves have cleared the watch state so far; the watch drops
    // what a visit begun before the latest one came to.
    uint64_t saves() const { return mSaves; }
    std::string settingsFile() const { return mProgPath + "Marqora.dat"; }

private:
    uint64_t mSaves = 0;
};

// The display list's entry text: "[" + address + "] " or "[%3d] " of the screen number.
std::string displayEntryText(const MySetupType &record);
std::string networkEntryText(uint32_t addr);
std::string serialEntryText(uint32_t screenNumber);

// The key an entry text names: a fifth character "]" means serial.
struct DisplayKey {
    uint16_t mode = 0;
    std::string ip;       // the 15 address characters (network) or "..." (serial)
    uint16_t ledNum = 0;  // the screen number (serial) or 0
};
DisplayKey keyOfEntryText(std::string_view entry);
