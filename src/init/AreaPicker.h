// The area picker's rules: reading the areas of a play list's first program,
// scaling the screen into the picture and placing one panel per area.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One area of a play list, in LED pixels.
struct PosiType {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
};

constexpr int MaxPickerAreas = 4;

// The n-th comma-separated field (n from 1) with every blank removed. The last
// character of the text is never taken, so callers append one comma.
std::string SubStrOf(std::string_view text, int n);
// Decimal digits to a number; no character is rejected. Computed with
// wrap-around in 32 bits, so garbage gives a meaningless number, never UB.
int32_t StrToDec(std::string_view text);
int32_t DecValOf(std::string_view text, int n);

// Screen pixels to picture pixels, so the whole screen fits 256 x 192; none
// when the screen has no height.
std::optional<double> pictureRate(int32_t ledWidth, int32_t ledHeight);
// value x rate + 0.5 truncated towards zero, clamped to the 32-bit range.
int32_t RateV(int32_t value, double rate);

// The areas of Program1 of a play list. More than four: the first four; a
// missing file, a negative or non-numeric "Screen": none.
struct PlayListAreas {
    int32_t count = 0;
    std::array<PosiType, MaxPickerAreas> areas{};
};
PlayListAreas parsePlayListAreas(int32_t screenCount, const std::array<std::string, MaxPickerAreas> &positions);
PlayListAreas readPlayListAreas(const std::string &playListPath);

struct PanelRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const PanelRect &) const = default;
};

// What the picker shows: the areas with left edges made relative to the
// leftmost one (the minimum starting from 4096), and a panel for each inside a
// background of backWidth x backHeight, the screen picture centred in it.
struct AreaLayout {
    double rate = 0;
    int32_t count = 0;
    std::array<PosiType, MaxPickerAreas> areas{};
    std::array<PanelRect, MaxPickerAreas> panels{};
};
// None when there is nothing to pick from (no areas or no screen height).
std::optional<AreaLayout> layoutAreas(const PlayListAreas &read, int32_t ledWidth, int32_t ledHeight,
                                      int32_t backWidth, int32_t backHeight);

// A picked area as the initialisation page takes it: Left limited to 0..4032,
// the others unchanged, and the record's AreaIndex counting from 1.
struct PickedArea {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    uint16_t AreaIndex = 0;
};
PickedArea applyPickedArea(const PosiType &area, int32_t areaIndex);
