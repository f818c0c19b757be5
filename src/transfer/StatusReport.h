// The answer to `marqora --status`: how each watched display stands, one JSON
// object per line, for a monitoring system or an operator at a shell.
#pragma once

#include "transfer/TransferStatus.h"

#include <ctime>
#include <span>
#include <string>

// One line per display whose state is not Off, in slot order:
//   {"display":"[ 10.  1.  1.100] ","state":"failing","reason":"控制卡没有应答",
//    "since":"2026-12-09T04:26:40+08:00","lastSuccess":null,"nextAttempt":"2026-12-09T04:26:48+08:00",
//    "warning":null}
// state is "setting-up", "watching" or "failing"; reason says why a display
// fails, or is set up again (its controller lost the play list), else null;
// warning names characters the display cannot show, else null; times are
// local with their offset, null when not known. Displays that are
// Off (click-send displays, and every display while a save has stopped the
// watch) are left out, so the text is empty when nothing is watched.
std::string statusReport(std::span<const DisplayStatus> displays);

// when as ISO 8601 local time with its offset from UTC, "2026-12-09T04:26:40+08:00".
std::string isoLocalTime(std::time_t when);

// text as a JSON string with its quotes; text is UTF-8 and passes unchanged
// but for quotes, backslashes and control characters.
std::string jsonString(const std::string &text);
