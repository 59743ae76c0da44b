#pragma once
// Registers an out-of-process COM class: LocalServer32, ProgIDs, user-type name and the
// component categories it implements (what the OPC server list reads).
#include <string>
#include <vector>

#include <objbase.h>

#include "platform/RegistryKey.h"

namespace kesti::tools {

// The component category "OPC Historical Data Access Servers Version 1.0".
constexpr GUID kCategoryHda10 = {0x7DE5B060, 0xE089, 0x11D2, {0xA5, 0xE6, 0x00, 0x00, 0x86, 0x33, 0x93, 0x99}};

struct LocalServerClass {
    CLSID clsid;
    std::wstring progId;
    std::wstring versionIndependentProgId; // may be empty
    std::wstring userType;
    std::vector<GUID> categories;
};

inline std::wstring GuidText(const GUID& id) {
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    return text;
}

inline bool SetKeyValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    const auto key = platform::RegistryKey::Create(HKEY_CLASSES_ROOT, path.c_str(), KEY_SET_VALUE);
    return key && RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

inline bool RegisterLocalServer(const LocalServerClass& c, const std::wstring& executable) {
    const std::wstring clsidKey = L"CLSID\\" + GuidText(c.clsid);
    bool ok = SetKeyValue(clsidKey, nullptr, c.userType) &&
              SetKeyValue(clsidKey + L"\\LocalServer32", nullptr, L"\"" + executable + L"\"") &&
              SetKeyValue(clsidKey + L"\\ProgID", nullptr, c.progId) &&
              SetKeyValue(c.progId, nullptr, c.userType) && SetKeyValue(c.progId + L"\\CLSID", nullptr, GuidText(c.clsid));
    if (!c.versionIndependentProgId.empty())
        ok = ok && SetKeyValue(clsidKey + L"\\VersionIndependentProgID", nullptr, c.versionIndependentProgId) &&
             SetKeyValue(c.versionIndependentProgId, nullptr, c.userType) &&
             SetKeyValue(c.versionIndependentProgId + L"\\CLSID", nullptr, GuidText(c.clsid)) &&
             SetKeyValue(c.versionIndependentProgId + L"\\CurVer", nullptr, c.progId);
    for (const GUID& category : c.categories)
        ok = ok && SetKeyValue(clsidKey + L"\\Implemented Categories\\" + GuidText(category), nullptr, L"");
    return ok;
}

inline void UnregisterLocalServer(const LocalServerClass& c) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(c.clsid)).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, c.progId.c_str());
    if (!c.versionIndependentProgId.empty()) RegDeleteTreeW(HKEY_CLASSES_ROOT, c.versionIndependentProgId.c_str());
}

inline std::wstring ThisExecutable() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

} // namespace kesti::tools
