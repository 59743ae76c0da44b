#include <gtest/gtest.h>

#include "base/ComError.h"
#include "base/Exception.h"

namespace kesti {
namespace {

TEST(ComError, IsCaughtAsTheBaseAndNamesTheCallAndTheResult) {
    try {
        ThrowIfFailed(E_ACCESSDENIED, "IOPCHDA_Server::GetItemHandles");
        FAIL() << "a failure must throw";
    } catch (const Exception& e) {
        const auto* comError = dynamic_cast<const ComError*>(&e);
        ASSERT_NE(comError, nullptr);
        EXPECT_EQ(comError->Result(), E_ACCESSDENIED);
        EXPECT_EQ(e.Message().rfind("IOPCHDA_Server::GetItemHandles failed: ", 0), 0u) << e.Message();
        EXPECT_NE(e.Message().find("(0x80070005)"), std::string::npos) << e.Message();
    }
}

TEST(ComError, APatternMayLeaveTheResultOutAndSuccessThrowsNothing) {
    EXPECT_NO_THROW(ThrowIfFailed(S_FALSE, "IOPCHDA_Browser::GetEnum"));
    try {
        ThrowIfFailed(static_cast<HRESULT>(0x800706BA), "PingHost", "Ping failed. Could not reach OPC Server.");
        FAIL() << "a failure must throw";
    } catch (const ComError& e) {
        EXPECT_EQ(e.Message(), "Ping failed. Could not reach OPC Server.");
        EXPECT_EQ(e.Call(), "PingHost");
    }
}

} // namespace
} // namespace kesti
