// Blowfish against the published test vectors (Eric Young's ECB and variable key-length sets).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/Blowfish.h"
#include "config/CredentialProtection.h"

namespace kesti {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(HexToBytes(hex, bytes));
    return bytes;
}

std::string Encipher(const std::string& keyHex, const std::string& plainHex) {
    const auto key = Bytes(keyHex);
    auto block = Bytes(plainHex);
    BlowfishEncryptEcb(key.data(), key.size(), block.data(), block.size());
    return BytesToHex(block.data(), block.size());
}

std::string Decipher(const std::string& keyHex, const std::string& cipherHex) {
    const auto key = Bytes(keyHex);
    auto block = Bytes(cipherHex);
    BlowfishDecryptEcb(key.data(), key.size(), block.data(), block.size());
    return BytesToHex(block.data(), block.size());
}

struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
};

TEST(Blowfish, EcbTestVectors) {
    const Vector vectors[] = {
        {"0000000000000000", "0000000000000000", "4ef997456198dd78"},
        {"ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
        {"3000000000000000", "1000000000000001", "7d856f9a613063f2"},
        {"1111111111111111", "1111111111111111", "2466dd878b963c9d"},
        {"0123456789abcdef", "1111111111111111", "61f9c3802281b096"},
        {"1111111111111111", "0123456789abcdef", "7d0cc630afda1ec7"},
        {"fedcba9876543210", "0123456789abcdef", "0aceab0fc6a0a28d"},
        {"7ca110454a1a6e57", "01a1d6d039776742", "59c68245eb05282b"},
    };
    for (const Vector& v : vectors) {
        EXPECT_EQ(Encipher(v.key, v.plain), v.cipher) << "key " << v.key;
        EXPECT_EQ(Decipher(v.key, v.cipher), v.plain) << "key " << v.key;
    }
}

TEST(Blowfish, VariableKeyLengthTestVectors) {
    const std::string key = "f0e1d2c3b4a5968778695a4b3c2d1e0f0011223344556677";
    const char* const ciphers[] = {
        "f9ad597c49db005e", "e91d21c1d961a6d6", "e9c2b70a1bc65cf3", "be1e639408640f05", "b39e44481bdb1e6e",
        "9457aa83b1928c0d", "8bb77032f960629d", "e87a244e2cc85e82", "15750e7a4f4ec577", "122ba70b3ab64ae0",
        "3a833c9affc537f6", "9409da87a90f6bf2", "884f80625060b8b4", "1f85031c19e11968", "79d9373a714ca34f",
        "93142887ee3be15c", "03429e838ce2d14b", "a4299e27469ff67b", "afd5aed1c1bc96a8", "10851c0e3858da9f",
        "e6f51ed79b9db21f", "64a6e14afd36b46f", "80c7d7d45a5479ad", "05044b62fa52d080",
    };
    for (std::size_t length = 1; length <= 24; ++length)
        EXPECT_EQ(Encipher(key.substr(0, 2 * length), "fedcba9876543210"), ciphers[length - 1])
            << "key of " << length << " bytes";
}

TEST(Blowfish, EveryBlockIsEncipheredOnItsOwn) {
    EXPECT_EQ(Encipher("0123456789abcdef", "11111111111111111111111111111111"), "61f9c3802281b09661f9c3802281b096");
}

} // namespace
} // namespace kesti
