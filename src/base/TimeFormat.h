#pragma once
// Time points as log text.
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <string>

namespace kesti {

// Formats a UTC time point with a pattern of letter runs: yyyy, MM, dd, HH, mm, ss and eee
// (".mmm" milliseconds, left out on a whole second). Other characters are copied unchanged.
// An empty pattern means "yyyy-MM-dd HH:mm:sseee"; not-a-date-time gives the empty text.
std::string FormatTimePoint(const boost::posix_time::ptime& timePoint, const std::string& pattern = {});

} // namespace kesti
