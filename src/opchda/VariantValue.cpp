#include "opchda/VariantValue.h"

#include <oleauto.h>

#include "base/TextConversion.h"

namespace kesti {
namespace {

// One scalar: its base type (no VT_BYREF, no VT_ARRAY, never VT_VARIANT) and its storage.
struct Scalar {
    VARTYPE type = VT_EMPTY;
    const void* data = nullptr;
};

const SAFEARRAY* ArrayOf(const VARIANT& value) {
    if (!(V_VT(&value) & VT_ARRAY)) return nullptr;
    if (V_VT(&value) & VT_BYREF) return V_ARRAYREF(&value) != nullptr ? *V_ARRAYREF(&value) : nullptr;
    return V_ARRAY(&value);
}

// Types that share one storage: a SAFEARRAY keeps VT_INT elements as VT_I4, say.
VARTYPE StorageOf(VARTYPE type) {
    switch (type) {
    case VT_INT: return VT_I4;
    case VT_UINT: return VT_UI4;
    default: return type;
    }
}

// Whether the array's elements are what the VARIANT's type says they are: a server may send
// VT_ARRAY | VT_BSTR over an array of doubles, whose elements must never be taken as texts.
bool HoldsElementsOf(const SAFEARRAY& array, VARTYPE type) {
    VARTYPE own = VT_EMPTY;
    return SUCCEEDED(SafeArrayGetVartype(const_cast<SAFEARRAY*>(&array), &own)) && StorageOf(own) == StorageOf(type);
}

std::size_t TotalElements(const SAFEARRAY& array) {
    std::size_t total = array.cDims > 0 ? 1 : 0;
    for (USHORT d = 0; d < array.cDims; ++d) total *= array.rgsabound[d].cElements;
    return total;
}

// The storage of a plain (non-array, non-reference) VARIANT's value; a DECIMAL fills the
// whole VARIANT.
const void* InlineData(const VARIANT& value, VARTYPE base) {
    if (base == VT_DECIMAL) return &V_DECIMAL(&value);
    return &V_UI1(&value);
}

// Resolves element k of a VARIANT to one scalar; type VT_EMPTY when there is none.
Scalar Resolve(const VARIANT& value, std::size_t k, int depth = 0) {
    if (depth > 4) return {};
    const VARTYPE base = V_VT(&value) & ~(VT_ARRAY | VT_BYREF);
    if (const SAFEARRAY* array = ArrayOf(value)) {
        if (array->pvData == nullptr || k >= TotalElements(*array) || !HoldsElementsOf(*array, base)) return {};
        const auto* element = static_cast<const unsigned char*>(array->pvData) + k * array->cbElements;
        if (base == VT_VARIANT) return Resolve(*reinterpret_cast<const VARIANT*>(element), 0, depth + 1);
        return {base, element};
    }
    if (k != 0) return {};
    if (V_VT(&value) & VT_BYREF) {
        if (V_BYREF(&value) == nullptr) return {};
        if (base == VT_VARIANT) return Resolve(*V_VARIANTREF(&value), 0, depth + 1);
        return {base, V_BYREF(&value)};
    }
    if (base == VT_VARIANT) return {}; // a plain VT_VARIANT holds nothing
    return {base, InlineData(value, base)};
}

template <class T>
T Read(const Scalar& s) {
    return *static_cast<const T*>(s.data);
}

VariantValueClass ClassOfType(VARTYPE type) {
    switch (type) {
    case VT_I2: case VT_I4: case VT_BOOL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4:
    case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
        return VariantValueClass::Integer;
    case VT_R4: case VT_R8: case VT_DECIMAL:
        return VariantValueClass::Real;
    case VT_BSTR:
        return VariantValueClass::Text;
    default:
        return VariantValueClass::Unsupported;
    }
}

IntegerValue Signed(std::int64_t v) { return IntegerValue{false, v, 0}; }
IntegerValue Unsigned(std::uint64_t v) { return IntegerValue{true, 0, v}; }

} // namespace

VariantValueClass ValueClassOf(const VARIANT& value) {
    const VARTYPE base = V_VT(&value) & ~(VT_ARRAY | VT_BYREF);
    // Only arrays of one dimension whose elements are of the type the VARIANT names are read.
    if (const SAFEARRAY* array = ArrayOf(value); array != nullptr && (array->cDims != 1 || !HoldsElementsOf(*array, base)))
        return VariantValueClass::Unsupported;
    if (base != VT_VARIANT) return ClassOfType(base);
    const Scalar first = Resolve(value, 0); // a wrapper is judged by what it holds first
    return first.data != nullptr ? ClassOfType(first.type) : VariantValueClass::Unsupported;
}

std::optional<IntegerValue> ExtractInteger(const VARIANT& value, std::size_t k) {
    const Scalar s = Resolve(value, k);
    if (s.data == nullptr) return std::nullopt;
    switch (s.type) {
    case VT_I1: return Signed(Read<signed char>(s));
    case VT_I2: return Signed(Read<SHORT>(s));
    case VT_I4: return Signed(Read<LONG>(s));
    case VT_INT: return Signed(Read<INT>(s));
    case VT_I8: return Signed(Read<LONGLONG>(s));
    case VT_UI1: return Unsigned(Read<BYTE>(s));
    case VT_UI2: return Unsigned(Read<USHORT>(s));
    case VT_UI4: return Unsigned(Read<ULONG>(s));
    case VT_UINT: return Unsigned(Read<UINT>(s));
    case VT_UI8: return Unsigned(Read<ULONGLONG>(s));
    case VT_BOOL: return Signed(Read<VARIANT_BOOL>(s) != 0 ? 1 : 0);
    default: return std::nullopt;
    }
}

std::optional<double> ExtractReal(const VARIANT& value, std::size_t k) {
    const Scalar s = Resolve(value, k);
    if (s.data == nullptr) return std::nullopt;
    switch (s.type) {
    case VT_R4: return static_cast<double>(Read<FLOAT>(s));
    case VT_R8: return Read<DOUBLE>(s);
    case VT_DECIMAL: {
        double converted = 0;
        DECIMAL decimal = Read<DECIMAL>(s);
        if (FAILED(VarR8FromDec(&decimal, &converted))) return std::nullopt;
        return converted;
    }
    default: return std::nullopt;
    }
}

std::string ExtractText(const VARIANT& value, std::size_t k) {
    const Scalar s = Resolve(value, k);
    if (s.data == nullptr || s.type != VT_BSTR) return {};
    const BSTR text = Read<BSTR>(s);
    return text != nullptr ? AnsiFromWide(text, SysStringLen(text)) : std::string();
}

std::size_t ElementCount(const VARIANT& value) {
    const SAFEARRAY* array = ArrayOf(value);
    if (array == nullptr) return 1;
    return array->cDims > 0 ? array->rgsabound[0].cElements : 0;
}

} // namespace kesti
