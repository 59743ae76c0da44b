#pragma once
// Numbers in the configuration's texts, read the way C's atoi reads them: blanks, a sign,
// the digits up to the first other character; no digits give 0.
#include <cstdint>
#include <string>

namespace kesti {

// Saturates at the 32-bit limits instead of overflowing.
std::int32_t ReadInt32(const std::string& text);
// For a 64-bit size: magnitudes up to 2^64 - 1 keep their value and a negative number
// wraps, so -1 and 18446744073709551615 are the same largest size.
std::uint64_t ReadSize64(const std::string& text);

} // namespace kesti
