#include "init/AreaPicker.h"

#include "transfer/Profile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

std::string SubStrOf(std::string_view text, int n)
{
    std::size_t at = 0;
    for (int skipped = 1; skipped < n && at < text.size(); ++at) {
        if (text[at] == ',') ++skipped;
    }
    std::string field;
    for (; at + 1 < text.size(); ++at) {
        field.push_back(text[at]);
        if (text[at] == ',') break;
    }
    std::erase(field, ' ');
    if (!field.empty() && field.back() == ',') field.pop_back();
    return field;
}

int32_t StrToDec(std::string_view text)
{
    uint32_t value = 0;
    for (char c : text) value = value * 10u + static_cast<uint32_t>(static_cast<unsigned char>(c) - '0');
    return static_cast<int32_t>(value);
}

int32_t DecValOf(std::string_view text, int n)
{
    return StrToDec(SubStrOf(text, n));
}

std::optional<double> pictureRate(int32_t ledWidth, int32_t ledHeight)
{
    if (ledHeight <= 0) return std::nullopt;
    if (static_cast<double>(ledWidth) / ledHeight <= 4.0 / 3.0) return 192.0 / ledHeight;
    return 256.0 / ledWidth;
}

namespace {

int32_t clampToInt32(double value)
{
    constexpr double lowest = std::numeric_limits<int32_t>::min();
    constexpr double highest = std::numeric_limits<int32_t>::max();
    if (std::isnan(value)) return 0;
    return static_cast<int32_t>(std::clamp(value, lowest, highest));
}

int32_t clampToInt32(int64_t value)
{
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace

int32_t RateV(int32_t value, double rate)
{
    return clampToInt32(std::trunc(value * rate + 0.5));
}

PlayListAreas parsePlayListAreas(int32_t screenCount, const std::array<std::string, MaxPickerAreas> &positions)
{
    PlayListAreas read;
    read.count = std::clamp(screenCount, 0, MaxPickerAreas);
    for (int32_t n = 0; n < read.count; ++n) {
        const std::string position = positions[n] + ",";
        read.areas[n] = {DecValOf(position, 1), DecValOf(position, 2), DecValOf(position, 3),
                         DecValOf(position, 4)};
    }
    return read;
}

PlayListAreas readPlayListAreas(const std::string &playListPath)
{
    const int32_t screenCount = GetProfileInt("Program1", "Screen", 0, playListPath);
    std::array<std::string, MaxPickerAreas> positions;
    for (int32_t n = 1; n <= std::min(screenCount, MaxPickerAreas); ++n) {
        char section[32];
        std::snprintf(section, sizeof section, "Program1_Screen%d", static_cast<int>(n));
        positions[n - 1] = GetProfileString(section, "Position", "", playListPath);
    }
    return parsePlayListAreas(screenCount, positions);
}

std::optional<AreaLayout> layoutAreas(const PlayListAreas &read, int32_t ledWidth, int32_t ledHeight,
                                      int32_t backWidth, int32_t backHeight)
{
    const auto rate = pictureRate(ledWidth, ledHeight);
    if (!rate || read.count <= 0) return std::nullopt;

    AreaLayout layout;
    layout.rate = *rate;
    layout.count = std::min(read.count, MaxPickerAreas);
    int32_t leftmost = 4096;
    for (int32_t i = 0; i < layout.count; ++i) leftmost = std::min(leftmost, read.areas[i].Left);

    const int64_t offsetX = (int64_t{backWidth} - RateV(ledWidth, *rate)) / 2;
    const int64_t offsetY = (int64_t{backHeight} - RateV(ledHeight, *rate)) / 2;
    for (int32_t i = 0; i < layout.count; ++i) {
        PosiType area = read.areas[i];
        area.Left = clampToInt32(int64_t{area.Left} - leftmost);
        layout.areas[i] = area;
        layout.panels[i] = {clampToInt32(RateV(area.Left, *rate) + offsetX),
                            clampToInt32(RateV(area.Top, *rate) + offsetY), RateV(area.Width, *rate),
                            RateV(area.Height, *rate)};
    }
    return layout;
}

PickedArea applyPickedArea(const PosiType &area, int32_t areaIndex)
{
    return {std::clamp(area.Left, 0, 4032), area.Top, area.Width, area.Height,
            static_cast<uint16_t>(areaIndex + 1)};
}
