#include "config/Blowfish.h"

#include <algorithm>
#include <cstring>

namespace kesti {
namespace {

constexpr int kRounds = 16;

class BlowfishState {
public:
    BlowfishState(const std::uint8_t* key, std::size_t keyLength) {
        std::memcpy(p_, kBlowfishInitialP, sizeof p_);
        std::memcpy(s_, kBlowfishInitialS, sizeof s_);
        MixKeyIntoP(key, keyLength);
        std::uint32_t left = 0, right = 0;
        for (int i = 0; i < kRounds + 2; i += 2) {
            Encipher(left, right);
            p_[i] = left;
            p_[i + 1] = right;
        }
        for (auto& box : s_)
            for (int i = 0; i < 256; i += 2) {
                Encipher(left, right);
                box[i] = left;
                box[i + 1] = right;
            }
    }

    void Encipher(std::uint32_t& left, std::uint32_t& right) const {
        for (int i = 0; i < kRounds; ++i) {
            left ^= p_[i];
            right ^= F(left);
            std::swap(left, right);
        }
        std::swap(left, right);
        right ^= p_[kRounds];
        left ^= p_[kRounds + 1];
    }

    void Decipher(std::uint32_t& left, std::uint32_t& right) const {
        for (int i = kRounds + 1; i > 1; --i) {
            left ^= p_[i];
            right ^= F(left);
            std::swap(left, right);
        }
        std::swap(left, right);
        right ^= p_[1];
        left ^= p_[0];
    }

private:
    // Key bytes taken cyclically, four at a time, the first as the most significant.
    void MixKeyIntoP(const std::uint8_t* key, std::size_t keyLength) {
        if (keyLength == 0) return;
        std::size_t k = 0;
        for (auto& entry : p_) {
            std::uint32_t word = 0;
            for (int b = 0; b < 4; ++b) {
                word = (word << 8) | key[k];
                k = (k + 1) % keyLength;
            }
            entry ^= word;
        }
    }

    std::uint32_t F(std::uint32_t x) const {
        return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
    }

    std::uint32_t p_[kRounds + 2];
    std::uint32_t s_[4][256];
};

std::uint32_t LoadBigEndian(const std::uint8_t* bytes) {
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) |
           std::uint32_t(bytes[3]);
}

void StoreBigEndian(std::uint32_t word, std::uint8_t* bytes) {
    bytes[0] = static_cast<std::uint8_t>(word >> 24);
    bytes[1] = static_cast<std::uint8_t>(word >> 16);
    bytes[2] = static_cast<std::uint8_t>(word >> 8);
    bytes[3] = static_cast<std::uint8_t>(word);
}

template <class Transform>
void ForEachBlock(std::uint8_t* buffer, std::size_t length, Transform transform) {
    for (std::size_t offset = 0; offset + 8 <= length; offset += 8) {
        std::uint32_t left = LoadBigEndian(buffer + offset);
        std::uint32_t right = LoadBigEndian(buffer + offset + 4);
        transform(left, right);
        StoreBigEndian(left, buffer + offset);
        StoreBigEndian(right, buffer + offset + 4);
    }
}

} // namespace

void BlowfishEncryptEcb(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* buffer, std::size_t length) {
    const BlowfishState state(key, keyLength);
    ForEachBlock(buffer, length, [&](std::uint32_t& l, std::uint32_t& r) { state.Encipher(l, r); });
}

void BlowfishDecryptEcb(const std::uint8_t* key, std::size_t keyLength, std::uint8_t* buffer, std::size_t length) {
    const BlowfishState state(key, keyLength);
    ForEachBlock(buffer, length, [&](std::uint32_t& l, std::uint32_t& r) { state.Decipher(l, r); });
}

} // namespace kesti
