#include "ui/MachineNames.h"

#include <windows.h>

namespace kesti::ui {
namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::string ComputerName(COMPUTER_NAME_FORMAT format) {
    char name[256] = {};
    DWORD size = sizeof name;
    return GetComputerNameExA(format, name, &size) ? std::string(name, size) : std::string();
}

} // namespace

std::string Trimmed(const std::string& text) {
    const char* const blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool IsThisMachine(const std::string& name) {
    const std::string trimmed = Trimmed(name);
    for (const std::string& own : {std::string("localhost"), std::string("127.0.0.1"), std::string("Local host"),
                                   ComputerName(ComputerNameNetBIOS), ComputerName(ComputerNameDnsHostname),
                                   ComputerName(ComputerNameDnsFullyQualified)})
        if (!own.empty() && EqualNoCase(trimmed, own)) return true;
    return false;
}

bool SameMachine(const std::string& first, const std::string& second) {
    if (IsThisMachine(first) || IsThisMachine(second)) return IsThisMachine(first) && IsThisMachine(second);
    return EqualNoCase(Trimmed(first), Trimmed(second));
}

} // namespace kesti::ui
