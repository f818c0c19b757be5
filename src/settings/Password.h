#pragma once

#include "HX_Dll.h"

#include <cstdint>
#include <string_view>

// The password check value: the library's CRC step folded over the password's
// bytes (ANSI code page) from 0. The empty password gives 0.
uint16_t PwdToCRC(const HX_Dll &link, std::string_view ansiBytes);
