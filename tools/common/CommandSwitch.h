#pragma once
// Command-line switches as Windows programs take them: "/RegServer", "-RegServer" and
// "--regserver" are one switch; the case does not matter.
#include <string>

#include <windows.h>

namespace kesti::tools {

inline bool IsSwitch(const std::wstring& argument, const wchar_t* name) {
    std::size_t start = 0;
    if (argument.compare(0, 2, L"--") == 0) start = 2;
    else if (!argument.empty() && (argument[0] == L'/' || argument[0] == L'-')) start = 1;
    else return false;
    return CompareStringOrdinal(argument.c_str() + start, -1, name, -1, TRUE) == CSTR_EQUAL;
}

} // namespace kesti::tools
