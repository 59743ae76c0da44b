#pragma once
// Where a simulation server process finds its data file and writes its journal: the values
// "DataFile" and "Journal" under HKEY_CURRENT_USER\Software\Norvane\OpcHdaSim, else
// opchda-sim.json beside the program and "<data file>.journal". What clients write is kept in
// "<data file>.writes", so the data file itself is never changed.
#include <string>

#include <windows.h>

namespace kesti::sim {

constexpr const wchar_t* kSettingsKey = L"Software\\Norvane\\OpcHdaSim";

inline std::wstring ReadSetting(const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return {};
    return value;
}

inline std::wstring DataFilePath() {
    std::wstring path = ReadSetting(L"DataFile");
    if (!path.empty()) return path;
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    path = exe;
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"opchda-sim.json";
}

inline std::wstring JournalPath() {
    std::wstring path = ReadSetting(L"Journal");
    return path.empty() ? DataFilePath() + L".journal" : path;
}

inline std::wstring WritesPath() { return DataFilePath() + L".writes"; }

} // namespace kesti::sim
