#include "transfer/FilePage.h"

#include "text/MyString.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::string_view Seconds = "秒";
constexpr std::string_view Minutes = "分";
constexpr std::string_view Hours = "小时";
constexpr const char *HourItem = "1 小时";

std::string formatted(int number, std::string_view unit)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%2d ", number);
    return digits + std::string(unit);
}

bool isHexalink(const MySetupType &record)
{
    return record.nLEDSystem != 0;
}

}  // namespace

const std::array<std::string, 25> &periodItems()
{
    static const std::array<std::string, 25> items = [] {
        std::array<std::string, 25> list;
        std::size_t i = 0;
        for (int seconds = 10; seconds <= 50; seconds += 10) list[i++] = formatted(seconds, Seconds);
        for (int minutes = 1; minutes <= 10; ++minutes) list[i++] = formatted(minutes, Minutes);
        for (int minutes = 15; minutes <= 55; minutes += 5) list[i++] = formatted(minutes, Minutes);
        list[i] = HourItem;
        return list;
    }();
    return items;
}

uint16_t periodOfItem(std::string_view item)
{
    if (item.empty()) return 10;
    std::size_t i = 0;
    while (i < item.size() && item[i] == ' ') ++i;
    unsigned number = 0;
    for (std::size_t digits = 0; i < item.size() && digits < 2 && item[i] >= '0' && item[i] <= '9'; ++i, ++digits)
        number = number * 10 + static_cast<unsigned>(item[i] - '0');
    if (item.find(Minutes) != std::string_view::npos) number *= 60;
    else if (item.find(Hours) != std::string_view::npos) number *= 3600;
    return static_cast<uint16_t>(number);
}

std::optional<std::string> periodItemFor(uint16_t peroid)
{
    std::string wanted;
    if (peroid / 3600 == 1) wanted = HourItem;
    else if (peroid % 60 == 0) wanted = formatted(peroid / 60, Minutes);
    else wanted = formatted(peroid, Seconds);
    const auto &items = periodItems();
    if (std::find(items.begin(), items.end(), wanted) == items.end()) return std::nullopt;
    return wanted;
}

std::vector<std::string> driveItems(uint16_t nLEDSystem)
{
    if (nLEDSystem != 0) return {"B:", "C:"};
    return {"A:", "B:", "C:"};
}

uint8_t driveIndexOf(const MySetupType &record)
{
    const auto last = static_cast<uint8_t>(driveItems(record.nLEDSystem).size() - 1);
    return std::min(record.Drv, last);
}

ControllerDisks controllerDisks(const MySetupType &record)
{
    const int32_t first = isHexalink(record) ? 1 : 0;
    const int32_t disk = first + driveIndexOf(record);
    return {disk, static_cast<char>('A' + disk), first};
}

std::optional<std::string> recordFileName(const std::string &utf8Path, int32_t language)
{
    std::string ansi = utf8ToAnsi(utf8Path, language);
    if (ansi.size() > FileNameCapacity || ansiToUtf8(ansi, language) != utf8Path) return std::nullopt;
    return ansi;
}
