#include <gtest/gtest.h>

#include "base/ComError.h"
#include "base/Exception.h"

namespace kesti {
namespace {

TEST(ExceptionText, IsTheMessageAloneWithoutCause) {
    EXPECT_EQ(ExceptionText(Exception("Could not load server.")), "Could not load server.");
}

TEST(ExceptionText, JoinsTheChainOutermostFirstWithSingleLineFeeds) {
    const Exception inner("inner");
    const Exception middle("middle", inner);
    const Exception outer("outer", middle);
    EXPECT_EQ(ExceptionText(outer), "outer\nmiddle\ninner");
}

TEST(Exception, CauseKeepsItsDynamicClassAndOutlivesTheOriginal) {
    std::unique_ptr<Exception> outer;
    {
        const ComError cause(E_OUTOFMEMORY, "IOPCHDA_SyncRead::ReadRaw", "too large");
        outer = std::make_unique<Exception>("wrapped", cause);
    }
    ASSERT_NE(outer->Cause(), nullptr);
    const auto* comCause = dynamic_cast<const ComError*>(outer->Cause());
    ASSERT_NE(comCause, nullptr);
    EXPECT_EQ(comCause->Result(), E_OUTOFMEMORY);
    EXPECT_EQ(comCause->Call(), "IOPCHDA_SyncRead::ReadRaw");
    EXPECT_EQ(ExceptionText(*outer), "wrapped\ntoo large");
}

TEST(Exception, CopiesShareTheCause) {
    const Exception original("a", Exception("b"));
    const Exception copy = original; // NOLINT(performance-unnecessary-copy-initialization)
    EXPECT_EQ(copy.Cause(), original.Cause());
}

TEST(Exception, SubclassesAreCaughtAsTheBaseAndCloneAsThemselves) {
    try {
        ThrowIfFailed(E_ACCESSDENIED, "IOPCHDA_Server::GetItemHandles");
        FAIL() << "a failure must throw";
    } catch (const Exception& e) {
        const auto clone = e.Clone();
        const auto* comError = dynamic_cast<const ComError*>(clone.get());
        ASSERT_NE(comError, nullptr);
        EXPECT_EQ(comError->Result(), E_ACCESSDENIED);
        EXPECT_EQ(e.Message().rfind("IOPCHDA_Server::GetItemHandles failed: ", 0), 0u) << e.Message();
        EXPECT_NE(e.Message().find("(0x80070005)"), std::string::npos) << e.Message();
    }
    EXPECT_NE(dynamic_cast<InvalidArgument*>(InvalidArgument("x").Clone().get()), nullptr);
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
