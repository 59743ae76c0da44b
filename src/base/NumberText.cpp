#include "base/NumberText.h"

#include <cctype>
#include <limits>

namespace kesti {
namespace {

struct SignedMagnitude {
    bool negative = false;
    std::uint64_t magnitude = 0; // saturated at the largest 64-bit value
};

SignedMagnitude ReadLeadingNumber(const std::string& text) {
    SignedMagnitude number;
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number.negative = text[i++] == '-';
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        number.magnitude = number.magnitude > (kMax - digit) / 10 ? kMax : number.magnitude * 10 + digit;
    }
    return number;
}

} // namespace

std::int32_t ReadInt32(const std::string& text) {
    const SignedMagnitude number = ReadLeadingNumber(text);
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 31;
    if (number.negative) return number.magnitude >= kLimit ? std::numeric_limits<std::int32_t>::min()
                                                           : -static_cast<std::int32_t>(number.magnitude);
    return number.magnitude >= kLimit ? std::numeric_limits<std::int32_t>::max()
                                      : static_cast<std::int32_t>(number.magnitude);
}

std::uint64_t ReadSize64(const std::string& text) {
    const SignedMagnitude number = ReadLeadingNumber(text);
    return number.negative ? ~number.magnitude + 1 : number.magnitude;
}

} // namespace kesti
