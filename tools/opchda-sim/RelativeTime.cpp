#include "RelativeTime.h"

#include <cctype>
#include <cstdlib>

#include <boost/date_time/posix_time/posix_time.hpp>

#include <windows.h>

namespace kesti::sim {
namespace {

constexpr Ticks kMinute = 60 * kTicksPerSecond;
constexpr Ticks kHour = 60 * kMinute;
constexpr Ticks kDay = 24 * kHour;

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Truncates to the start of the unit a keyword names (months and years by the calendar).
std::optional<Ticks> KeywordTime(const std::string& keyword, Ticks now) {
    if (keyword == "NOW") return now;
    if (keyword == "SECOND") return now - now % kTicksPerSecond;
    if (keyword == "MINUTE") return now - now % kMinute;
    if (keyword == "HOUR") return now - now % kHour;
    if (keyword == "DAY") return now - now % kDay;
    FILETIME ft{static_cast<DWORD>(now), static_cast<DWORD>(now >> 32)};
    SYSTEMTIME st{};
    FileTimeToSystemTime(&ft, &st);
    st.wHour = st.wMinute = st.wSecond = st.wMilliseconds = 0;
    if (keyword == "WEEK") {
        const Ticks day = now - now % kDay;
        return day - static_cast<Ticks>(st.wDayOfWeek) * kDay; // weeks start on Sunday
    }
    if (keyword == "MONTH") st.wDay = 1;
    else if (keyword == "YEAR") st.wDay = 1, st.wMonth = 1;
    else return std::nullopt;
    SystemTimeToFileTime(&st, &ft);
    return (static_cast<Ticks>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::optional<Ticks> UnitTicks(const std::string& unit) {
    if (unit == "MS") return kTicksPerSecond / 1000;
    if (unit == "S") return kTicksPerSecond;
    if (unit == "M") return kMinute;
    if (unit == "H") return kHour;
    if (unit == "D") return kDay;
    if (unit == "W") return 7 * kDay;
    if (unit == "MO") return 30 * kDay;
    if (unit == "Y") return 365 * kDay;
    return std::nullopt;
}

// "+1D-2H": a sum of signed offsets.
std::optional<Ticks> Offsets(const std::string& text) {
    Ticks total = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '+' && text[i] != '-') return std::nullopt;
        const Ticks sign = text[i] == '-' ? -1 : 1;
        std::size_t digits = ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
        if (i == digits) return std::nullopt;
        const Ticks amount = std::strtoll(text.substr(digits, i - digits).c_str(), nullptr, 10);
        std::size_t letters = i;
        while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) ++i;
        const auto unit = UnitTicks(text.substr(letters, i - letters));
        if (!unit) return std::nullopt;
        total += sign * amount * *unit;
    }
    return total;
}

std::optional<Ticks> AbsoluteTime(std::string text) {
    for (char& c : text)
        if (c == 'T') c = ' ';
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) text.pop_back();
    try {
        const auto t = boost::posix_time::time_from_string(text);
        if (t.is_special()) return std::nullopt;
        const boost::posix_time::ptime epoch(boost::gregorian::date(1601, 1, 1));
        return (t - epoch).total_microseconds() * 10;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace

Ticks NowTicks() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<Ticks>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::optional<Ticks> ParseTimeText(const std::string& raw, Ticks now) {
    const std::string text = Upper(Trimmed(raw));
    std::size_t keywordEnd = 0;
    while (keywordEnd < text.size() && std::isalpha(static_cast<unsigned char>(text[keywordEnd]))) ++keywordEnd;
    if (keywordEnd > 0) {
        if (const auto base = KeywordTime(text.substr(0, keywordEnd), now)) {
            const auto offset = Offsets(text.substr(keywordEnd));
            if (!offset) return std::nullopt;
            return *base + *offset;
        }
    }
    return AbsoluteTime(Trimmed(raw));
}

std::optional<Ticks> ParseDurationText(const std::string& raw) {
    const std::string text = Upper(Trimmed(raw));
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (end != text.c_str() && *end == '\0') return static_cast<Ticks>(seconds * kTicksPerSecond);
    return Offsets("+" + text);
}

} // namespace kesti::sim
