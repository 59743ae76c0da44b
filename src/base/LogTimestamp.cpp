#include "base/LogTimestamp.h"

#include <cstdlib>

#include <boost/format.hpp>

#include <windows.h>

namespace kesti {
namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (month 1-12).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

} // namespace

std::int64_t CalendarTimeAsUtcSeconds(const std::tm& calendar) {
    const std::int64_t days = DaysFromCivil(calendar.tm_year + 1900LL, static_cast<unsigned>(calendar.tm_mon + 1),
                                            static_cast<unsigned>(calendar.tm_mday));
    return days * 86400 + calendar.tm_hour * 3600LL + calendar.tm_min * 60LL + calendar.tm_sec;
}

std::string FormatLogTimestamp(std::int64_t utcSeconds, int milliseconds, const std::tm& localTime) {
    const std::int64_t offsetSeconds = CalendarTimeAsUtcSeconds(localTime) - utcSeconds;
    const std::int64_t offsetMinutes = offsetSeconds / 60; // truncates towards zero
    const char sign = offsetMinutes >= 0 ? '+' : '-';
    const std::int64_t magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    return (boost::format("%d-%02d-%02d %02d:%02d:%02d.%03d%c%02d:%02d") % (localTime.tm_year + 1900) %
            (localTime.tm_mon + 1) % localTime.tm_mday % localTime.tm_hour % localTime.tm_min % localTime.tm_sec %
            milliseconds % sign % (magnitude / 60) % (magnitude % 60))
        .str();
}

std::string CurrentLogTimestamp() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const std::uint64_t unixTicks = ticks - 116444736000000000ULL; // 100 ns since 1970
    const __time64_t seconds = static_cast<__time64_t>(unixTicks / 10000000ULL);
    const int milliseconds = static_cast<int>((unixTicks / 10000ULL) % 1000ULL);
    std::tm local = {};
    if (_localtime64_s(&local, &seconds) != 0) return {};
    return FormatLogTimestamp(seconds, milliseconds, local);
}

} // namespace kesti
