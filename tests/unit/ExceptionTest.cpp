#include <gtest/gtest.h>

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
        const OverflowError cause("too large");
        outer = std::make_unique<Exception>("wrapped", cause);
    }
    ASSERT_NE(outer->Cause(), nullptr);
    EXPECT_NE(dynamic_cast<const OverflowError*>(outer->Cause()), nullptr);
    EXPECT_EQ(ExceptionText(*outer), "wrapped\ntoo large");
}

TEST(Exception, CopiesShareTheCause) {
    const Exception original("a", Exception("b"));
    const Exception copy = original; // NOLINT(performance-unnecessary-copy-initialization)
    EXPECT_EQ(copy.Cause(), original.Cause());
}

TEST(Exception, SubclassesAreCaughtAsTheBaseAndCloneAsThemselves) {
    try {
        throw UnderflowError("below");
    } catch (const Exception& e) {
        EXPECT_NE(dynamic_cast<UnderflowError*>(e.Clone().get()), nullptr);
        EXPECT_EQ(e.Message(), "below");
    }
    EXPECT_NE(dynamic_cast<InvalidArgument*>(InvalidArgument("x").Clone().get()), nullptr);
}

} // namespace
} // namespace kesti
