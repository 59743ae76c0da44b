#include "Arguments.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <iomanip>
#include <limits>
#include <sstream>

namespace kesti::host {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The whole text as a number, or false.
bool WholeNumber(const std::string& text, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

} // namespace

int32_t ParseTime(const char* name, const std::string& text) {
    const std::string expected = std::string(name) + " " + Quoted(text) +
                                 " is not a time: expected seconds since 1970 or yyyy-mm-ddThh:mm:ss (UTC)";
    long long seconds = 0;
    if (WholeNumber(text, seconds)) {
        if (seconds < std::numeric_limits<int32_t>::min() || seconds > std::numeric_limits<int32_t>::max())
            throw UsageError(expected);
        return static_cast<int32_t>(seconds);
    }
    std::tm t = {};
    std::istringstream in(text);
    in >> std::get_time(&t, "%Y-%m-%dT%H:%M:%S");
    if (in.fail()) throw UsageError(expected);
    std::string rest;
    in >> rest;
    if (!rest.empty() && rest != "Z") throw UsageError(expected);
    const long long utc = _mkgmtime(&t);
    if (utc < 0 || utc > std::numeric_limits<int32_t>::max()) throw UsageError(expected);
    return static_cast<int32_t>(utc);
}

int32_t ParseWhole(const char* name, const std::string& text) {
    long long value = 0;
    if (!WholeNumber(text, value) || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        throw UsageError(std::string(name) + " " + Quoted(text) + " is not a whole number of seconds");
    return static_cast<int32_t>(value);
}

uint32_t ParseCount(const char* name, const std::string& text) {
    long long value = 0;
    if (!WholeNumber(text, value) || value < 1 || value > std::numeric_limits<int32_t>::max())
        throw UsageError(std::string(name) + " " + Quoted(text) + " is not a count: expected a whole number of 1 or more");
    return static_cast<uint32_t>(value);
}

std::vector<std::string> SplitCsvLine(const std::string& line, std::vector<bool>* quoted) {
    std::vector<std::string> cells(1);
    std::vector<bool> cellQuoted(1, false);
    bool inQuotes = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inQuotes) {
            if (c != '"') cells.back() += c;
            else if (i + 1 < line.size() && line[i + 1] == '"') cells.back() += '"', ++i;
            else inQuotes = false;
        } else if (c == ',') {
            cells.emplace_back();
            cellQuoted.push_back(false);
        } else if (c == '"' && cells.back().empty()) {
            inQuotes = true;
            cellQuoted.back() = true;
        } else {
            cells.back() += c;
        }
    }
    if (quoted != nullptr) *quoted = cellQuoted;
    return cells;
}

} // namespace kesti::host
