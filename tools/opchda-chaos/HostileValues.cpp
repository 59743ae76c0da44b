#include "HostileValues.h"

#include <cmath>
#include <cstring>
#include <limits>

#include <oleauto.h>

namespace kesti::chaos {

namespace {

BSTR TextOf(Chaos& chaos, std::size_t length) {
    BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (text == nullptr) return nullptr;
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<wchar_t>(chaos.Between(0, 0xFFFF));
    return text;
}

// A short text that is anything but plain: control characters, NUL inside, lone surrogates,
// percent signs and format characters, or a quote and a line break.
BSTR OddText(Chaos& chaos) {
    static const wchar_t* const texts[] = {L"", L"\x01\x02\x1b[2J\r\n\t", L"a\0b\0c", L"\xD800", L"\xDFFF\xD800x",
                                           L"%s%s%n%d{}", L"\"'\n\r", L"\xFEFF\xFFFF\xFFFE", L"\u00e4\u00f6\u20ac\U0001F600"};
    const int pick = chaos.Between(0, 9);
    if (pick == 9) return TextOf(chaos, static_cast<std::size_t>(chaos.Between(1, 64)));
    if (pick == 2) return SysAllocStringLen(texts[2], 5);
    return SysAllocString(texts[pick]);
}

double OddDouble(Chaos& chaos) {
    const double values[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::max(),
                             -std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(),
                             -0.0, 1e300, 3.4028235677973366e38 * 2, 16777217.0};
    return values[chaos.Between(0, 9)];
}

// One scalar of a random type the wire carries, at an edge of its range where it has one.
void Scalar(Chaos& chaos, VARIANT& value) {
    switch (chaos.Between(0, 22)) {
    case 0: value.vt = VT_EMPTY; break;
    case 1: value.vt = VT_NULL; break;
    case 2: value.vt = VT_ERROR; value.scode = static_cast<SCODE>(chaos.Bits32()); break;
    case 3: value.vt = VT_CY; value.cyVal.int64 = chaos.Chance(0.5) ? INT64_MIN : INT64_MAX; break;
    case 4: {
        const double dates[] = {-657434.0, 2958465.99999, 1e308, -1e308, std::nan(""), 0.0};
        value.vt = VT_DATE;
        value.date = dates[chaos.Between(0, 5)];
        break;
    }
    case 5:
        value.vt = VT_DECIMAL;
        value.decVal.scale = static_cast<BYTE>(chaos.Between(0, 40)); // above 28 is not a valid decimal
        value.decVal.sign = chaos.Chance(0.5) ? 0x80 : static_cast<BYTE>(chaos.Between(0, 255));
        value.decVal.Hi32 = chaos.Bits32();
        value.decVal.Lo64 = chaos.Bits64();
        break;
    case 6: value.vt = VT_I1; value.cVal = static_cast<CHAR>(chaos.Chance(0.5) ? -128 : 127); break;
    case 7: value.vt = VT_UI1; value.bVal = 255; break;
    case 8: value.vt = VT_I2; value.iVal = chaos.Chance(0.5) ? INT16_MIN : INT16_MAX; break;
    case 9: value.vt = VT_UI2; value.uiVal = UINT16_MAX; break;
    case 10: value.vt = VT_I4; value.lVal = chaos.Chance(0.5) ? INT32_MIN : INT32_MAX; break;
    case 11: value.vt = VT_UI4; value.ulVal = UINT32_MAX; break;
    case 12: value.vt = VT_I8; value.llVal = chaos.Chance(0.5) ? INT64_MIN : INT64_MAX; break;
    case 13: value.vt = VT_UI8; value.ullVal = UINT64_MAX; break;
    case 14: value.vt = VT_INT; value.intVal = INT32_MIN; break;
    case 15: value.vt = VT_UINT; value.uintVal = UINT32_MAX; break;
    case 16: value.vt = VT_R4; value.fltVal = static_cast<float>(OddDouble(chaos)); break;
    case 17: value.vt = VT_R8; value.dblVal = OddDouble(chaos); break;
    case 18: {
        const VARIANT_BOOL odd[] = {VARIANT_TRUE, VARIANT_FALSE, 1, 0x1234, static_cast<VARIANT_BOOL>(0x8000)};
        value.vt = VT_BOOL;
        value.boolVal = odd[chaos.Between(0, 4)];
        break;
    }
    case 19: value.vt = VT_BSTR; value.bstrVal = chaos.Chance(0.3) ? nullptr : OddText(chaos); break;
    case 20: value.vt = VT_DISPATCH; value.pdispVal = nullptr; break;
    case 21: value.vt = VT_UNKNOWN; value.punkVal = nullptr; break;
    default: value.vt = VT_ARRAY | VT_R8; value.parray = nullptr; break;
    }
}

void FillElement(Chaos& chaos, VARTYPE type, void* at) {
    switch (type) {
    case VT_BSTR: *static_cast<BSTR*>(at) = chaos.Chance(0.2) ? nullptr : OddText(chaos); break;
    case VT_VARIANT: Scalar(chaos, *static_cast<VARIANT*>(at)); break;
    case VT_R8: *static_cast<double*>(at) = chaos.Chance(0.5) ? OddDouble(chaos) : chaos.Real(-1e6, 1e6); break;
    case VT_R4: *static_cast<float*>(at) = static_cast<float>(OddDouble(chaos)); break;
    case VT_BOOL: *static_cast<VARIANT_BOOL*>(at) = static_cast<VARIANT_BOOL>(chaos.Bits32()); break;
    case VT_DECIMAL: {
        auto* decimal = static_cast<DECIMAL*>(at);
        decimal->scale = static_cast<BYTE>(chaos.Between(0, 28));
        decimal->Lo64 = chaos.Bits64();
        break;
    }
    default: {
        // Integers of every width, CY, DATE and ERROR: random bits of the element's size.
        const uint64_t bits = chaos.Bits64();
        std::memcpy(at, &bits, type == VT_I1 || type == VT_UI1   ? 1
                               : type == VT_I2 || type == VT_UI2 ? 2
                               : type == VT_I8 || type == VT_UI8 || type == VT_CY || type == VT_DATE ? 8
                                                                                                     : 4);
        if (type == VT_DATE) *static_cast<double*>(at) = chaos.Real(-657434.0, 2958465.0);
    }
    }
}

// A safe array of a random element type: one or two dimensions, empty or not, with lower
// bounds anywhere (negative, huge).
void Array(Chaos& chaos, VARIANT& value) {
    static const VARTYPE types[] = {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8, VT_UI8, VT_INT, VT_UINT,
                                    VT_R4, VT_R8, VT_BOOL, VT_BSTR, VT_VARIANT, VT_CY, VT_DATE, VT_ERROR, VT_DECIMAL};
    const VARTYPE type = types[chaos.Between(0, static_cast<int>(sizeof types / sizeof types[0]) - 1)];
    SAFEARRAYBOUND bounds[2] = {};
    const UINT dimensions = chaos.Chance(0.3) ? 2 : 1;
    for (UINT d = 0; d < dimensions; ++d) {
        const bool long1D = dimensions == 1 && chaos.Chance(0.01);
        bounds[d].cElements = chaos.Chance(0.2) ? 0 : static_cast<ULONG>(chaos.Between(1, long1D ? 5000 : 8));
        const LONG lows[] = {0, 1, -5, INT32_MAX - 2, INT32_MIN, 1000};
        bounds[d].lLbound = lows[chaos.Between(0, 5)];
    }
    SAFEARRAY* array = SafeArrayCreate(type, dimensions, bounds);
    if (array == nullptr) {
        value.vt = VT_EMPTY;
        return;
    }
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        const std::size_t count = static_cast<std::size_t>(bounds[0].cElements) * (dimensions == 2 ? bounds[1].cElements : 1);
        for (std::size_t i = 0; i < count; ++i)
            FillElement(chaos, type, static_cast<BYTE*>(data) + i * SafeArrayGetElemsize(array));
        SafeArrayUnaccessData(array);
    }
    value.vt = static_cast<VARTYPE>(VT_ARRAY | type);
    value.parray = array;
}

} // namespace

HRESULT RefusalCode(Chaos& chaos) {
    static const HRESULT codes[] = {E_FAIL, E_OUTOFMEMORY, E_INVALIDARG, E_NOTIMPL, E_ACCESSDENIED, E_UNEXPECTED,
                                    kMaxExceeded, kInvalidHandle, static_cast<HRESULT>(0x80010108) /* disconnected */,
                                    static_cast<HRESULT>(0x800706BA) /* server unavailable */,
                                    static_cast<HRESULT>(0x80070005), static_cast<HRESULT>(0xC004100D)};
    if (chaos.Chance(0.15)) return static_cast<HRESULT>(0x80000000u | chaos.Bits32());
    return codes[chaos.Between(0, static_cast<int>(sizeof codes / sizeof codes[0]) - 1)];
}

HRESULT SuccessCode(Chaos& chaos) {
    static const HRESULT codes[] = {S_OK, S_FALSE, kNoData, kMoreData, 0x40041005, 0x40041006, 0x4004100E, 0x4004100F};
    if (chaos.Chance(0.1)) return static_cast<HRESULT>(chaos.Bits32() & 0x7FFFFFFFu);
    return codes[chaos.Between(0, 7)];
}

HRESULT ItemCode(Chaos& chaos) { return chaos.Chance(0.5) ? SuccessCode(chaos) : RefusalCode(chaos); }

FILETIME Time(uint64_t ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

uint64_t Ticks(const FILETIME& time) { return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

uint64_t WildTicks(Chaos& chaos, std::string& what) {
    switch (chaos.Between(0, 5)) {
    case 0: what = "1601"; return static_cast<uint64_t>(chaos.Between(0, 1));
    case 1: what = "end of FILETIME"; return UINT64_MAX - static_cast<uint64_t>(chaos.Between(0, 1));
    case 2: what = "INT64_MAX"; return static_cast<uint64_t>(INT64_MAX);
    case 3: what = "year 30828"; return 0x7FFF35F4F06C7FFFull;
    case 4: what = "1970"; return 116444736000000000ull;
    default: what = "random bits"; return chaos.Bits64();
    }
}

ValueKind DrawValueKind(Chaos& chaos) {
    if (!chaos.Hostile(1.0)) return ValueKind::Double;
    const int pick = chaos.Between(0, 99);
    if (pick < 30) return ValueKind::Scalar;
    if (pick < 45) return ValueKind::Text;
    if (pick < 48) return ValueKind::HugeText;
    if (pick < 73) return ValueKind::Array;
    if (pick < 98) return ValueKind::Mixed;
    return ValueKind::WireRefused;
}

const char* KindName(ValueKind kind) {
    switch (kind) {
    case ValueKind::Double: return "double";
    case ValueKind::Scalar: return "odd scalars";
    case ValueKind::Text: return "odd texts";
    case ValueKind::HugeText: return "a huge text";
    case ValueKind::Array: return "arrays";
    case ValueKind::Mixed: return "mixed";
    case ValueKind::WireRefused: return "a type the wire may refuse";
    }
    return "?";
}

void MakeValue(Chaos& chaos, ValueKind kind, double plain, VARIANT& value) {
    VariantInit(&value);
    switch (kind) {
    case ValueKind::Double: value.vt = VT_R8; value.dblVal = plain; return;
    case ValueKind::Scalar: Scalar(chaos, value); return;
    case ValueKind::Text: value.vt = VT_BSTR; value.bstrVal = OddText(chaos); return;
    case ValueKind::HugeText:
        // A few megabytes in one value; the caller makes at most one of these per answer.
        value.vt = VT_BSTR;
        value.bstrVal = TextOf(chaos, static_cast<std::size_t>(chaos.Between(1, 2)) * 1024 * 1024);
        return;
    case ValueKind::Array: Array(chaos, value); return;
    case ValueKind::Mixed: {
        const int pick = chaos.Between(0, 9);
        if (pick < 5) Scalar(chaos, value);
        else if (pick < 7) Array(chaos, value);
        else if (pick < 8) {
            value.vt = VT_BSTR;
            value.bstrVal = OddText(chaos);
        } else {
            value.vt = VT_R8;
            value.dblVal = plain;
        }
        return;
    }
    case ValueKind::WireRefused: {
        // Types a VARIANT on the wire has no room for; what the stub does with them is the question.
        const VARTYPE types[] = {VT_VOID, VT_HRESULT, VT_PTR, 0x7FFF, VT_RECORD};
        value.vt = types[chaos.Between(0, 4)];
        value.llVal = 0;
        return;
    }
    }
}

std::wstring Name(Chaos& chaos, const wchar_t* prefix, uint64_t index, std::string& what) {
    std::wstring plain = prefix + std::to_wstring(index);
    if (!chaos.Hostile(0.15)) return plain;
    switch (chaos.Between(0, 8)) {
    case 0: what = "empty name"; return L"";
    case 1: what = "control characters"; return plain + L"\x01\x07\t\r\n\x1b";
    case 2: what = "separators"; return L"..\\/." + plain + L"/*?";
    case 3: what = "lone surrogate"; return plain + L"\xD800";
    case 4: what = "a long name"; return std::wstring(static_cast<std::size_t>(chaos.Between(300, 70000)), L'W');
    case 5: what = "a repeated name"; return prefix + std::wstring(L"0");
    case 6: what = "format characters"; return L"%s%n%x" + plain;
    case 7: what = "spaces"; return L"  " + plain + L"  ";
    default: what = "non-ASCII"; return plain + L"\u00e4\u20ac\U0001F600";
    }
}

} // namespace kesti::chaos
