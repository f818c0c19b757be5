// What the simulated controller's LED panel shows, worked out the way a
// controller of this kind does it: the font libraries named by "Config.qv",
// the areas of the play list it plays with the first screenful of each area's
// text file, a string shown at once over them, and nothing while the output is
// off or the controller boots. The drawing itself is panel/LedPanel's.
#pragma once

#include "Controller.h"
#include "panel/LedPanel.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hxsim {

// One line of "Config.qv"'s [Font] section: "Fon\MyASC.Fon,128,A,8,16" or
// "Fon\MyHZ.Fon,24576,C,16,16,40,80" (second and first byte start, in hex).
std::optional<FontDescriptor> parseFontDescriptor(std::string_view text);

// The play list's "Position" ("X,Y,W,H", X counted from 4096 as the writers
// put it: left = X - 4096 + W), or nothing when it is not four numbers.
std::optional<PanelArea> areaOfPosition(std::string_view position);
// The area of a 20-byte TextOutInfo, its Left encoded from 4096 the same way (16 bits).
PanelArea areaOfTextOutInfo(std::span<const uint8_t> info);
// The text of HX_ShowString without its leading "`R" and sixteen digits.
std::string_view shownTextBody(std::string_view text);

struct PanelFrame {
    LedPanel leds;
    // Why areas that should show text stay dark (no configuration, a missing or
    // broken library); empty when nothing is wrong, nothing when the panel is
    // dark anyway (output off, booting) and so was not looked at.
    std::optional<std::string> problem;
};

// Works the panel out from the controller's state and disk.
PanelFrame renderPanel(const Controller &controller, bool rotatedChinese);

// Tells each new reason for dark areas once, however many frames follow.
class PanelProblemNote {
public:
    // The problem of this frame when it is one not told yet, else nothing.
    std::optional<std::string> toTell(const std::optional<std::string> &problem);

private:
    std::string mTold;
};

} // namespace hxsim
