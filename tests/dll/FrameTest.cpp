// The call frame through the real DLL: argument checks, guards and where the log goes.
#include "dll/DllFixture.h"

namespace kesti::test {
namespace {

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST_F(DllTest, AnOpenWithoutConfigurationCannotLoadAServerAndStoresNothing) {
    int host = 0;
    ConnectionHandle connection = reinterpret_cast<ConnectionHandle>(0x1);
    EXPECT_EQ(Dll().kesti2_connectionOpen(&host, &connection), ResultFailed);
    EXPECT_EQ(connection, reinterpret_cast<ConnectionHandle>(0x1));
    const std::string log = ReadLog("OPCHDAKestiLog.log");
    EXPECT_EQ(Count(log, "Operation failed"), 1u) << log;
    EXPECT_NE(log.find("[Error]\r\nkesti2_connectionOpen: Operation failed (Could not load server.).\r\n"),
              std::string::npos) << log;
}

TEST_F(DllTest, ArgumentFailuresWriteNoRecord) {
    ConnectionHandle connection = nullptr;
    EXPECT_EQ(Dll().kesti2_connectionOpen(nullptr, &connection), ResultInvalidArgument);
    int host = 0;
    EXPECT_EQ(Dll().kesti2_connectionOpen(&host, nullptr), ResultInvalidArgument);
    EXPECT_EQ(Dll().kesti2_connectionClose(nullptr), ResultOk);
    EXPECT_EQ(Dll().kesti2_connectionReadDiscreteData(), ResultNotSupported);
    EXPECT_EQ(Dll().kesti2_connectionWriteDiscreteData(), ResultNotSupported);
    EXPECT_EQ(GetFileAttributesA((MachineDataFolder() + "\\KestiLog.log").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DllTest, HugeVectorIsRefusedWithoutEndingTheHost) {
    VectorHandle vector = nullptr;
    EXPECT_EQ(Dll().kesti2_vectorCreate(4294967295u, &vector), ResultFailed);
    EXPECT_EQ(vector, nullptr);
}

TEST_F(DllTest, StringsAndVectorsRoundTripThroughTheDll) {
    VectorHandle row = nullptr;
    ASSERT_EQ(Dll().kesti2_vectorCreate(2, &row), ResultOk);
    ASSERT_EQ(Dll().kesti2_vectorSetString(row, 1, "\xB0" "C"), ResultOk);
    StringHandle text = nullptr;
    ASSERT_EQ(Dll().kesti2_vectorGetString(row, 1, &text), ResultOk);
    EXPECT_EQ(TakeString(text), "\xB0" "C");
    EXPECT_EQ(Dll().kesti2_vectorFree(row), ResultOk);
}

} // namespace
} // namespace kesti::test
