#include "Panel.h"

#include "DiskPath.h"
#include "HxProtocol.h"
#include "transfer/Profile.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace fs = std::filesystem;

namespace hxsim {

namespace {

// The controller's format limits: a record fits its 4096-byte buffer and a
// cell is at most 256 pixels wide.
constexpr int kMaxRecordBytes = 4096;
constexpr int kMaxCellWidth = 256;
// More areas than a panel can sensibly hold means a damaged play list.
constexpr int kMaxAreas = 64;
// Only the first screenful is drawn, so the start of a text file is enough.
constexpr std::size_t kMaxTextBytes = 64 * 1024;

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> splitAtCommas(std::string_view text)
{
    std::vector<std::string_view> fields;
    for (;;) {
        const auto comma = text.find(',');
        fields.push_back(trimmed(text.substr(0, comma)));
        if (comma == std::string_view::npos) return fields;
        text.remove_prefix(comma + 1);
    }
}

// A decimal number, with an optional minus sign, and nothing else.
std::optional<int> decimal(std::string_view text, int low, int high)
{
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (negative) value = -value;
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<uint8_t> hexByte(std::string_view text)
{
    if (text.empty() || text.size() > 2) return std::nullopt;
    int value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return std::nullopt;
        value = value * 16 + digit;
    }
    return static_cast<uint8_t>(value);
}

std::string driveName(int drive) { return std::string(1, static_cast<char>('A' + drive)) + ":"; }

// A file of the controller's disk, at most maxBytes of it; nothing when the
// path is refused or no such file exists.
std::optional<std::vector<uint8_t>> readDiskFile(const Controller &controller, int drive, std::string_view path,
                                                 std::size_t maxBytes)
{
    std::vector<uint8_t> bytes;
    const auto status = controller.readDiskFile(drive, {reinterpret_cast<const uint8_t *>(path.data()), path.size()},
                                                maxBytes, false, bytes);
    if (status != hx::Status::Ok) return std::nullopt;
    return bytes;
}

struct Fonts {
    std::optional<FontLibrary> ascii;
    std::optional<FontLibrary> chinese;
};

std::optional<FontLibrary> loadLibrary(const Controller &controller, const std::string &descriptorText,
                                       char type, bool rotated, std::string &problem)
{
    const int drive = controller.firstDrive();
    const auto descriptor = parseFontDescriptor(descriptorText);
    if (!descriptor || descriptor->type != type) {
        problem = "Config.qv on " + driveName(drive) + " names no " + (type == 'A' ? "ASCII" : "Chinese") +
                  " library (\"" + descriptorText + "\")";
        return std::nullopt;
    }
    const std::size_t expected = static_cast<std::size_t>(descriptor->count) *
                                 static_cast<std::size_t>(descriptor->width) *
                                 static_cast<std::size_t>((descriptor->height + 7) / 8);
    auto bytes = readDiskFile(controller, drive, descriptor->path, expected + 1);
    if (!bytes) {
        problem = "font library " + descriptor->path + " is not on " + driveName(drive);
        return std::nullopt;
    }
    std::string error;
    auto library = FontLibrary::fromBytes(*descriptor, std::move(*bytes), type == 'C' && rotated, &error);
    if (!library) problem = error;
    return library;
}

Fonts loadFonts(const Controller &controller, bool rotatedChinese, std::string &problem)
{
    const int drive = controller.firstDrive();
    const auto config = readDiskFile(controller, drive, "Config.qv", kMaxTextBytes);
    if (!config) {
        problem = "no Config.qv on " + driveName(drive) + ": the panel cannot draw text before initialisation";
        return {};
    }
    const auto ini = IniDocument::parse({reinterpret_cast<const char *>(config->data()), config->size()});
    Fonts fonts;
    fonts.ascii = loadLibrary(controller, ini.value("Font", "Font1").value_or(""), 'A', false, problem);
    if (fonts.ascii)
        fonts.chinese = loadLibrary(controller, ini.value("Font", "Font2").value_or(""), 'C', rotatedChinese, problem);
    return fonts;
}

// The play list being played: the folder of the current number on the play
// drive, or for number 0 also the list at the top of that drive.
std::optional<IniDocument> currentPlayList(const Controller &controller)
{
    char folder[16];
    std::snprintf(folder, sizeof folder, "P%02d\\PlayList.qv", controller.playIndex());
    auto bytes = readDiskFile(controller, controller.playDrive(), folder, kMaxTextBytes);
    if (!bytes && controller.playIndex() == 0)
        bytes = readDiskFile(controller, controller.playDrive(), "PlayList.qv", kMaxTextBytes);
    if (!bytes) return std::nullopt;
    return IniDocument::parse({reinterpret_cast<const char *>(bytes->data()), bytes->size()});
}

// The text file an item names ("X,C:\NEWS.TXT,1,4,5"), or nothing when the
// item has no drive letter or the file is not there.
std::optional<std::string> itemText(const Controller &controller, std::string_view item)
{
    const auto fields = splitAtCommas(item);
    if (fields.size() < 2) return std::nullopt;
    const std::string_view reference = fields[1];
    if (reference.size() < 4 || reference[1] != ':' || reference[2] != '\\') return std::nullopt;
    const char letter = static_cast<char>(reference[0] & ~0x20);
    const int drive = letter - 'A';
    if (drive < 0 || drive >= Controller::kDriveCount) return std::nullopt;
    const auto bytes = readDiskFile(controller, drive, reference.substr(3), kMaxTextBytes);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

struct AreaText {
    PanelArea area;
    std::string text;
};

std::vector<AreaText> playListAreas(const Controller &controller)
{
    std::vector<AreaText> areas;
    const auto playList = currentPlayList(controller);
    if (!playList) return areas;
    const int count = std::clamp(profileInteger(playList->value("Program1", "Screen").value_or("0")), 0, kMaxAreas);
    for (int n = 1; n <= count; ++n) {
        const std::string section = "Program1_Screen" + std::to_string(n);
        const auto area = areaOfPosition(playList->value(section, "Position").value_or(""));
        if (!area) continue;
        areas.push_back({*area, itemText(controller, playList->value(section, "Item1").value_or("")).value_or("")});
    }
    return areas;
}

} // namespace

std::optional<FontDescriptor> parseFontDescriptor(std::string_view text)
{
    const auto fields = splitAtCommas(text);
    if (fields.size() != 5 && fields.size() != 7) return std::nullopt;
    FontDescriptor descriptor;
    descriptor.path = std::string(fields[0]);
    const auto count = decimal(fields[1], 1, 65536);
    const auto width = decimal(fields[3], 1, kMaxCellWidth);
    const auto height = decimal(fields[4], 1, kMaxRecordBytes * 8);
    if (descriptor.path.empty() || !count || !width || !height || fields[2].size() != 1) return std::nullopt;
    descriptor.count = *count;
    descriptor.type = fields[2][0];
    descriptor.width = *width;
    descriptor.height = *height;
    if (descriptor.width * ((descriptor.height + 7) / 8) > kMaxRecordBytes) return std::nullopt;
    if (descriptor.type == 'A') return fields.size() == 5 && descriptor.count == 128 ? std::optional(descriptor)
                                                                                     : std::nullopt;
    if (descriptor.type != 'C' || fields.size() != 7) return std::nullopt;
    // The second byte's start comes first: Big5 ends in ",40,80".
    const auto start2 = hexByte(fields[5]);
    const auto start1 = hexByte(fields[6]);
    if (!start1 || !start2 || *start1 < 0x80) return std::nullopt;
    descriptor.start1 = *start1;
    descriptor.start2 = *start2;
    if (descriptor.count != (0x100 - descriptor.start1) * (0x100 - descriptor.start2)) return std::nullopt;
    return descriptor;
}

std::optional<PanelArea> areaOfPosition(std::string_view position)
{
    const auto fields = splitAtCommas(position);
    if (fields.size() != 4) return std::nullopt;
    std::optional<int> numbers[4];
    for (std::size_t i = 0; i < 4; ++i) numbers[i] = decimal(fields[i], -65535, 65535);
    if (!numbers[0] || !numbers[1] || !numbers[2] || !numbers[3] || *numbers[2] < 0 || *numbers[3] < 0)
        return std::nullopt;
    return PanelArea{*numbers[0] - 4096 + *numbers[2], *numbers[1], *numbers[2], *numbers[3]};
}

PanelArea areaOfTextOutInfo(std::span<const uint8_t> info)
{
    if (info.size() < 8) return {};
    const uint16_t left = hx::getU16(info.data());
    const uint16_t width = hx::getU16(info.data() + 4);
    return PanelArea{static_cast<uint16_t>(left - 4096 + width), hx::getU16(info.data() + 2), width,
                     hx::getU16(info.data() + 6)};
}

std::string_view shownTextBody(std::string_view text)
{
    constexpr std::size_t kPrefix = 2 + 16;
    if (text.size() < kPrefix || text[0] != '`' || text[1] != 'R') return text;
    for (std::size_t i = 2; i < kPrefix; ++i)
        if (text[i] < '0' || text[i] > '9') return text;
    return text.substr(kPrefix);
}

PanelFrame renderPanel(const Controller &controller, bool rotatedChinese)
{
    PanelFrame frame{LedPanel(controller.options().width, controller.options().height), std::nullopt};
    if (!controller.outputOn() || controller.booting()) return frame;
    frame.problem.emplace();
    const auto areas = playListAreas(controller);
    const auto &shown = controller.lastShown();
    if (areas.empty() && !shown) return frame;

    const Fonts fonts = loadFonts(controller, rotatedChinese, *frame.problem);
    if (!fonts.ascii || !fonts.chinese) return frame;
    for (const auto &area : areas) drawText(frame.leds, area.area, area.text, *fonts.ascii, *fonts.chinese);
    if (shown) drawText(frame.leds, areaOfTextOutInfo(shown->info), shownTextBody(shown->text), *fonts.ascii,
                        *fonts.chinese);
    return frame;
}

std::optional<std::string> PanelProblemNote::toTell(const std::optional<std::string> &problem)
{
    // A dark panel was not looked at, so it neither repeats nor ends a problem.
    if (!problem || *problem == mTold) return std::nullopt;
    mTold = *problem;
    if (mTold.empty()) return std::nullopt;
    return mTold;
}

} // namespace hxsim
