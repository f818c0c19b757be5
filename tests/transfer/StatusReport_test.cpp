#include "LocalTimeZone.h"
#include "transfer/StatusReport.h"

#include <gtest/gtest.h>

#include <array>

TEST(StatusReport, TimesAreLocalWithTheirOffset)
{
    const struct {
        const char *tz;
        std::time_t when;
        const char *expected;
    } cases[] = {
        {"UTC0", 1700000000, "2023-11-14T22:13:20+00:00"},
        {"CST-8", 1700000000, "2023-11-15T06:13:20+08:00"},    // the next day
        {"NST3:30", 1700000000, "2023-11-14T18:43:20-03:30"},  // half an hour
        {"CST-8", 1704067199, "2024-01-01T07:59:59+08:00"},    // into the next year
        {"EST5", 1704067200, "2023-12-31T19:00:00-05:00"},     // back into the last one
    };
    for (const auto &c : cases) {
        LocalTimeZone zone(c.tz);
        EXPECT_EQ(isoLocalTime(c.when), c.expected) << c.tz;
    }
}

TEST(StatusReport, StringsAreEscapedAndUtf8PassesUnchanged)
{
    EXPECT_EQ(jsonString("控制卡没有应答"), "\"控制卡没有应答\"");
    EXPECT_EQ(jsonString("a\"b\\c\n\r\t"), R"("a\"b\\c\n\r\t")");
    EXPECT_EQ(jsonString(std::string("\x01\x1f\0", 3)), R"("\u0001\u001f\u0000")");
}

TEST(StatusReport, OneLinePerDisplayThatIsNotOffInSlotOrder)
{
    LocalTimeZone zone("CST-8");
    std::array<DisplayStatus, _MaxItem> displays{};
    EXPECT_EQ(statusReport(displays), "");
    displays[5] = {.state = WatchState::Failing, .reason = VisitOutcome::NoAnswer, .since = 1700000100,
                   .nextAttempt = 1700000108, .lastSuccess = 1700000000, .display = "[  5] ", .warning = {}};
    displays[63] = {.state = WatchState::SettingUp, .reason = VisitOutcome::PlayListLost, .since = 1700000200,
                    .display = "[ 10.  1.  1. 99] ", .warning = "1 个字符无法显示"};
    EXPECT_EQ(statusReport(displays),
              R"({"display":"[  5] ","state":"failing","reason":"控制卡没有应答","since":"2023-11-15T06:15:00+08:00","lastSuccess":"2023-11-15T06:13:20+08:00","nextAttempt":"2023-11-15T06:15:08+08:00","warning":null})"
              "\n"
              R"({"display":"[ 10.  1.  1. 99] ","state":"setting-up","reason":"控制卡上的节目表已丢失","since":"2023-11-15T06:16:40+08:00","lastSuccess":null,"nextAttempt":null,"warning":"1 个字符无法显示"})"
              "\n");
}
