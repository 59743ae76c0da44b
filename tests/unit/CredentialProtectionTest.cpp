#include <gtest/gtest.h>

#include "TempDataFolder.h"
#include "config/Blowfish.h"
#include "config/CredentialProtection.h"

namespace kesti::test {
namespace {

using CredentialTest = TempDataFolderTest;

// The stored form of an arbitrary inner text, as a damaged or foreign file might hold it.
std::string StoredFromInnerText(const std::string& inner) {
    std::vector<std::uint8_t> buffer((inner.size() + 7) / 8 * 8, 0);
    std::copy(inner.begin(), inner.end(), buffer.begin());
    const std::string& key = CredentialKey();
    BlowfishEncryptEcb(reinterpret_cast<const std::uint8_t*>(key.data()), key.size(), buffer.data(), buffer.size());
    return BytesToHex(buffer.data(), buffer.size());
}

Credentials ReadBack(const std::string& stored) {
    Credentials read{"previous user", "previous password", "previous domain"};
    DecryptConnectionString(stored, read);
    return read;
}

TEST(CredentialHex, LowerCaseTwoDigitsPerByte) {
    EXPECT_EQ(BytesToHex(std::string("\x0a\xff\x00 ", 4)), "0aff0020");
    std::vector<std::uint8_t> bytes;
    EXPECT_FALSE(HexToBytes("abc", bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(HexToBytes("0AfF", bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x0a, 0xff}));
}

TEST(SplitFirstField, TakesTheTextBeforeTheFirstSeparator) {
    std::string text = "a|b|c";
    EXPECT_EQ(SplitFirstField(text, '|'), "a");
    EXPECT_EQ(text, "b|c");
    text = "whole";
    EXPECT_EQ(SplitFirstField(text, '|'), "whole");
    EXPECT_EQ(text, "");
}

TEST(CredentialKey, IsTheFortyFourBytesOfTheBuiltInText) {
    EXPECT_EQ(CredentialKey().size(), 44u);
    EXPECT_EQ(CredentialKey().front(), 'K');
    EXPECT_EQ(CredentialKey().back(), ';');
}

TEST_F(CredentialTest, EmptyCredentialsAreOneBlockOfSixteenLowerCaseDigits) {
    const std::string stored = EncryptConnectionString({});
    EXPECT_EQ(stored.size(), 16u);
    EXPECT_EQ(stored, StoredFromInnerText("||"));
    EXPECT_EQ(stored.find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST_F(CredentialTest, AnInnerTextOfExactlyEightBytesGetsNoPadding) {
    const Credentials credentials{"ab", "c", ""}; // "6162|63|" is 8 bytes
    const std::string stored = EncryptConnectionString(credentials);
    EXPECT_EQ(stored.size(), 16u);
    EXPECT_EQ(ReadBack(stored), credentials);
}

TEST_F(CredentialTest, EveryValueWrittenReadsBackAsItsThreeTexts) {
    const Credentials cases[] = {
        {"operator", "s3cret|pipe", "PLANT"},
        {"operator", "s3cret", ""},
        {"operator", "", "PLANT"}, // an empty password between two fields
        {"", "password", "PLANT"},
        {"", "", ""},
        {"\xE4rger", "\x80\xFF", "dom\xE4ne with blanks  "},
        {std::string(40, 'u'), std::string(33, 'p'), "d"},
    };
    for (const Credentials& c : cases) {
        EXPECT_EQ(ReadBack(EncryptConnectionString(c)), c) << c.userName << "/" << c.password << "/" << c.domain;
    }
    EXPECT_EQ(LogText().find("Decrypt error"), std::string::npos);
}

TEST_F(CredentialTest, TwoFieldsFailAsStringTwo) {
    EXPECT_EQ(ReadBack(StoredFromInnerText("6162|6364")).userName, "previous user");
    EXPECT_NE(LogText().find("[Error]\r\nDecrypt error (Could not parse string 2)\r\n"), std::string::npos);
}

TEST_F(CredentialTest, OneFieldFailsAsStringOne) {
    ReadBack(StoredFromInnerText("6162"));
    EXPECT_NE(LogText().find("Decrypt error (Could not parse string 1)"), std::string::npos);
}

TEST_F(CredentialTest, FourFieldsFailAsStringThree) {
    EXPECT_EQ(ReadBack(StoredFromInnerText("61|62|63|64")).domain, "previous domain");
    EXPECT_NE(LogText().find("Decrypt error (Could not parse string 3)"), std::string::npos);
}

TEST_F(CredentialTest, AFieldOfOddLengthKeepsTheFirstHalfOfItsText) {
    EXPECT_EQ(ReadBack(StoredFromInnerText("616|62|63")).userName, "6");
}

TEST_F(CredentialTest, ValuesThatCannotHaveBeenWrittenAreRefusedBeforeDeciphering) {
    const std::string valid = EncryptConnectionString({"u", "p", "d"});
    for (const std::string& bad : {std::string(), valid.substr(1), valid.substr(0, 14),
                                   valid + "00", "zz" + valid.substr(2)}) {
        ResetLogState();
        DeleteFileA(LogFilePath().c_str());
        const Credentials read = ReadBack(bad);
        EXPECT_EQ(read.userName, "previous user") << "stored '" << bad << "'";
        EXPECT_NE(LogText().find("[Error]\r\nDecrypt error ("), std::string::npos) << "stored '" << bad << "'";
    }
}

} // namespace
} // namespace kesti::test
