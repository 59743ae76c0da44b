#pragma once
// What kesti-host does with the plug-in: results checked and told apart, strings and cells
// taken, and an open connection whose tags are found by name.
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/KestiLibrary.h"

namespace kesti::host {

// A call of the plug-in that did not succeed: result 1 (the call failed; the log says why) or
// result 2 (the plug-in refused an argument).
class CallFailed : public std::runtime_error {
public:
    CallFailed(KestiResult result, const std::string& message) : std::runtime_error(message), result_(result) {}
    KestiResult Result() const { return result_; }

private:
    KestiResult result_;
};

// Throws CallFailed unless `result` is ResultOk; `what` names the call ("the read").
void Check(KestiResult result, const std::string& what);

// One cell of a value vector as CSV: a number, a quoted text, or nothing for a missing value.
std::string CsvCell(const KestiLibrary& dll, VectorHandle vector, uint32_t index);

// An open connection and the tags of its tree, by name and by NODE/NAME.
class HostConnection {
public:
    explicit HostConnection(const KestiLibrary& dll);
    ~HostConnection();
    HostConnection(const HostConnection&) = delete;
    HostConnection& operator=(const HostConnection&) = delete;

    ConnectionHandle Handle() const { return handle_; }
    // The tree as indented lines: "[node]" and its tags below it.
    const std::string& Tree() const { return tree_; }
    // Throws UsageError naming the first name that is no tag.
    std::vector<TagHandle> Find(const std::vector<std::string>& names) const;

private:
    void Walk(NodeHandle node, const std::string& indent);

    const KestiLibrary& dll_;
    ConnectionHandle handle_ = nullptr;
    std::string tree_;
    std::map<std::string, TagHandle> tags_;
};

} // namespace kesti::host
