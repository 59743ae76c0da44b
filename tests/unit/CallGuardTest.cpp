#include <stdexcept>

#include <gtest/gtest.h>

#include "TempDataFolder.h"
#include "base/ComError.h"
#include "interface/CallGuard.h"

namespace kesti::test {
namespace {

using CallGuardTest = TempDataFolderTest;

TEST_F(CallGuardTest, PluginExceptionIsLoggedWithItsMessage) {
    const KestiResult result = LoggingGuard("kesti2_connectionOpen", []() -> KestiResult {
        throw ComError(REGDB_E_CLASSNOTREG, "NvCreateInstanceEx", "Could not load server.");
    });
    EXPECT_EQ(result, ResultFailed);
    EXPECT_NE(LogText().find("[Error]\r\nkesti2_connectionOpen: Operation failed (Could not load server.).\r\n"),
              std::string::npos)
        << LogText();
}

TEST_F(CallGuardTest, StandardExceptionIsLoggedWithItsDescription) {
    const KestiResult result = LoggingGuard("kesti2_connectionReadCurrentData", []() -> KestiResult {
        throw std::runtime_error("disk on fire");
    });
    EXPECT_EQ(result, ResultFailed);
    EXPECT_NE(LogText().find("kesti2_connectionReadCurrentData: Operation failed (disk on fire).\r\n"),
              std::string::npos);
}

TEST_F(CallGuardTest, AnythingElseIsLoggedAsUnknown) {
    EXPECT_EQ(LoggingGuard("kesti2_nodeGetBatchTimes", []() -> KestiResult { throw 42; }), ResultFailed);
    EXPECT_NE(LogText().find("kesti2_nodeGetBatchTimes: Operation failed with unknown error.\r\n"), std::string::npos);
}

TEST_F(CallGuardTest, SuccessPassesTheResultAndLogsNothing) {
    EXPECT_EQ(LoggingGuard("x", [] { return ResultOk; }), ResultOk);
    EXPECT_EQ(SilentGuard([]() -> KestiResult { throw std::bad_alloc(); }), ResultFailed);
    EXPECT_FALSE(FileExists(LogFilePath()));
}

} // namespace
} // namespace kesti::test
