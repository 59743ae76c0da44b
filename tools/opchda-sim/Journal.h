#pragma once
// A file the simulation server appends lines to: the journal, the record of every call it
// answers that tests read ("ReadRaw ...", "GetItemHandles ..."), and the writes file.
#include <string>

namespace kesti::sim {

class Journal {
public:
    explicit Journal(std::wstring path) : path_(std::move(path)) {}
    // Appends one line (or several joined by "\r\n") in one write, so that lines of concurrent
    // processes never interleave.
    void Write(const std::string& line) const;

private:
    std::wstring path_;
};

} // namespace kesti::sim
