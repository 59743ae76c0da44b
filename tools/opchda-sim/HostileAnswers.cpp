#include "HostileAnswers.h"

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

#include <windows.h>

#include "ComServerHost.h"
#include "opchda/OpcHdaConstants.h"
#include "platform/ComMemory.h"

namespace kesti::sim {
namespace {

SAFEARRAY* TextArray(LONG lowerBound, ULONG count) {
    SAFEARRAYBOUND bound{count, lowerBound};
    SAFEARRAY* array = SafeArrayCreate(VT_BSTR, 1, &bound);
    for (LONG i = 0; array != nullptr && i < static_cast<LONG>(count); ++i) {
        LONG at = lowerBound + i;
        const platform::UniqueBstr element((L"text " + std::to_wstring(i)).c_str());
        SafeArrayPutElement(array, &at, element.Get());
    }
    return array;
}

SAFEARRAY* RealArray(UINT dimensions, LONG lowerBound, ULONG count) {
    SAFEARRAYBOUND bounds[2] = {{count, lowerBound}, {count, lowerBound}};
    return SafeArrayCreate(VT_R8, dimensions, bounds);
}

} // namespace

HRESULT HostileAnswers::RefusedCall() {
    if (!Chance(4)) return S_OK;
    const HRESULT refusals[] = {E_FAIL, E_OUTOFMEMORY, opc::kMaxExceeded, E_INVALIDARG, static_cast<HRESULT>(0x8001010E)};
    return refusals[Pick(0, 4)];
}

HostileAnswers::StatusSpoil HostileAnswers::SpoilStatus() {
    const int roll = Pick(0, 99);
    return roll < 20 ? StatusSpoil::Refuse : (roll < 50 ? StatusSpoil::HideMaximum : StatusSpoil::None);
}

void HostileAnswers::Delay() {
    if (Chance(3)) Sleep(static_cast<DWORD>(Pick(10, 400)));
    else if (Pick(0, 499) == 0) Sleep(static_cast<DWORD>(Pick(2000, 4000)));
}

void HostileAnswers::SpoilNames(std::vector<std::wstring>& names) {
    if (!Chance(30)) return;
    switch (Pick(0, 3)) {
    case 0: names.push_back(L"tab\there\x0001\x001B[2J\r\nline"); break;
    case 1: names.push_back(L""); break;
    case 2: names.push_back(std::wstring(static_cast<std::size_t>(Pick(5000, 100000)), L'n')); break;
    default: // a list of thousands
        for (int i = Pick(1000, 5000); i > 0; --i) names.push_back(L"extra" + std::to_wstring(i));
        break;
    }
}

void HostileAnswers::SpoilValue(VARIANT& value) {
    platform::UniqueVariant::TakeFrom(value); // the value it held goes
    switch (Pick(0, 21)) {
    case 0: V_VT(&value) = VT_NULL; break;
    case 1: V_VT(&value) = VT_ERROR; V_ERROR(&value) = DISP_E_PARAMNOTFOUND; break;
    case 2: V_VT(&value) = VT_CY; V_CY(&value).int64 = std::numeric_limits<LONGLONG>::min(); break;
    case 3: V_VT(&value) = VT_DATE; V_DATE(&value) = -1e300; break;
    case 4: V_VT(&value) = VT_DECIMAL; V_DECIMAL(&value).Hi32 = 0xFFFFFFFF; V_DECIMAL(&value).Lo64 = ~0ULL; V_DECIMAL(&value).scale = 28; break;
    case 5: V_VT(&value) = VT_I8; V_I8(&value) = std::numeric_limits<LONGLONG>::min(); break;
    case 6: V_VT(&value) = VT_UI8; V_UI8(&value) = std::numeric_limits<ULONGLONG>::max(); break;
    case 7: V_VT(&value) = VT_DISPATCH; V_DISPATCH(&value) = nullptr; break;
    case 8: V_VT(&value) = VT_UNKNOWN; V_UNKNOWN(&value) = nullptr; break;
    case 9: V_VT(&value) = VT_ARRAY | VT_BSTR; V_ARRAY(&value) = TextArray(Pick(-5, 3), static_cast<ULONG>(Pick(0, 5))); break;
    case 10: V_VT(&value) = VT_ARRAY | VT_R8; V_ARRAY(&value) = RealArray(2, 0, 3); break;
    case 11: V_VT(&value) = VT_ARRAY | VT_R8; V_ARRAY(&value) = RealArray(1, -7, 0); break;
    case 12: V_VT(&value) = VT_ARRAY | VT_R8; V_ARRAY(&value) = RealArray(1, 1000, 4); break;
    case 13: { // a text of a few megabytes
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = SysAllocStringLen(nullptr, static_cast<UINT>(Pick(1, 3) * 1024 * 1024));
        if (V_BSTR(&value) != nullptr) std::fill_n(V_BSTR(&value), SysStringLen(V_BSTR(&value)), L'x');
        break;
    }
    case 14: V_VT(&value) = VT_BSTR; V_BSTR(&value) = nullptr; break;
    case 15: V_VT(&value) = VT_R8; V_R8(&value) = std::numeric_limits<double>::quiet_NaN(); break;
    case 16: V_VT(&value) = VT_R8; V_R8(&value) = Chance(50) ? std::numeric_limits<double>::infinity() : -1e308; break;
    case 17: V_VT(&value) = VT_R4; V_R4(&value) = -std::numeric_limits<float>::infinity(); break;
    case 18: V_VT(&value) = VT_BSTR; V_BSTR(&value) = SysAllocString(L"\x01\x02\r\n\t control \x7f"); break;
    case 19: V_VT(&value) = VT_ARRAY | VT_BSTR; V_ARRAY(&value) = RealArray(1, 0, 3); break; // doubles named texts
    case 20: V_VT(&value) = VT_ARRAY | VT_R8; V_ARRAY(&value) = TextArray(0, 3); break;   // texts named doubles
    default: V_VT(&value) = VT_BOOL; V_BOOL(&value) = VARIANT_TRUE; break;
    }
}

void HostileAnswers::SpoilTimes(OPCHDA_ITEM& item) {
    if (item.dwCount == 0 || item.pftTimeStamps == nullptr) return;
    FILETIME* times = item.pftTimeStamps;
    switch (Pick(0, 3)) {
    case 0: std::shuffle(times, times + item.dwCount, random_); break;
    case 1: std::fill_n(times, item.dwCount, times[0]); break;
    case 2: times[Pick(0, static_cast<int>(item.dwCount) - 1)] = FILETIME{0, 0}; break; // 1601
    default: times[Pick(0, static_cast<int>(item.dwCount) - 1)] = FILETIME{0xFFFFFFFF, 0x7FFFFFFF}; break;
    }
}

void HostileAnswers::SpoilItem(OPCHDA_ITEM& item, HRESULT& error) {
    switch (Pick(0, 6)) {
    case 0: { // an array NULL behind its count
        const int which = Pick(0, 2);
        if (which == 0) platform::UniqueCoTaskMem<FILETIME> dropped(std::exchange(item.pftTimeStamps, nullptr));
        if (which == 1) platform::UniqueCoTaskMem<DWORD> dropped(std::exchange(item.pdwQualities, nullptr));
        if (which == 2) platform::UniqueCoTaskMemArray<VARIANT> dropped(std::exchange(item.pvDataValues, nullptr), item.dwCount);
        if (item.dwCount == 0) item.dwCount = 1;
        break;
    }
    case 1: SpoilTimes(item); break;
    case 2:
        for (DWORD k = 0; k < item.dwCount && item.pvDataValues != nullptr; ++k)
            if (Chance(30)) SpoilValue(item.pvDataValues[k]);
        break;
    case 3: error = opc::kMoreData; break; // more promised, whatever came
    case 4: error = Chance(50) ? E_FAIL : static_cast<HRESULT>(0xC0040001); break; // a failure beside its values
    case 5:
        for (DWORD k = 0; k < item.dwCount && item.pdwQualities != nullptr; ++k) item.pdwQualities[k] = static_cast<DWORD>(random_());
        break;
    default: error = opc::kNoDataResult; break;
    }
}

HRESULT HostileAnswers::SpoilRead(OPCHDA_ITEM* items, HRESULT*& errors, DWORD count, HRESULT result) {
    if (FAILED(result) || items == nullptr) return result;
    HRESULT dummy = S_OK;
    for (DWORD i = 0; i < count; ++i)
        if (Chance(35)) SpoilItem(items[i], errors != nullptr ? errors[i] : dummy);
    if (Chance(10) && errors != nullptr) { // S_FALSE without codes
        platform::UniqueCoTaskMem<HRESULT> dropped(std::exchange(errors, nullptr));
        return S_FALSE;
    }
    if (Chance(10)) return S_OK; // S_OK whatever the codes say
    return errors != nullptr && std::any_of(errors, errors + count, [](HRESULT e) { return e != S_OK; }) ? S_FALSE : S_OK;
}

void HostileAnswers::SpoilHandles(OPCHANDLE* handles, DWORD count) {
    if (handles == nullptr || count == 0 || !Chance(25)) return;
    switch (Pick(0, 2)) {
    case 0: std::fill_n(handles, count, 0u); break;
    case 1: std::fill_n(handles, count, handles[0]); break;
    default:
        for (DWORD i = 0; i < count; ++i) handles[i] = static_cast<OPCHANDLE>(random_());
        break;
    }
}

HRESULT HostileAnswers::SpoilWrite(HRESULT*& errors, DWORD count, HRESULT result) {
    if (FAILED(result) || errors == nullptr || !Chance(40)) return result;
    const HRESULT codes[] = {S_OK, E_FAIL, opc::kInserted, opc::kReplaced, static_cast<HRESULT>(0xC004100A)};
    for (DWORD i = 0; i < count; ++i) errors[i] = codes[Pick(0, 4)];
    if (Chance(30)) {
        platform::UniqueCoTaskMem<HRESULT> dropped(std::exchange(errors, nullptr));
        return S_FALSE;
    }
    return Chance(50) ? S_OK : S_FALSE;
}

} // namespace kesti::sim
