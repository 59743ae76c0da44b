// The DLL as a host meets it: loaded by path, exports found by name.
#include <regex>

#include "dll/DllFixture.h"

namespace kesti::test {
namespace {

TEST_F(DllTest, IdentityNamesTheProductAndItsBuildTime) {
    StringHandle identity = nullptr;
    ASSERT_EQ(Dll().kesti2_getIdentity(&identity), ResultOk);
    const std::string text = TakeString(identity);
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(OpcHDAKesti \([A-Z][a-z]{2} [ 123]\d \d{4} \d\d:\d\d:\d\d\))")))
        << text;
    EXPECT_EQ(Dll().kesti2_getIdentity(nullptr), ResultInvalidArgument);
}

TEST_F(DllTest, TheRundllEntryIsExported) {
    EXPECT_NE(GetProcAddress(Dll().Module(), "UpdateOPCConfiguration"), nullptr);
}

} // namespace
} // namespace kesti::test
