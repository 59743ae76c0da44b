#pragma once
// Times between Boost.Date_Time (UTC, microseconds), FILETIME and the boundary's seconds.
#include <cstdint>
#include <string>

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <windows.h>

namespace kesti {

using TimePoint = boost::posix_time::ptime;
using Duration = boost::posix_time::time_duration;

// 100-nanosecond intervals since 1601; a special time point gives the FILETIME 0.
FILETIME FileTimeFromTimePoint(const TimePoint& t);
TimePoint TimePointFromFileTime(const FILETIME& ft);
// Whole seconds since 1970, towards zero, as 32 bits (the tags' update times).
std::int32_t SecondsSince1970(const TimePoint& t);
// 1970-01-01 00:00:00 plus the seconds.
TimePoint TimePointFromSeconds(std::int64_t seconds);

// "yyyy-MM-dd HH:mm:ss" with ".mmm" when there are milliseconds; empty for not-a-date-time.
std::string TimePointLogText(const TimePoint& t);
// Boost.Date_Time's simple form: [-]hh:mm:ss[.ffffff], or the special value's name.
std::string DurationLogText(const Duration& d);
// "%d-%02d-%02d %02d:%02d:%02d.%03d UTC" of the FILETIME, cut to 32 characters.
std::string FileTimeText(const FILETIME& ft);

} // namespace kesti
