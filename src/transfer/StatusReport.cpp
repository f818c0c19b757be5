#include "transfer/StatusReport.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char *stateKeyword(WatchState state)
{
    switch (state) {
    case WatchState::Off: return "off";
    case WatchState::SettingUp: return "setting-up";
    case WatchState::Watching: return "watching";
    case WatchState::Failing: return "failing";
    }
    return "off";
}

std::string jsonTime(std::time_t when)
{
    return when == 0 ? "null" : jsonString(isoLocalTime(when));
}

}  // namespace

std::string isoLocalTime(std::time_t when)
{
    std::tm local{};
    std::tm utc{};
#ifdef _WIN32
    localtime_s(&local, &when);
    gmtime_s(&utc, &when);
#else
    localtime_r(&when, &local);
    gmtime_r(&when, &utc);
#endif
    // Local time minus UTC, from the broken-down fields: strftime's %z is not
    // "+hhmm" on every C runtime.
    int days = local.tm_yday - utc.tm_yday;
    if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
    const long offset = days * 86400L + (local.tm_hour - utc.tm_hour) * 3600L + (local.tm_min - utc.tm_min) * 60L;
    const long minutes = std::labs(offset) / 60;

    char text[64] = {};
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                  minutes / 60, minutes % 60);
    return text;
}

std::string jsonString(const std::string &text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                quoted += escape;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

std::string statusReport(std::span<const DisplayStatus> displays)
{
    std::string report;
    for (const DisplayStatus &display : displays) {
        if (display.state == WatchState::Off) continue;
        const bool reason = display.reason != VisitOutcome::Delivered;
        report += "{\"display\":" + jsonString(display.display) + ",\"state\":\"" + stateKeyword(display.state) +
                  "\",\"reason\":" + (reason ? jsonString(outcomeText(display.reason)) : "null") +
                  ",\"since\":" + jsonTime(display.since) + ",\"lastSuccess\":" + jsonTime(display.lastSuccess) +
                  ",\"nextAttempt\":" + jsonTime(display.nextAttempt) + ",\"warning\":" +
                  (display.warning.empty() ? "null" : jsonString(display.warning)) + "}\n";
    }
    return report;
}
