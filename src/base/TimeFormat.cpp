#include "base/TimeFormat.h"

#include <boost/format.hpp>

namespace kesti {
namespace {

const char* const kDefaultPattern = "yyyy-MM-dd HH:mm:sseee";

std::string TwoDigits(long value) { return (boost::format("%02d") % value).str(); }

// The text of one token (a run of one letter), or nullopt-like empty flag when the run is
// not a token, in which case it is copied unchanged.
bool FormatToken(const boost::posix_time::ptime& t, char letter, std::size_t run, std::string& out) {
    const auto date = t.date();
    const auto time = t.time_of_day();
    if (letter == 'y' && run == 4) { out += std::to_string(static_cast<int>(date.year())); return true; }
    if (letter == 'M' && run == 2) { out += TwoDigits(date.month().as_number()); return true; }
    if (letter == 'd' && run == 2) { out += TwoDigits(date.day()); return true; }
    if (letter == 'H' && run == 2) { out += TwoDigits(time.hours()); return true; }
    if (letter == 'm' && run == 2) { out += TwoDigits(time.minutes()); return true; }
    if (letter == 's' && run == 2) { out += TwoDigits(time.seconds()); return true; }
    if (letter == 'e' && run == 3) {
        const long long microseconds = time.fractional_seconds() * (1000000 / time.ticks_per_second());
        const long long milliseconds = microseconds / 1000;
        if (milliseconds >= 1) out += (boost::format(".%03d") % milliseconds).str();
        return true;
    }
    return false;
}

} // namespace

std::string FormatTimePoint(const boost::posix_time::ptime& timePoint, const std::string& pattern) {
    if (timePoint.is_special()) return {};
    const std::string& p = pattern.empty() ? std::string(kDefaultPattern) : pattern;
    std::string out;
    for (std::size_t i = 0; i < p.size();) {
        std::size_t run = 1;
        while (i + run < p.size() && p[i + run] == p[i]) ++run;
        if (!FormatToken(timePoint, p[i], run, out)) out.append(p, i, run);
        i += run;
    }
    return out;
}

} // namespace kesti
