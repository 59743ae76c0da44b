#include "ServerList.h"

#include <string>

#include "ComRegistration.h"
#include "platform/ComMemory.h"
#include "platform/RegistryKey.h"

namespace kesti::serverlist {
namespace {

bool KeyExists(const std::wstring& path) {
    platform::RegistryKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

// A test switch: the DWORD "RefuseServerList2" under HKEY_CURRENT_USER\Software\Norvane\OpcHdaSim,
// when 1, makes the list answer like an older component that has only IOPCServerList.
bool RefusesServerList2() {
    DWORD value = 0, size = sizeof value;
    return RegGetValueW(HKEY_CURRENT_USER, L"Software\\Norvane\\OpcHdaSim", L"RefuseServerList2", RRF_RT_REG_DWORD,
                        nullptr, &value, &size) == ERROR_SUCCESS &&
           value == 1;
}

// The default value of a key under HKEY_CLASSES_ROOT, in task memory; null when absent.
LPOLESTR DefaultValue(const std::wstring& path) {
    wchar_t value[512] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS ||
        value[0] == L'\0')
        return nullptr;
    return tools::CoTaskText(value);
}

// Every class under HKEY_CLASSES_ROOT\CLSID that implements all the given categories and
// requires none that is not given.
std::vector<GUID> ClassesImplementing(ULONG implemented, const CATID* implementedIds, ULONG required,
                                      const CATID* requiredIds) {
    std::vector<GUID> classes;
    platform::RegistryKey clsidRoot;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, clsidRoot.Put()) != ERROR_SUCCESS) return classes;
    wchar_t name[64];
    for (DWORD index = 0;; ++index) {
        DWORD length = 64;
        const LONG status = RegEnumKeyExW(clsidRoot.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        CLSID clsid{};
        if (FAILED(CLSIDFromString(name, &clsid))) continue;
        const std::wstring base = std::wstring(L"CLSID\\") + name;
        bool matches = implemented > 0;
        for (ULONG i = 0; i < implemented && matches; ++i)
            matches = KeyExists(base + L"\\Implemented Categories\\" + tools::GuidText(implementedIds[i]));
        for (ULONG i = 0; i < required && matches; ++i)
            matches = KeyExists(base + L"\\Required Categories\\" + tools::GuidText(requiredIds[i]));
        if (matches) classes.push_back(clsid);
    }
    return classes;
}

} // namespace

HRESULT GuidEnumerator::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCEnumGUID) || IsEqualIID(riid, IID_IEnumGUID)) {
        *object = static_cast<IOPCEnumGUID*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT GuidEnumerator::Next(ULONG count, GUID* ids, ULONG* fetched) {
    if (ids == nullptr) return E_POINTER;
    ULONG n = 0;
    while (n < count && next_ < ids_.size()) ids[n++] = ids_[next_++];
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT GuidEnumerator::Skip(ULONG count) {
    next_ = std::min(ids_.size(), next_ + count);
    return next_ < ids_.size() ? S_OK : S_FALSE;
}

HRESULT GuidEnumerator::Reset() {
    next_ = 0;
    return S_OK;
}

HRESULT GuidEnumerator::Clone(IOPCEnumGUID** copy) {
    if (copy == nullptr) return E_POINTER;
    auto* clone = new GuidEnumerator(ids_);
    clone->next_ = next_;
    *copy = clone;
    return S_OK;
}

HRESULT ServerList::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown))
        *object = static_cast<IOPCServerList*>(this);
    else if (IsEqualIID(riid, IID_IOPCServerList2) && !RefusesServerList2())
        *object = static_cast<IOPCServerList2*>(this);
    else if (IsEqualIID(riid, IID_IOPCServerList))
        *object = static_cast<IOPCServerList*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT ServerList::EnumClassesOfCategories(ULONG implemented, CATID* implementedIds, ULONG required,
                                            CATID* requiredIds, IOPCEnumGUID** classes) {
    if (classes == nullptr) return E_POINTER;
    *classes = new GuidEnumerator(ClassesImplementing(implemented, implementedIds, required, requiredIds));
    return S_OK;
}

HRESULT ServerList::EnumClassesOfCategories(ULONG implemented, CATID* implementedIds, ULONG required,
                                            CATID* requiredIds, IEnumGUID** classes) {
    if (classes == nullptr) return E_POINTER;
    auto* enumerator = new GuidEnumerator(ClassesImplementing(implemented, implementedIds, required, requiredIds));
    const HRESULT result = enumerator->QueryInterface(IID_IEnumGUID, reinterpret_cast<void**>(classes));
    enumerator->Release();
    return result;
}

HRESULT ServerList::GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType,
                                    LPOLESTR* versionIndependentProgId) {
    if (progId == nullptr || userType == nullptr || versionIndependentProgId == nullptr) return E_POINTER;
    const std::wstring base = L"CLSID\\" + tools::GuidText(clsid);
    *progId = DefaultValue(base + L"\\ProgID");
    *userType = DefaultValue(base);
    *versionIndependentProgId = DefaultValue(base + L"\\VersionIndependentProgID");
    return KeyExists(base) ? S_OK : REGDB_E_CLASSNOTREG;
}

HRESULT ServerList::GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType) {
    platform::UniqueCoTaskMemString versionIndependent;
    return GetClassDetails(clsid, progId, userType, versionIndependent.Put());
}

HRESULT ServerList::CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
    if (progId == nullptr || clsid == nullptr) return E_POINTER;
    return ::CLSIDFromProgID(progId, clsid);
}

} // namespace kesti::serverlist
