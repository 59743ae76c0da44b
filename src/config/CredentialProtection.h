#pragma once
// The stored form of the login credentials (the "Connection" setting): user name, password
// and domain hex-encoded, joined with "|", zero-padded to whole 8-byte blocks, enciphered
// with Blowfish under the built-in key, and hex-encoded again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kesti {

struct Credentials {
    std::string userName;
    std::string password;
    std::string domain;

    bool operator==(const Credentials& other) const {
        return userName == other.userName && password == other.password && domain == other.domain;
    }
};

// The built-in key: its 44 bytes, without a terminating zero.
const std::string& CredentialKey();

// Two lower-case hexadecimal digits per byte, high digit first.
std::string BytesToHex(const std::uint8_t* bytes, std::size_t count);
inline std::string BytesToHex(const std::string& bytes) {
    return BytesToHex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}
// Reads pairs of characters as hexadecimal numbers; false, with nothing written, for an odd
// number of characters.
bool HexToBytes(const std::string& hex, std::vector<std::uint8_t>& bytes);

// The part before the first separator; the text keeps the part after it (or becomes empty).
std::string SplitFirstField(std::string& text, char separator);

std::string EncryptConnectionString(const Credentials& credentials);

// Replaces the credentials with those of the stored value. A value that cannot be read is
// logged as "Decrypt error (...)" at Error level and leaves the credentials as they were.
void DecryptConnectionString(const std::string& stored, Credentials& credentials);

} // namespace kesti
