#pragma once
// Which names a person may type for one machine: "localhost", "127.0.0.1", this machine's
// own name and "Local host" all stand for this machine, and names are compared without case
// and without the blanks around them, as Windows compares machine names.
#include <string>

namespace kesti::ui {

// The text without blanks (spaces, tabs, line ends) at either end.
std::string Trimmed(const std::string& text);
// Whether the name stands for the machine this program runs on.
bool IsThisMachine(const std::string& name);
// Whether two names stand for the same machine.
bool SameMachine(const std::string& first, const std::string& second);

} // namespace kesti::ui
