// A connection whose server process ends: the next call connects again, or fails in time.
#include "dll/ConnectionFixture.h"

#include <chrono>

namespace kesti::test {
namespace {

constexpr int32_t kT0 = 1704067200; // 2024-01-01 00:00:00 UTC

const char* const kPlant = R"({ "items": [
    { "name": "a", "values": [ { "time": "2024-01-01 00:00:00", "value": 1 }, { "time": "2024-01-01 00:01:00", "value": 2 } ] },
    { "name": "b", "values": [ { "time": "2024-01-01 00:00:00", "value": 10 } ] } ] })";

class ReconnectTest : public ConnectionTest {
protected:
    std::string ReadOne(ConnectionHandle c, TagHandle tag, int32_t time, KestiResult* result = nullptr) {
        VectorHandle row = nullptr;
        const KestiResult r = Dll().kesti2_connectionReadHistoricalData(c, &tag, 1, time, &row);
        if (result != nullptr) *result = r;
        const std::string cell = row != nullptr ? Cell(row, 0) : "no row";
        Dll().kesti2_vectorFree(row);
        return cell;
    }
    // A connection to the plant over the whole server, read once so that it holds a handle.
    ConnectionHandle OpenAndReadOnce(std::vector<TagHandle>& tags) {
        WriteConfiguration(kSimulationServerUrl, {{"OPC", ""}});
        ConnectionHandle c = Open();
        if (c == nullptr) return nullptr;
        tags = TagsOf(c, 0);
        EXPECT_EQ(ReadOne(c, tags[0], kT0), "1");
        return c;
    }
};

TEST_F(ReconnectTest, AReadAfterTheServerEndedConnectsAgainWithFreshHandles) {
    SimulationServer sim(kPlant);
    std::vector<TagHandle> tags;
    ConnectionHandle c = OpenAndReadOnce(tags);
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(sim.EndNewestProcess());

    KestiResult result = ResultFailed;
    EXPECT_EQ(ReadOne(c, tags[0], kT0 + 60, &result), "2");
    EXPECT_EQ(result, ResultOk);
    EXPECT_EQ(sim.Calls("Activate").size(), 2u);
    EXPECT_EQ(sim.Calls("GetItemHandles").size(), 2u) << "the handle is asked of the new server";
    const std::string log = ReadLog("OPCHDAKestiLog.log");
    EXPECT_EQ(Occurrences(log, "[Warning]\r\nThe connection to the server was lost ("), 1u) << log;
    EXPECT_NE(log.find("Connected again to server localhost; the call is made again."), std::string::npos);

    // b never had a handle of the old server; a and b are asked once of the new one
    EXPECT_EQ(ReadOne(c, tags[1], kT0), "10");
    VectorHandle row = nullptr;
    Dll().kesti2_vectorCreate(1, &row);
    Dll().kesti2_vectorSetFloat(row, 0, 3.0f);
    EXPECT_EQ(Dll().kesti2_connectionWriteHistoricalData(c, &tags[0], 1, kT0 + 120, row), ResultOk);
    Dll().kesti2_vectorFree(row);
    Dll().kesti2_connectionClose(c);
    const auto released = sim.Calls("ReleaseItemHandles");
    ASSERT_EQ(released.size(), 1u) << "the dead handles are never released";
    EXPECT_EQ(released[0], "ReleaseItemHandles count=2 handles=[1,2]");
}

TEST_F(ReconnectTest, AWriteAfterTheServerEndedConnectsAgainAndWritesEveryRow) {
    SimulationServer sim(kPlant);
    std::vector<TagHandle> tags;
    ConnectionHandle c = OpenAndReadOnce(tags);
    ASSERT_NE(c, nullptr);
    TagHandle tag = tags[1];
    EXPECT_EQ(ReadOne(c, tag, kT0), "10");
    ASSERT_TRUE(sim.EndNewestProcess());
    VectorHandle rows[2] = {};
    for (int r = 0; r < 2; ++r) {
        Dll().kesti2_vectorCreate(1, &rows[r]);
        Dll().kesti2_vectorSetFloat(rows[r], 0, 20.0f + r);
    }
    EXPECT_EQ(Dll().kesti2_connectionWriteHistoricalDataEx(c, &tag, 1, kT0 + 60, 60, 2, rows), ResultOk);
    for (VectorHandle v : rows) Dll().kesti2_vectorFree(v);
    EXPECT_EQ(ReadOne(c, tag, kT0 + 120), "21") << "both rows reached the new server";
    Dll().kesti2_connectionClose(c);
}

// While the server cannot be started, a read fails at once and says why; once it can, the
// same connection reads again.
TEST_F(ReconnectTest, AServerThatStaysGoneFailsTheReadInTimeAndALaterReadWorks) {
    SimulationServer sim(kPlant);
    std::vector<TagHandle> tags;
    ConnectionHandle c = OpenAndReadOnce(tags);
    ASSERT_NE(c, nullptr);
    sim.RewriteDataFile("not a data file");
    ASSERT_TRUE(sim.EndNewestProcess());

    const auto started = std::chrono::steady_clock::now();
    const TagHandle both[] = {tags[0], tags[1]};
    VectorHandle row = nullptr;
    EXPECT_EQ(Dll().kesti2_connectionReadHistoricalData(c, both, 2, kT0, &row), ResultFailed);
    EXPECT_EQ(row, nullptr);
    EXPECT_NE(ReadLog("OPCHDAKestiLog.log").find("kesti2_connectionReadHistoricalDataEx: Operation failed ("),
              std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(sim.Calls("DataFileError").size(), 1u) << "one activation is tried in one export call";

    sim.RewriteDataFile(kPlant);
    EXPECT_EQ(ReadOne(c, tags[0], kT0 + 60), "2");
    Dll().kesti2_connectionClose(c);
    EXPECT_EQ(sim.Calls("ReleaseItemHandles").size(), 1u);
}

} // namespace
} // namespace kesti::test
