#pragma once
// The record of every call the simulation server answers, one line each, appended to a file
// that tests read ("ReadRaw ...", "GetItemHandles ...").
#include <string>

namespace kesti::sim {

class Journal {
public:
    explicit Journal(std::wstring path) : path_(std::move(path)) {}
    // Appends one line; lines of concurrent processes never interleave.
    void Write(const std::string& line) const;

private:
    std::wstring path_;
};

} // namespace kesti::sim
