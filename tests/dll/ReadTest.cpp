// Reading through the DLL's exports from the out-of-process simulation server.
#include <algorithm>
#include <cstdio>

#include "dll/ConnectionFixture.h"

namespace kesti::test {
namespace {

// 2024-01-01 00:00:00 UTC
constexpr int32_t kT0 = 1704067200;

// A time as the simulation server's journal writes it: 100-ns ticks since 1601.
long long FileTicks(int32_t seconds) { return (static_cast<long long>(seconds) + 11644473600LL) * 10000000LL; }

const char* const kHistory = R"({
  "server": { "maxValuesPerCall": 50 },
  "branches": [
    { "name": "P", "items": [
        { "name": "good", "values": [ { "time": "2024-01-01 00:00:00", "value": 1 },
                                      { "time": "2024-01-01 00:00:30", "value": 2, "quality": "bad" },
                                      { "time": "2024-01-01 00:01:00", "value": 3 } ] },
        { "name": "late", "type": "VT_BSTR", "values": [ { "time": "2024-01-01 00:01:00", "value": "on" } ] },
        { "name": "ramp", "type": "VT_UI4",
          "generate": { "kind": "ramp", "start": "2024-01-01 00:00:00", "interval": "1S", "count": 120 } },
        { "name": "vec", "type": "VT_ARRAY|VT_R4", "lowerBound": 1,
          "values": [ { "time": "2024-01-01 00:00:00", "value": [10, 20, 30] } ] },
        { "name": "refused", "handleError": "0xC0040007", "handleValue": 1,
          "values": [ { "time": "2024-01-01 00:00:00", "value": 99 } ] },
        { "name": "twin", "handleValue": 1, "values": [ { "time": "2024-01-01 00:00:00", "value": 98 } ] } ] },
    { "name": "Q", "items": [ { "name": "big", "type": "VT_UI4",
          "values": [ { "time": "2024-01-01 00:00:00", "value": 3000000000 } ] } ] } ] })";

class ReadTest : public ConnectionTest {
protected:
    ConnectionHandle OpenHistory(SimulationServer& sim) {
        (void)sim;
        WriteConfiguration(kSimulationServerUrl, {{"P", "P"}, {"Q", "Q"}},
                           "<arraynode tag=\"P.vec\" size=\"3\"><arraytag>v1</arraytag><arraytag>v2</arraytag>"
                           "<arraytag>v3</arraytag></arraynode>\n");
        return Open();
    }

    std::vector<std::vector<std::string>> Read(ConnectionHandle c, const std::vector<TagHandle>& tags, int32_t start,
                                               int32_t step, uint32_t rows) {
        std::vector<VectorHandle> out(rows);
        EXPECT_EQ(Dll().kesti2_connectionReadHistoricalDataEx(c, tags.data(), static_cast<uint32_t>(tags.size()), start,
                                                               step, rows, out.data()),
                  ResultOk);
        std::vector<std::vector<std::string>> table;
        for (VectorHandle row : out) {
            std::vector<std::string> cells;
            for (uint32_t i = 0; i < tags.size(); ++i) cells.push_back(Cell(row, i));
            table.push_back(cells);
            Dll().kesti2_vectorFree(row);
        }
        return table;
    }
};

using Rows = std::vector<std::vector<std::string>>;

TEST_F(ReadTest, HistoricalRowsHoldTheLastGoodValueAndLeaveBadOnesMissing) {
    SimulationServer sim(kHistory);
    ConnectionHandle c = OpenHistory(sim);
    ASSERT_NE(c, nullptr);
    const auto p = TagsOf(c, 0);
    // rows at 00:00:00, 00:00:45, 00:01:30 for "good" and "late" (its first value after row 0)
    EXPECT_EQ(Read(c, {p[0], p[1]}, kT0, 45, 3), (Rows{{"1", "-"}, {"-", "-"}, {"3", "\"on\""}}));
    const std::string log = ReadLog("OPCHDAKestiLog.log");
    EXPECT_NE(log.find("[Warning]\r\n"), std::string::npos);
    EXPECT_NE(log.find("quality: \"RAW|BAD\""), std::string::npos) << log;
    EXPECT_EQ(sim.Calls("ReadRaw").size(), 1u) << "one raw read for the node";
    Dll().kesti2_connectionClose(c);
    EXPECT_EQ(sim.Calls("ReleaseItemHandles").size(), 1u);
}

TEST_F(ReadTest, AHeldBadValueIsOneWarningForAllTheRowsItLeavesMissing) {
    SimulationServer sim(kHistory);
    ConnectionHandle c = OpenHistory(sim);
    ASSERT_NE(c, nullptr);
    const auto p = TagsOf(c, 0);
    // 00:00:30 to 00:00:59 at one-second steps: the bad value of 00:00:30 is held by all 30 rows
    EXPECT_EQ(Read(c, {p[0]}, kT0 + 30, 1, 30), Rows(30, {"-"}));
    Dll().kesti2_connectionClose(c);
    const std::string log = ReadLog("OPCHDAKestiLog.log");
    EXPECT_EQ(Occurrences(log, "data values for tag P.good"), 1u) << "not one record per row";
    EXPECT_NE(log.find("quality: \"RAW|BAD\", value: { vt: 5, value: \"2\" }\r\nRows left missing: 30, from "
                       "2024-01-01 00:00:30.000 UTC to 2024-01-01 00:00:59.000 UTC."),
              std::string::npos)
        << log;
}

TEST_F(ReadTest, AReadThatTheServerCutsShortIsContinuedToTheEnd) {
    SimulationServer sim(kHistory);
    ConnectionHandle c = OpenHistory(sim);
    ASSERT_NE(c, nullptr);
    const auto rows = Read(c, {TagsOf(c, 0)[2]}, kT0, 1, 120);
    ASSERT_EQ(rows.size(), 120u);
    for (int r = 0; r < 120; ++r) EXPECT_EQ(rows[r][0], std::to_string(r)) << "row " << r;
    const auto calls = sim.Calls("ReadRaw");
    ASSERT_EQ(calls.size(), 3u) << "50 + 50 + the rest";
    const auto endOf = [](const std::string& line) { return line.substr(line.find(" end="), line.find(" numValues=") - line.find(" end=")); };
    EXPECT_EQ(endOf(calls[1]), endOf(calls[0])) << "every continuation keeps the first request's end";
    EXPECT_EQ(endOf(calls[2]), endOf(calls[0]));
    Dll().kesti2_connectionClose(c);
}

// A continuation that fails, brings nothing or brings nothing newer leaves the rows after the
// last value that arrived missing, with one Warning, instead of holding that value on.
TEST_F(ReadTest, ARowAfterTheValuesOfAReadCutShortStaysMissing) {
    struct Case {
        const char* server;
        const char* arrivedUpTo;
        int rowsWithValues;
        const char* result;
    };
    const Case cases[] = {
        {R"("maxValuesPerCall": 50, "faultOnCall": { "ReadRaw": { "call": 2, "result": "0x80004005" } })",
         "values arrived up to 2024-01-01 00:00:49.000 UTC", 50, "0x80004005"},
        {R"("maxValuesPerCall": 50, "faultOnCall": { "ReadRaw": { "call": 3, "empty": true } })",
         "values arrived up to 2024-01-01 00:01:38.000 UTC", 99, "0x00000000"},
        {R"("maxValuesPerCall": 50, "faultOnCall": { "ReadRaw": { "call": 2, "itemError": "0xC0040001" } })",
         "values arrived up to 2024-01-01 00:00:49.000 UTC", 50, "0xc0040001"},
        {R"("maxValuesPerCall": 1)", "values arrived up to 2024-01-01 00:00:00.000 UTC", 1, "0x40041003"},
    };
    // Forward reads: one row at a time, a server that gives one value per call is read whole.
    const std::string forward = "<setting key=\"ReadShape\" value=\"forward\" />\n";
    for (const Case& test : cases) {
        SCOPED_TRACE(test.server);
        DeleteFileA((MachineDataFolder() + "\\OPCHDAKestiLog.log").c_str());
        SimulationServer sim(std::string(R"({ "server": { )") + test.server + R"( }, "items": [ { "name": "ramp", "type": "VT_UI4",
            "generate": { "kind": "ramp", "start": "2024-01-01 00:00:00", "interval": "1S", "count": 120 } } ] })");
        WriteConfiguration(kSimulationServerUrl, {{"OPC", ""}}, "", forward);
        ConnectionHandle c = Open();
        ASSERT_NE(c, nullptr);
        const auto rows = Read(c, TagsOf(c, 0), kT0, 1, 120);
        Dll().kesti2_connectionClose(c);
        ASSERT_EQ(rows.size(), 120u);
        for (int r = 0; r < 120; ++r)
            EXPECT_EQ(rows[r][0], r < test.rowsWithValues ? std::to_string(r) : "-") << "row " << r;
        const std::string log = ReadLog("OPCHDAKestiLog.log");
        EXPECT_EQ(Occurrences(log, "The server cut short the read of tag ramp"), 1u) << log;
        const std::size_t at = log.find("[Warning]\r\nThe server cut short the read of tag ramp (result: ");
        ASSERT_NE(at, std::string::npos) << log;
        const std::string record = log.substr(at, log.find("\r\n", at + 12) - at);
        EXPECT_NE(record.find(std::string(test.result) + ")): " + test.arrivedUpTo + ". Rows left missing: " +
                              std::to_string(120 - test.rowsWithValues) + "."),
                  std::string::npos)
            << record;
    }
}

// A server that answers every call slowly is asked no longer than ServerTimeLimit: by a read,
// whose unfinished items are cut short, and by the browse of a node at open, which keeps the
// names listed so far. Counted in calls, not in time.
TEST_F(ReadTest, AServerThatAnswersSlowlyIsAskedNoLongerThanTheTimeLimit) {
    std::string items;
    for (int i = 0; i < 20; ++i)
        items += std::string(i ? "," : "") + R"({ "name": "t)" + std::to_string(i) + R"(", "generate": { "kind": "ramp",
            "start": "2024-01-01 00:00:00", "interval": "1S", "count": 120 } })";
    SimulationServer sim(R"({ "server": { "maxValuesPerCall": 10, "delayMs": { "ReadRaw": 400, "GetItemID": 300 } },
        "branches": [ { "name": "P", "items": [ )" + items + " ] } ] }");
    WriteConfiguration(kSimulationServerUrl, {{"P", "P"}}, "",
                       "<setting key=\"ServerTimeLimit\" value=\"2\" />\n<setting key=\"ReadShape\" value=\"forward\" />\n");
    ConnectionHandle c = Open();
    ASSERT_NE(c, nullptr);
    const std::vector<TagHandle> tags = TagsOf(c, 0);
    ASSERT_FALSE(tags.empty());
    EXPECT_LT(tags.size(), 20u) << "the browse went on past its time limit";
    EXPECT_LE(sim.Calls("GetItemID").size(), tags.size() + 1);
    std::string log = ReadLog("OPCHDAKestiLog.log");
    EXPECT_EQ(Occurrences(log, "[Error]\r\nBrowsing stopped after 2 seconds (the ServerTimeLimit setting): the server "
                               "answers too slowly; the names listed so far are kept."), 1u) << log;

    const auto rows = Read(c, {tags[0]}, kT0, 1, 120);
    Dll().kesti2_connectionClose(c);
    const std::size_t calls = sim.Calls("ReadRaw").size();
    EXPECT_GE(calls, 2u);
    EXPECT_LT(calls, 12u) << "120 values at 10 a call would take 12 calls or more";
    ASSERT_EQ(rows.size(), 120u);
    const std::size_t filled = static_cast<std::size_t>(
        std::count_if(rows.begin(), rows.end(), [](const std::vector<std::string>& row) { return row[0] != "-"; }));
    for (std::size_t r = 0; r < 120; ++r) EXPECT_EQ(rows[r][0], r < filled ? std::to_string(r) : "-") << "row " << r;
    char lastArrived[16] = {};
    std::snprintf(lastArrived, sizeof lastArrived, "%02d:%02d", static_cast<int>(filled - 1) / 60,
                  static_cast<int>(filled - 1) % 60);
    log = ReadLog("OPCHDAKestiLog.log");
    EXPECT_EQ(Occurrences(log, "[Warning]\r\nThe read of tag P.t0 stopped at its time limit (the ServerTimeLimit setting): "
                               "values arrived up to 2024-01-01 00:" + std::string(lastArrived) +
                               ".000 UTC. Rows left missing: " + std::to_string(120 - filled) + "."), 1u) << log;
}

// A server that finds the interval too long, for the whole call or for one item, gets it in
// halves; the values join in time order, the seams neither doubled nor lost.
TEST_F(ReadTest, AnIntervalTooLongForTheServerIsReadInHalves) {
    SimulationServer sim(R"({ "server": { "maxIntervalSeconds": 60, "maxValuesPerCall": 25 }, "items": [
        { "name": "ramp", "type": "VT_UI4",
          "generate": { "kind": "ramp", "start": "2024-01-01 00:00:00", "interval": "1S", "count": 120 } },
        { "name": "step", "type": "VT_UI4", "maxIntervalSeconds": 20,
          "generate": { "kind": "ramp", "start": "2024-01-01 00:00:00", "interval": "10S", "count": 12, "step": 10 } } ] })");
    WriteConfiguration(kSimulationServerUrl, {{"OPC", ""}});
    ConnectionHandle c = Open();
    ASSERT_NE(c, nullptr);
    const auto rows = Read(c, TagsOf(c, 0), kT0, 1, 120);
    Dll().kesti2_connectionClose(c);
    ASSERT_EQ(rows.size(), 120u);
    for (int r = 0; r < 120; ++r) {
        EXPECT_EQ(rows[r][0], std::to_string(r)) << "row " << r;
        EXPECT_EQ(rows[r][1], std::to_string(r / 10 * 10)) << "row " << r;
    }
    const auto calls = sim.Calls("ReadRaw");
    ASSERT_GE(calls.size(), 3u);
    EXPECT_NE(calls[0].find("handles=[1,2]"), std::string::npos) << "first the whole interval for both";
    EXPECT_NE(calls[1].find("handles=[1,2]"), std::string::npos) << "then a half for both";
    std::size_t stepAlone = 0;
    for (const std::string& line : calls) stepAlone += line.find("handles=[2]") != std::string::npos ? 1 : 0;
    EXPECT_GE(stepAlone, 4u) << "quarters of the halves for the item with the shorter limit";
    const std::string log = ReadLog("OPCHDAKestiLog.log");
    EXPECT_EQ(Occurrences(log, "the interval was split"), 1u) << log;
    EXPECT_NE(log.find("[Information]\r\nThe server could not read 2024-01-01 00:00:00.000 UTC to 2024-01-01 00:01:59.000 "
                       "UTC at once (result: "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("the interval was split and read in " + std::to_string(calls.size()) + " calls."), std::string::npos);
}

// A day of one-second values read into hourly rows: after a first chunk shows how many
// values lie between the rows, each row left is read backwards with one call for all items;
// an item whose values all came with the first chunk is not asked again. A server that
// cannot read backwards gets forward reads for the rest of the connection, with one record.
TEST_F(ReadTest, RowsFarApartInValuesAreReadOneRowAtATime) {
    const char* const items = R"("items": [
        { "name": "ramp", "type": "VT_UI4",
          "generate": { "kind": "ramp", "start": "2024-01-01 00:00:00", "interval": "1S", "count": 86400 } },
        { "name": "twice", "type": "VT_UI4",
          "generate": { "kind": "ramp", "start": "2024-01-01 00:00:00", "interval": "1S", "count": 86400, "step": 2 } },
        { "name": "rare", "values": [ { "time": "2023-12-31 12:00:00", "value": 7 },
                                      { "time": "2024-01-01 05:00:00", "value": 8, "quality": "bad" } ] } ] })";
    Rows expected;
    for (int h = 0; h < 24; ++h)
        expected.push_back({std::to_string(3600 * h), std::to_string(7200 * h), h < 5 ? "7" : "-"});
    const struct {
        const char* backwardReads;
        const char* record; // the record of a server that does not read backwards
    } servers[] = {{"answer", nullptr},
                   {"fail", "The server does not read backwards as asked (result: "},
                   {"outside", "The server does not read backwards as asked (it answered outside the stretch asked)"}};
    for (const auto& server : servers) {
        SCOPED_TRACE(server.backwardReads);
        DeleteFileA((MachineDataFolder() + "\\OPCHDAKestiLog.log").c_str());
        SimulationServer sim(std::string(R"({ "server": { "backwardReads": ")") + server.backwardReads + "\" }, " + items);
        WriteConfiguration(kSimulationServerUrl, {{"OPC", ""}});
        ConnectionHandle c = Open();
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(Read(c, TagsOf(c, 0), kT0, 3600, 24), expected);
        const std::size_t firstRead = sim.Calls("ReadRaw").size();
        EXPECT_EQ(Read(c, TagsOf(c, 0), kT0, 3600, 24), expected);
        Dll().kesti2_connectionClose(c);

        const auto calls = sim.Calls("ReadRaw");
        std::size_t backward = 0, withRare = 0;
        for (const std::string& line : calls) {
            backward += line.find("numValues=1 bounds=0") != std::string::npos ? 1 : 0;
            withRare += line.find("3]") != std::string::npos ? 1 : 0;
        }
        const std::string log = ReadLog("OPCHDAKestiLog.log");
        if (server.record == nullptr) {
            EXPECT_LE(firstRead, 30u) << "a first chunk and a call per row, not the day's 86 400 values";
            EXPECT_EQ(backward, 2u * 23) << "rows 1 to 23 of each read, backwards";
            EXPECT_EQ(withRare, 2u) << "the item whose values came with the first chunk is read no further";
            EXPECT_EQ(Occurrences(log, "one at a time"), 2u) << log;
        } else {
            EXPECT_EQ(Occurrences(log, server.record), 1u) << log;
            EXPECT_EQ(Occurrences(log, "does not read backwards"), 1u) << log;
            EXPECT_LE(backward, 2u) << "after the first refusal, forward only";
        }
        EXPECT_EQ(Occurrences(log, "The server cut short"), 0u) << log;
        EXPECT_EQ(Occurrences(log, "data values for tag rare"), 2u) << "the bad value's Warning, once per read\n" << log;
    }
}

TEST_F(ReadTest, HandlesAreAskedOncePerTagAndARefusedOneIsNeverUsed) {
    SimulationServer sim(kHistory);
    ConnectionHandle c = OpenHistory(sim);
    ASSERT_NE(c, nullptr);
    const auto p = TagsOf(c, 0);
    // "refused" gets the handle of "good" from the server: its cells must stay missing.
    EXPECT_EQ(Read(c, {p[0], p[3]}, kT0, 60, 2), (Rows{{"1", "-"}, {"3", "-"}}));
    EXPECT_EQ(Read(c, {p[0], p[3]}, kT0, 60, 1), (Rows{{"1", "-"}}));
    EXPECT_EQ(sim.Calls("GetItemHandles").size(), 1u);
    for (const std::string& line : sim.Calls("ReadRaw")) EXPECT_NE(line.find("handles=[1]"), std::string::npos) << line;
    Dll().kesti2_connectionClose(c);
    EXPECT_EQ(sim.Calls("ReleaseItemHandles").at(0), "ReleaseItemHandles count=1 handles=[1]");
    EXPECT_NE(ReadLog("OPCHDAKestiLog.log").find("IOPCHDA_Server::GetItemHandles partially failed:\r\nItem 1 (P.refused) failed: "),
              std::string::npos);
}

// A server that gives a second item the handle of the first: the second is neither read nor
// written (it would get the first's values), and the handle is released once.
TEST_F(ReadTest, AHandleGivenToTwoItemsServesOnlyTheFirst) {
    SimulationServer sim(kHistory);
    ConnectionHandle c = OpenHistory(sim);
    ASSERT_NE(c, nullptr);
    const auto p = TagsOf(c, 0);
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(Read(c, {p[0], p[4]}, kT0, 60, 2), (Rows{{"1", "-"}, {"3", "-"}}));
    Dll().kesti2_connectionClose(c);
    EXPECT_EQ(sim.Calls("ReleaseItemHandles").at(0), "ReleaseItemHandles count=1 handles=[1]");
    EXPECT_NE(ReadLog("OPCHDAKestiLog.log").find("gave these items a handle it had given to another item; they are not "
                                                 "read or written:\r\nP.twin (handle 1)"),
              std::string::npos)
        << ReadLog("OPCHDAKestiLog.log");
}

TEST_F(ReadTest, TagsOfTwoNodesAndArrayElementsFillTheirOwnColumns) {
    SimulationServer sim(kHistory);
    ConnectionHandle c = OpenHistory(sim);
    ASSERT_NE(c, nullptr);
    const auto p = TagsOf(c, 0);
    const auto q = TagsOf(c, 1);
    const auto vec = TagsOf(c, 0, 0);
    ASSERT_EQ(vec.size(), 3u);
    EXPECT_EQ(Read(c, {vec[2], q[0], p[0], vec[0]}, kT0, 0, 1), (Rows{{"30", "3e+09", "1", "10"}}));
    EXPECT_EQ(sim.Calls("ReadRaw").size(), 3u) << "one per node: P, Q and the array node";
    Dll().kesti2_connectionClose(c);
}

// An array value of another size than configured leaves every element's cells missing and is
// told once per read and array, with the rows it leaves missing.
TEST_F(ReadTest, AnArrayOfTheWrongSizeIsOneErrorPerRead) {
    SimulationServer sim(kHistory);
    WriteConfiguration(kSimulationServerUrl, {{"P", "P"}},
                       "<arraynode tag=\"P.vec\" size=\"2\"><arraytag>v1</arraytag><arraytag>v2</arraytag></arraynode>\n");
    ConnectionHandle c = Open();
    ASSERT_NE(c, nullptr);
    const auto vec = TagsOf(c, 0, 0);
    ASSERT_EQ(vec.size(), 2u);
    const Rows rows = Read(c, {vec[0], vec[1]}, kT0, 1, 60);
    EXPECT_EQ(rows, Rows(60, {"-", "-"}));
    const std::string log = ReadLog("OPCHDAKestiLog.log");
    EXPECT_EQ(Occurrences(log, "Array data does not match the set size."), 1u) << log;
    EXPECT_NE(log.find("[Error]\r\nArray data does not match the set size. Returning missing values. 3 elements read from "
                       "tag P.vec, expected 2 (the size attribute set in the configuration)\r\nRows left missing: 60, from "),
              std::string::npos) << log;
    Dll().kesti2_connectionClose(c);
}

// A server that answers a count of values with a NULL array is never read through: the
// item's rows stay missing, a Warning says so, and the host goes on.
TEST_F(ReadTest, AnItemWhoseArraysAreMissingIsCutShortNotReadThrough) {
    for (const char* array : {"times", "qualities", "values"}) {
        SCOPED_TRACE(array);
        SimulationServer sim(std::string(R"({ "server": { "faultOnCall": { "ReadRaw": { "call": 1, "nullArray": ")") + array +
                             R"(" } } }, "branches": [ { "name": "P", "items": [ { "name": "a", "values": [
                                 { "time": "2024-01-01 00:00:00", "value": 1 } ] } ] } ] })");
        WriteConfiguration(kSimulationServerUrl, {{"P", "P"}});
        ConnectionHandle c = Open();
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(Read(c, {TagsOf(c, 0)[0]}, kT0, 60, 3), Rows(3, {"-"}));
        EXPECT_EQ(Read(c, {TagsOf(c, 0)[0]}, kT0, 60, 1), Rows(1, {"1"})) << "the next answer is whole again";
        EXPECT_NE(ReadLog("OPCHDAKestiLog.log").find("The server cut short the read of tag P.a (result: "),
                  std::string::npos) << ReadLog("OPCHDAKestiLog.log");
        EXPECT_NE(ReadLog("OPCHDAKestiLog.log").find("(0x80004003)): no values arrived. Rows left missing: 3."),
                  std::string::npos) << ReadLog("OPCHDAKestiLog.log");
        Dll().kesti2_connectionClose(c);
        DeleteFileA((MachineDataFolder() + "\\OPCHDAKestiLog.log").c_str());
    }
}

TEST_F(ReadTest, CurrentValuesAndUpdateTimes) {
    SimulationServer sim(kHistory);
    ConnectionHandle c = OpenHistory(sim);
    ASSERT_NE(c, nullptr);
    const auto p = TagsOf(c, 0);
    uint32_t updated = 1;
    Dll().kesti2_tagGetUpdateTime(p[0], &updated);
    EXPECT_EQ(updated, 0u);
    VectorHandle current = nullptr;
    ASSERT_EQ(Dll().kesti2_connectionReadCurrentData(c, p.data(), 2, &current), ResultOk);
    EXPECT_EQ(Cell(current, 0), "3");
    EXPECT_EQ(Cell(current, 1), "\"on\"");
    Dll().kesti2_vectorFree(current);
    Dll().kesti2_tagGetUpdateTime(p[0], &updated);
    EXPECT_EQ(updated, static_cast<uint32_t>(kT0 + 60));
    EXPECT_NE(sim.Calls("ReadRaw").at(0).find("end={bString=1,szTime=,"), std::string::npos) << sim.Calls("ReadRaw").at(0);
    EXPECT_NE(sim.Calls("ReadRaw").at(0).find("numValues=1 bounds=1"), std::string::npos);

    // The element tags of an array share the array's update time: one element read, all moved.
    const auto vec = TagsOf(c, 0, 0);
    ASSERT_EQ(vec.size(), 3u);
    ASSERT_EQ(Dll().kesti2_connectionReadCurrentData(c, vec.data(), 1, &current), ResultOk);
    Dll().kesti2_vectorFree(current);
    Dll().kesti2_tagGetUpdateTime(vec[2], &updated);
    EXPECT_EQ(updated, static_cast<uint32_t>(kT0));
    Dll().kesti2_connectionClose(c);
}

TEST_F(ReadTest, PointReadsWithAndWithoutNullTimeValues) {
    SimulationServer sim(kHistory);
    ConnectionHandle c = OpenHistory(sim);
    ASSERT_NE(c, nullptr);
    const auto p = TagsOf(c, 0);
    // A step below one second is a point read: every row gets the value at the start.
    EXPECT_EQ(Read(c, {p[0]}, kT0 + 70, 0, 3), (Rows{{"3"}, {"3"}, {"3"}}));
    EXPECT_NE(sim.Calls("ReadRaw").back().find("start={bString=1,szTime=,"), std::string::npos) << sim.Calls("ReadRaw").back();
    EXPECT_NE(sim.Calls("ReadRaw").back().find("numValues=1 bounds=0"), std::string::npos);
    // One row with a step asks for [S - step, S], with bounds.
    EXPECT_EQ(Read(c, {p[0]}, kT0 + 60, 60, 1), (Rows{{"3"}}));
    const std::string oneRow = sim.Calls("ReadRaw").back();
    EXPECT_NE(oneRow.find("start={bString=0,szTime=,ft=" + std::to_string(FileTicks(kT0)) + "}"), std::string::npos) << oneRow;
    EXPECT_NE(oneRow.find("bounds=1"), std::string::npos) << oneRow;
    Dll().kesti2_connectionClose(c);

    WriteConfiguration(kSimulationServerUrl, {{"P", "P"}}, "", "<setting key=\"UseNullTimeValues\" value=\"0\" />\n");
    c = Open();
    ASSERT_NE(c, nullptr);
    const auto again = TagsOf(c, 0);
    EXPECT_EQ(Read(c, {again[0]}, kT0 + 70, 0, 1), (Rows{{"3"}}));
    const std::string point = "ft=" + std::to_string(FileTicks(kT0 + 70)) + "}";
    EXPECT_NE(sim.Calls("ReadRaw").back().find(point + " end={bString=0,szTime=," + point), std::string::npos)
        << sim.Calls("ReadRaw").back();
    EXPECT_NE(sim.Calls("ReadRaw").back().find("bounds=1"), std::string::npos) << sim.Calls("ReadRaw").back();
    VectorHandle current = nullptr;
    ASSERT_EQ(Dll().kesti2_connectionReadCurrentData(c, again.data(), 1, &current), ResultOk);
    EXPECT_EQ(Cell(current, 0), "3");
    EXPECT_NE(sim.Calls("ReadRaw").back().find("szTime=NOW+1S"), std::string::npos) << sim.Calls("ReadRaw").back();
    Dll().kesti2_vectorFree(current);
    Dll().kesti2_connectionClose(c);
}

TEST_F(ReadTest, AServerWithoutSyncReadFailsTheReadUnderTheExName) {
    SimulationServer sim(R"({ "server": { "missingInterfaces": ["IOPCHDA_SyncRead"] }, "items": [ { "name": "x" } ] })");
    WriteConfiguration(kSimulationServerUrl, {{"OPC", ""}});
    ConnectionHandle c = Open();
    ASSERT_NE(c, nullptr);
    const auto tags = TagsOf(c, 0);
    VectorHandle value = nullptr;
    EXPECT_EQ(Dll().kesti2_connectionReadHistoricalData(c, tags.data(), 1, kT0, &value), ResultFailed);
    EXPECT_EQ(value, nullptr);
    EXPECT_NE(ReadLog("OPCHDAKestiLog.log")
                  .find("[Error]\r\nkesti2_connectionReadHistoricalDataEx: Operation failed (Could not read data.)."),
              std::string::npos);
    Dll().kesti2_connectionClose(c);
}

} // namespace
} // namespace kesti::test
