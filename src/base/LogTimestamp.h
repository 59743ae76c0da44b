#pragma once
// The time stamp at the head of a log record: local time with milliseconds and the local
// offset from UTC, for instance 2013-11-26 10:55:12.045+01:00.
#include <cstdint>
#include <ctime>
#include <string>

namespace kesti {

// Seconds since 1970 of a broken-down time read as if it were UTC (the inverse of gmtime).
std::int64_t CalendarTimeAsUtcSeconds(const std::tm& calendar);

// The record time stamp for the UTC instant utcSeconds + milliseconds, whose local
// breakdown is localTime; the offset is localTime read as UTC minus utcSeconds.
std::string FormatLogTimestamp(std::int64_t utcSeconds, int milliseconds, const std::tm& localTime);

// The time stamp of now, in the machine's time zone.
std::string CurrentLogTimestamp();

} // namespace kesti
