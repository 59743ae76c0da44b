#include "base/TimeConversion.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/format.hpp>

#include "base/TimeFormat.h"

namespace kesti {
namespace {

const TimePoint& FileTimeEpoch() {
    static const TimePoint epoch(boost::gregorian::date(1601, 1, 1));
    return epoch;
}

const TimePoint& UnixEpoch() {
    static const TimePoint epoch(boost::gregorian::date(1970, 1, 1));
    return epoch;
}

} // namespace

FILETIME FileTimeFromTimePoint(const TimePoint& t) {
    FILETIME ft{0, 0};
    if (t.is_special() || t < FileTimeEpoch()) return ft;
    const std::uint64_t ticks = static_cast<std::uint64_t>((t - FileTimeEpoch()).total_microseconds()) * 10;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

TimePoint TimePointFromFileTime(const FILETIME& ft) { return boost::posix_time::from_ftime<TimePoint>(ft); }

std::int32_t SecondsSince1970(const TimePoint& t) {
    if (t.is_special()) return 0;
    return static_cast<std::int32_t>((t - UnixEpoch()).total_microseconds() / 1000000);
}

TimePoint TimePointFromSeconds(std::int64_t seconds) {
    return UnixEpoch() + boost::posix_time::microseconds(seconds * 1000000);
}

std::string TimePointLogText(const TimePoint& t) { return FormatTimePoint(t); }

std::string DurationLogText(const Duration& d) { return boost::posix_time::to_simple_string(d); }

std::string FileTimeText(const FILETIME& ft) {
    SYSTEMTIME st{};
    if (!FileTimeToSystemTime(&ft, &st)) st = SYSTEMTIME{};
    std::string text = (boost::format("%d-%02d-%02d %02d:%02d:%02d.%03d UTC") % st.wYear % st.wMonth % st.wDay %
                        st.wHour % st.wMinute % st.wSecond % st.wMilliseconds)
                           .str();
    if (text.size() > 32) text.resize(32);
    return text;
}

} // namespace kesti
