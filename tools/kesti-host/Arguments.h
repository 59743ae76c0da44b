#pragma once
// The command line of kesti-host: what a wrong one is, and reading its numbers and times.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kesti::host {

// A command line the host cannot follow; the message names the argument and what was expected.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Seconds since 1970 ("1704067200") or a UTC time ("2024-01-01T00:00:00", a trailing Z allowed).
int32_t ParseTime(const char* name, const std::string& text);
// A whole number, of any sign: the plug-in judges whether it fits the call.
int32_t ParseWhole(const char* name, const std::string& text);
// A count of 1 or more.
uint32_t ParseCount(const char* name, const std::string& text);

// The cells of one CSV line: commas separate, a cell in double quotes may hold commas and
// doubled quotes. `quoted` tells, per cell, whether it was quoted (so always a text).
std::vector<std::string> SplitCsvLine(const std::string& line, std::vector<bool>* quoted = nullptr);

} // namespace kesti::host
