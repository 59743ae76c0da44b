#include "config/CredentialProtection.h"

#include <algorithm>
#include <cctype>

#include <boost/format.hpp>

#include "config/Blowfish.h"
#include "base/Exception.h"
#include "base/Log.h"

namespace kesti {
namespace {

const std::uint8_t* KeyBytes() { return reinterpret_cast<const std::uint8_t*>(CredentialKey().data()); }

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A pair read as a hexadecimal number stops at its first character that is no digit.
std::uint8_t PairValue(char high, char low) {
    const int h = HexDigitValue(high);
    if (h < 0) return 0;
    const int l = HexDigitValue(low);
    return static_cast<std::uint8_t>(l < 0 ? h : h * 16 + l);
}

// A field's hex text decoded; an odd-length one is kept as the first half of its text.
std::string DecodeField(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    if (!HexToBytes(hex, bytes)) return hex.substr(0, hex.size() / 2);
    return std::string(bytes.begin(), bytes.end());
}

// Only what EncryptConnectionString can have produced is deciphered: a non-empty whole
// number of 16-digit blocks of hexadecimal digits.
void RequireWellFormedStoredValue(const std::string& stored) {
    if (stored.empty() || stored.size() % 16 != 0)
        throw Exception((boost::format("The stored credentials have %1% hexadecimal digits, not a multiple of 16") %
                         stored.size())
                            .str());
    const auto bad = std::find_if(stored.begin(), stored.end(), [](char c) { return HexDigitValue(c) < 0; });
    if (bad != stored.end())
        throw Exception((boost::format("The stored credentials hold a character that is no hexadecimal digit at "
                                       "position %1%") %
                         (bad - stored.begin()))
                            .str());
}

std::string Decipher(const std::string& stored) {
    std::vector<std::uint8_t> bytes;
    HexToBytes(stored, bytes);
    BlowfishDecryptEcb(KeyBytes(), CredentialKey().size(), bytes.data(), bytes.size());
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0}); // the padding ends the text
    return std::string(bytes.begin(), end);
}

std::size_t CountOf(const std::string& text, char c) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), c)); }

// Parses the deciphered "user|password|domain"; throws for texts of another shape.
void ParseInnerText(std::string inner, Credentials& credentials) {
    // Exactly three fields is the shape that EncryptConnectionString writes: all three are
    // taken, whichever of them are empty, so that nothing is lost on the next save.
    if (CountOf(inner, '|') == 2) {
        const std::string user = SplitFirstField(inner, '|');
        const std::string password = SplitFirstField(inner, '|');
        credentials = Credentials{DecodeField(user), DecodeField(password), DecodeField(inner)};
        return;
    }
    // Any other shape was written elsewhere: fields one at a time, each one a failure of its own.
    const std::string field1 = SplitFirstField(inner, '|');
    if (field1.empty()) return;
    if (inner.empty()) throw Exception("Could not parse string 1");
    Credentials read{DecodeField(field1), {}, {}};
    const std::string field2 = SplitFirstField(inner, '|');
    if (!field2.empty()) {
        if (inner.empty()) throw Exception("Could not parse string 2");
        read.password = DecodeField(field2);
        const std::string field3 = SplitFirstField(inner, '|');
        if (!field3.empty()) {
            if (!inner.empty()) throw Exception("Could not parse string 3");
            read.domain = DecodeField(field3);
        }
    }
    credentials = read;
}

} // namespace

const std::string& CredentialKey() {
    static const std::string key = "Key/ForSecrets/Scrambling/Halvorsen(Tables);";
    return key;
}

std::string BytesToHex(const std::uint8_t* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0x0F];
    }
    return hex;
}

bool HexToBytes(const std::string& hex, std::vector<std::uint8_t>& bytes) {
    if (hex.size() % 2 != 0) return false;
    bytes.resize(hex.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = PairValue(hex[2 * i], hex[2 * i + 1]);
    return true;
}

std::string SplitFirstField(std::string& text, char separator) {
    const auto at = text.find(separator);
    std::string field;
    if (at == std::string::npos) {
        field.swap(text);
    } else {
        field = text.substr(0, at);
        text.erase(0, at + 1);
    }
    return field;
}

std::string EncryptConnectionString(const Credentials& credentials) {
    const std::string inner = (boost::format("%1%|%2%|%3%") % BytesToHex(credentials.userName) %
                               BytesToHex(credentials.password) % BytesToHex(credentials.domain))
                                  .str();
    std::vector<std::uint8_t> buffer((inner.size() + 7) / 8 * 8, 0);
    std::copy(inner.begin(), inner.end(), buffer.begin());
    BlowfishEncryptEcb(KeyBytes(), CredentialKey().size(), buffer.data(), buffer.size());
    return BytesToHex(buffer.data(), buffer.size());
}

void DecryptConnectionString(const std::string& stored, Credentials& credentials) {
    try {
        RequireWellFormedStoredValue(stored);
        ParseInnerText(Decipher(stored), credentials);
    } catch (const Exception& e) {
        LogMessage(LogError, (boost::format("Decrypt error (%1%)") % e.Message()).str());
    }
}

} // namespace kesti
