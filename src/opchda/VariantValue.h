#pragma once
// What the reader takes from a server's VARIANT: its class, and the integer, real or text of
// element k (k = 0 for a value that is not an array).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <oaidl.h>

namespace kesti {

enum class VariantValueClass { Integer, Real, Text, Unsupported };

// Looks through VT_BYREF, arrays (by their first element) and VARIANT wrappers. An array of
// more than one dimension, or whose elements are not of the type the VARIANT names, is
// Unsupported.
VariantValueClass ValueClassOf(const VARIANT& value);

// An integer of the full width the server sent, signed or unsigned.
struct IntegerValue {
    bool isUnsigned = false;
    std::int64_t signedValue = 0;
    std::uint64_t unsignedValue = 0;

    // The nearest single-precision float.
    float ToFloat() const {
        return isUnsigned ? static_cast<float>(unsignedValue) : static_cast<float>(signedValue);
    }
};

// Each gives nothing when element k does not exist or is not of its class.
std::optional<IntegerValue> ExtractInteger(const VARIANT& value, std::size_t k = 0);
std::optional<double> ExtractReal(const VARIANT& value, std::size_t k = 0);
// Text in the process's ANSI code page; empty when there is no text.
std::string ExtractText(const VARIANT& value, std::size_t k = 0);

// Elements of an array (the first dimension's count), 1 for any other value.
std::size_t ElementCount(const VARIANT& value);

} // namespace kesti
