// The fuzz targets by name: the name is the corpus folder (fuzz/corpus/<name>)
// and the fuzz executable (fuzz-<name>); the check is shared by the fuzzer and
// the corpus replay test.
#pragma once

#include "ClickSendCheck.h"
#include "FrameChecks.h"
#include "HandlerCheck.h"
#include "IniCheck.h"
#include "PickerCheck.h"
#include "SettingsCheck.h"

#include <string_view>

namespace fuzzcheck {

struct Target {
    std::string_view name;
    void (*check)(Bytes input);
};

inline constexpr Target kTargets[] = {
    {"frame_udp", checkFrameDatagram},     {"frame_stream", checkFrameStream},
    {"hxsim_handler", checkRequestHandler}, {"settings_load", checkSettingsFile},
    {"ini_parse", checkIniDocument},       {"picker_areas", checkPickerAreas},
    {"clicksend_text", checkClickSendText},
};

inline const Target *findTarget(std::string_view name)
{
    for (const auto &target : kTargets)
        if (target.name == name) return &target;
    return nullptr;
}

}  // namespace fuzzcheck
