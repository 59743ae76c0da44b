#include <regex>

#include <gtest/gtest.h>

#include "base/LogTimestamp.h"

namespace kesti {
namespace {

std::tm Calendar(int year, int month, int day, int hour, int minute, int second) {
    std::tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

// 2013-11-26 09:55:12 UTC
constexpr std::int64_t kInstant = 1385459712;

TEST(LogTimestamp, CalendarTimeReadAsUtcInvertsTheEpoch) {
    EXPECT_EQ(CalendarTimeAsUtcSeconds(Calendar(1970, 1, 1, 0, 0, 0)), 0);
    EXPECT_EQ(CalendarTimeAsUtcSeconds(Calendar(2013, 11, 26, 9, 55, 12)), kInstant);
    EXPECT_EQ(CalendarTimeAsUtcSeconds(Calendar(2000, 2, 29, 23, 59, 59)), 951868799);
    EXPECT_EQ(CalendarTimeAsUtcSeconds(Calendar(1969, 12, 31, 23, 59, 59)), -1);
}

TEST(LogTimestamp, ZoneEastOfUtc) {
    EXPECT_EQ(FormatLogTimestamp(kInstant, 45, Calendar(2013, 11, 26, 10, 55, 12)), "2013-11-26 10:55:12.045+01:00");
}

TEST(LogTimestamp, ZoneHalfAnHourOffShowsThirtyMinutes) {
    EXPECT_EQ(FormatLogTimestamp(kInstant, 0, Calendar(2013, 11, 26, 15, 25, 12)), "2013-11-26 15:25:12.000+05:30");
}

TEST(LogTimestamp, ZoneWestOfUtcHasTheMinusSign) {
    EXPECT_EQ(FormatLogTimestamp(kInstant, 999, Calendar(2013, 11, 26, 4, 55, 12)), "2013-11-26 04:55:12.999-05:00");
    EXPECT_EQ(FormatLogTimestamp(kInstant, 1, Calendar(2013, 11, 26, 6, 25, 12)), "2013-11-26 06:25:12.001-03:30");
}

TEST(LogTimestamp, UtcIsPlusZero) {
    EXPECT_EQ(FormatLogTimestamp(kInstant, 7, Calendar(2013, 11, 26, 9, 55, 12)), "2013-11-26 09:55:12.007+00:00");
}

TEST(LogTimestamp, NowHasTheRecordShape) {
    EXPECT_TRUE(std::regex_match(CurrentLogTimestamp(),
                                 std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")));
}

} // namespace
} // namespace kesti
