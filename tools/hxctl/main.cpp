// hxctl: talks to one controller through libHexalinkVRX7300, for scripts and
// diagnostics. Exit 0 on success; otherwise one line on stderr naming what
// failed.
#include "HexalinkVRX7300.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

namespace {

const char kUsage[] =
    "usage: hxctl (--ip A.B.C.D --port P | --com N --baud B --screen S) [--type 0|1] [--timeout S] [--retries N] COMMAND\n"
    "  info | playinfo | put DRIVE LOCAL REMOTE | get DRIVE REMOTE LOCAL | mkdir DRIVE FOLDER\n"
    "  rm DRIVE REMOTE | reset VALUE | show [--area L,T,W,H] TEXT\n"
    "  DRIVE: 0-2 or A/B/C; --type 0 VRX7300 (default), 1 Hexalink\n"
    "  --timeout S (1-60, default 2) and --retries N (0-100, default 2) make a time budget: a request\n"
    "  the controller does not answer is given up after (1 + N) x S seconds, 6 s by default; within\n"
    "  it, copies go out as often as the round trip the library measured calls for.\n";

enum Exit { Ok = 0, Failed = 1, Usage = 2 };

struct Failure {
    int code;
    std::string message;
};

[[noreturn]] void usage(const std::string &message)
{
    throw Failure{Usage, message + "\n" + kUsage};
}

[[noreturn]] void failed(const std::string &message)
{
    throw Failure{Failed, message};
}

long long number(const std::string &text, long long low, long long high, const char *what)
{
    char *end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end || errno || value < low || value > high)
        usage(std::string("bad ") + what + ": \"" + text + "\"");
    return value;
}

int driveNumber(const std::string &text)
{
    if (text.size() == 1) {
        const char c = text[0];
        if (c >= '0' && c <= '2') return c - '0';
        if (c >= 'A' && c <= 'C') return c - 'A';
        if (c >= 'a' && c <= 'c') return c - 'a';
    }
    usage("bad drive \"" + text + "\" (0-2 or A/B/C)");
}

// "A.B.C.D", each a decimal number 0 ... 255 of one to three digits, and
// nothing else: no blanks, no signs, no fifth part, no trailing text.
std::optional<std::array<unsigned, 4>> dottedQuad(const std::string &text)
{
    std::array<unsigned, 4> parts{};
    std::size_t at = 0;
    for (std::size_t part = 0; part < parts.size(); ++part) {
        if (part > 0 && (at >= text.size() || text[at++] != '.')) return std::nullopt;
        std::size_t digits = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3; ++at, ++digits)
            parts[part] = parts[part] * 10 + static_cast<unsigned>(text[at] - '0');
        if (digits == 0 || parts[part] > 255) return std::nullopt;
    }
    if (at != text.size()) return std::nullopt;
    return parts;
}

struct Link {
    std::string ip;
    int port = 0;
    int com = 0;
    int baud = 0;
    int screen = -1;
    int type = 0;
    int timeout = 2;
    int retries = 2;
};

// The connection, closed on every way out.
class Device {
public:
    explicit Device(const Link &link)
    {
        if (!link.ip.empty()) {
            // The program's rule: the device number is the low 16 bits of the
            // address, first number lowest.
            const auto parts = dottedQuad(link.ip);
            if (!parts) usage("bad IP address \"" + link.ip + "\"");
            char padded[16];
            std::snprintf(padded, sizeof(padded), "%3u.%3u.%3u.%3u", (*parts)[0], (*parts)[1], (*parts)[2], (*parts)[3]);
            mId = static_cast<uint16_t>((*parts)[0] + 256 * (*parts)[1]);
            if (HX_NetInitial(mId, "", padded, link.timeout, link.retries, static_cast<uint16_t>(link.port),
                              link.type == 0 ? -1 : 0) != 0)
                failed("cannot open UDP to " + link.ip + ":" + std::to_string(link.port) +
                       ": no answer from the controller");
        } else {
            mId = static_cast<uint16_t>(link.screen);
            if (HX_ComInitial(mId, link.com, link.baud, link.screen, link.timeout, link.retries,
                              link.type == 0 ? -1 : 0) != 0)
                failed("cannot open COM" + std::to_string(link.com) + " at " + std::to_string(link.baud) +
                       " bit/s: no answer from screen " + std::to_string(link.screen) + " or no such port");
        }
    }
    ~Device() { HX_Close(mId); }
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;
    uint16_t id() const { return mId; }

private:
    uint16_t mId = 0;
};

void require(bool ok, const std::string &what)
{
    if (!ok) failed(what + ": no answer or refused by the controller");
}

void info(const Device &device)
{
    uint8_t net[HX_NETCONFIG_SIZE] = {};
    uint8_t led[HX_LEDCONFIG_SIZE] = {};
    require(HX_GetNetConfig(device.id(), net), "GetNetConfig");
    require(HX_GetLEDConfig(device.id(), led), "GetLEDConfig");
    const std::string name(reinterpret_cast<const char *>(net), strnlen(reinterpret_cast<const char *>(net), 16));
    std::printf("name %s\nsize %ux%u\n", name.c_str(), led[92] | led[93] << 8, led[94] | led[95] << 8);
}

void playInfo(const Device &device)
{
    uint8_t play[HX_PLAYINFO_SIZE] = {};
    require(HX_GetPlayInfo(device.id(), play), "GetPlayInfo");
    std::printf("drive %c\nindex %u\n", play[0] <= 2 ? 'A' + play[0] : '?', play[1]);
}

struct File {
    explicit File(std::FILE *f) : handle(f) {}
    File(File &&other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    ~File()
    {
        if (handle) std::fclose(handle);
    }
    std::FILE *handle;
};

void put(const Device &device, int drive, const std::string &local, const std::string &remote)
{
    File file(std::fopen(local.c_str(), "rb"));
    if (!file.handle) failed("file error: cannot open " + local + ": " + std::strerror(errno));
    uint8_t block[HX_MAX_BLOCK];
    int32_t sent = 0;
    for (;;) {
        const std::size_t got = std::fread(block, 1, sizeof(block), file.handle);
        if (got == 0) break;
        if (sent > INT32_MAX - static_cast<int32_t>(got)) failed("file error: " + local + " is too large");
        require(HX_SendData(device.id(), sent, static_cast<int32_t>(got), block),
                "SendData at offset " + std::to_string(sent));
        sent += static_cast<int32_t>(got);
    }
    if (std::ferror(file.handle)) failed("file error: cannot read " + local);
    uint16_t date = 0, time = 0;
    if (!HX_GetFileDateTime(local.c_str(), &date, &time)) failed("file error: no date for " + local);
    require(HX_SaveToFile(device.id(), drive, remote.c_str(), sent, time, date), "SaveToFile " + remote);
    std::printf("sent %d bytes\n", sent);
}

// A new file beside target that only this run uses; its name goes to temp.
File createTemporaryBeside(const std::string &target, std::string &temp)
{
    const auto slash = target.find_last_of('/');
    temp = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + ".hxctl-download-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return File(nullptr);
    File file(::fdopen(fd, "wb"));
    if (!file.handle) {
        ::close(fd);
        ::unlink(temp.c_str());
    }
    return file;
}

// Puts the finished download on the disk. It keeps the rights of the file it
// replaces, or gets those of a new file of this user (mkstemp makes it 0600);
// Windows files carry no such rights.
bool finishDownload(std::FILE *file, const std::string &target)
{
    if (std::fflush(file) != 0) return false;
#ifdef _WIN32
    (void)target;
    return ::_commit(::_fileno(file)) == 0;
#else
    struct stat existing {};
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = ::stat(target.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0666 & ~mask;
    return ::fchmod(::fileno(file), mode) == 0 && ::fsync(::fileno(file)) == 0;
#endif
}

// Renames temp over target in one step; the reason when it fails. (Windows'
// rename refuses an existing target.)
std::optional<std::string> replaceWith(const std::string &temp, const std::string &target)
{
#ifdef _WIN32
    if (::MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
    return std::error_code(static_cast<int>(::GetLastError()), std::system_category()).message();
#else
    if (std::rename(temp.c_str(), target.c_str()) == 0) return {};
    return std::strerror(errno);
#endif
}

// The download goes to a temporary file beside the target, which replaces
// the target only once every byte arrived: a failure leaves the old file as
// it was and no partial file behind.
void get(const Device &device, int drive, const std::string &remote, const std::string &local)
{
    const uint32_t size = HX_LoadFromFile(device.id(), drive, remote.c_str());
    if (size == 0xFFFFFFFFu) failed("LoadFromFile " + remote + ": no answer or refused by the controller");
    std::string temp;
    File file = createTemporaryBeside(local, temp);
    if (!file.handle) failed("file error: cannot create a file beside " + local + ": " + std::strerror(errno));
    // Closed before the removal: Windows removes no open file.
    struct RemoveUnlessKept {
        File &file;
        const std::string &path;
        bool kept = false;
        ~RemoveUnlessKept()
        {
            if (kept) return;
            if (file.handle) std::fclose(std::exchange(file.handle, nullptr));
            ::unlink(path.c_str());
        }
    } cleanup{file, temp};
    uint8_t block[HX_MAX_BLOCK];
    for (uint32_t offset = 0; offset < size;) {
        const uint32_t length = std::min<uint32_t>(size - offset, HX_MAX_BLOCK);
        require(HX_ReceiveData(device.id(), static_cast<int32_t>(offset), static_cast<int32_t>(length), block),
                "ReceiveData at offset " + std::to_string(offset));
        if (std::fwrite(block, 1, length, file.handle) != length) failed("file error: cannot write " + local);
        offset += length;
    }
    if (!finishDownload(file.handle, local) || std::fclose(std::exchange(file.handle, nullptr)) != 0)
        failed("file error: cannot write " + local);
    if (const auto reason = replaceWith(temp, local)) failed("file error: cannot replace " + local + ": " + *reason);
    cleanup.kept = true;
    std::printf("received %u bytes\n", size);
}

void show(const Device &device, const std::vector<std::string> &args)
{
    std::size_t next = 1;
    int area[4] = {0, 0, -1, -1};
    if (args.size() > next && args[next] == "--area") {
        if (args.size() <= next + 1 ||
            std::sscanf(args[next + 1].c_str(), "%d,%d,%d,%d", &area[0], &area[1], &area[2], &area[3]) != 4)
            usage("bad --area (L,T,W,H)");
        for (int value : area)
            if (value < 0 || value > 65535) usage("bad --area (L,T,W,H)");
        next += 2;
    }
    if (args.size() != next + 1) usage("show needs one TEXT");
    if (area[2] < 0) {
        // Without an area the text takes the whole panel.
        uint8_t led[HX_LEDCONFIG_SIZE] = {};
        require(HX_GetLEDConfig(device.id(), led), "GetLEDConfig");
        area[2] = led[92] | led[93] << 8;
        area[3] = led[94] | led[95] << 8;
    }
    TextOutInfo textInfo{};
    textInfo.Left = static_cast<uint16_t>(4096 - area[2] + area[0]);
    textInfo.Top = static_cast<uint16_t>(area[1]);
    textInfo.Width = static_cast<uint16_t>(area[2]);
    textInfo.Height = static_cast<uint16_t>(area[3]);
    textInfo.Color = 65535;
    textInfo.ASCFont = 1;
    textInfo.HZFont = 2;
    require(HX_ShowString(device.id(), &textInfo, args[next].c_str()), "ShowString");
}

int run(int argc, char **argv)
{
    Link link;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
        const std::string option = argv[i];
        if (option == "--help") {
            std::fputs(kUsage, stdout);
            return Ok;
        }
        if (i + 1 >= argc) usage("missing value after " + option);
        const std::string value = argv[i + 1];
        if (option == "--ip") link.ip = value;
        else if (option == "--port") link.port = static_cast<int>(number(value, 1, 65535, "port"));
        else if (option == "--com") link.com = static_cast<int>(number(value, 1, 256, "COM number"));
        else if (option == "--baud") link.baud = static_cast<int>(number(value, 1, 4000000, "bit rate"));
        else if (option == "--screen") link.screen = static_cast<int>(number(value, 0, 65535, "screen number"));
        else if (option == "--type") link.type = static_cast<int>(number(value, 0, 1, "type"));
        else if (option == "--timeout") link.timeout = static_cast<int>(number(value, 1, 60, "time-out"));
        else if (option == "--retries") link.retries = static_cast<int>(number(value, 0, 100, "retry count"));
        else usage("unknown option " + option);
    }
    const bool udp = !link.ip.empty() && link.port > 0;
    const bool serial = link.com > 0 && link.baud > 0 && link.screen >= 0;
    if (udp == serial) usage("give either --ip and --port or --com, --baud and --screen");
    const std::vector<std::string> args(argv + i, argv + argc);
    if (args.empty()) usage("no command");
    const std::string &command = args[0];
    const auto expect = [&](std::size_t count) {
        if (args.size() != count + 1) usage(command + " takes " + std::to_string(count) + " argument(s)");
    };
    // Check the whole command line before the first byte goes out.
    if (command == "info" || command == "playinfo") expect(0);
    else if (command == "put" || command == "get") expect(3);
    else if (command == "mkdir" || command == "rm") expect(2);
    else if (command == "reset") expect(1);
    else if (command != "show") usage("unknown command " + command);
    const int drive = (args.size() > 1 && command != "reset" && command != "show") ? driveNumber(args[1]) : 0;
    const long long resetValue = command == "reset" ? number(args[1], INT32_MIN, UINT32_MAX, "reset value") : 0;

    Device device(link);
    if (command == "info") info(device);
    else if (command == "playinfo") playInfo(device);
    else if (command == "put") put(device, drive, args[2], args[3]);
    else if (command == "get") get(device, drive, args[2], args[3]);
    else if (command == "mkdir") require(HX_MD(device.id(), drive, args[2].c_str()), "MD " + args[2]);
    else if (command == "rm") require(HX_RemoveFile(device.id(), drive, args[2].c_str()), "RemoveFile " + args[2]);
    else if (command == "reset") require(HX_Reset(device.id(), static_cast<int32_t>(resetValue)), "Reset");
    else show(device, args);
    return Ok;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (const Failure &failure) {
        std::fprintf(stderr, "hxctl: %s\n", failure.message.c_str());
        return failure.code;
    }
}
