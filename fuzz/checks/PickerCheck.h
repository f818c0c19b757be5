// The area picker reading a play list downloaded from a controller, and
// placing its areas for a screen size the controller reported.
#pragma once

#include "Check.h"
#include "init/AreaPicker.h"

#include <fstream>

namespace fuzzcheck {

inline void checkPickerAreas(Bytes input)
{
    InputReader in(input);
    // Sizes as 16-bit signed values: the controller reports 16 bits, and
    // negative ones stand for whatever a broken reply may hold.
    const auto size16 = [&] { return static_cast<int32_t>(static_cast<int16_t>(in.u16())); };
    const int32_t ledWidth = size16();
    const int32_t ledHeight = size16();
    const int32_t backWidth = size16();
    const int32_t backHeight = size16();
    const int field = static_cast<int8_t>(in.u8());
    const Bytes playList = in.rest();

    const std::string text(asText(playList));
    const std::string sub = SubStrOf(text, field);
    FUZZ_CHECK(sub.find(' ') == std::string::npos && sub.find(',') == std::string::npos);
    FUZZ_CHECK(text.empty() ? sub.empty() : sub.size() < text.size());  // the last character is never taken
    (void)DecValOf(text, field);

    const auto path = ScratchFolder::path() / "Playlist.qv";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(text.data(), static_cast<std::streamsize>(text.size()));
    const PlayListAreas read = readPlayListAreas(path.string());
    FUZZ_CHECK(read.count >= 0 && read.count <= MaxPickerAreas);

    const auto layout = layoutAreas(read, ledWidth, ledHeight, backWidth, backHeight);
    if (read.count == 0 || ledHeight <= 0) {
        FUZZ_CHECK(!layout.has_value());
        return;
    }
    FUZZ_CHECK(layout.has_value() && layout->count == read.count && layout->rate > 0);
    for (int32_t i = 0; i < layout->count; ++i) {
        const PosiType &area = layout->areas[i];
        // Left edges count from the leftmost area, which is never right of 4096.
        FUZZ_CHECK(area.Left >= 0);
        FUZZ_CHECK(area.Top == read.areas[i].Top && area.Width == read.areas[i].Width &&
                   area.Height == read.areas[i].Height);
        const PickedArea picked = applyPickedArea(area, i);
        FUZZ_CHECK(picked.Left >= 0 && picked.Left <= 4032 && picked.AreaIndex == i + 1);
    }
}

}  // namespace fuzzcheck
