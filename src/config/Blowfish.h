#pragma once
// Blowfish as its author published it (64-bit blocks, 16 rounds, tables from the digits of
// pi), used in electronic code book mode: every 8-byte block on its own, no chaining.
#include <cstddef>
#include <cstdint>

namespace kesti {

// Encipher or decipher length bytes in place; length is a whole number of 8-byte blocks
// (a shorter tail is left as it is). Each call runs the key schedule on its own state.
void BlowfishEncryptEcb(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* buffer, std::size_t length);
void BlowfishDecryptEcb(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* buffer, std::size_t length);

// The initial tables: the fractional hexadecimal digits of pi, P-array first, then the
// four S-boxes (BlowfishTables.cpp).
extern const std::uint32_t kBlowfishInitialP[18];
extern const std::uint32_t kBlowfishInitialS[4][256];

} // namespace kesti
