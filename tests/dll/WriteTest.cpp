// Writing through the DLL's exports into the out-of-process simulation server.
#include "dll/ConnectionFixture.h"

#include <algorithm>

namespace kesti::test {
namespace {

constexpr int32_t kT0 = 1704067200; // 2024-01-01 00:00:00 UTC

const char* const kPlant = R"({ "branches": [ { "name": "P", "items": [
    { "name": "a" }, { "name": "b", "type": "VT_BSTR" }, { "name": "vec", "type": "VT_ARRAY|VT_R4" },
    { "name": "refused", "handleError": "0xC0040007", "handleValue": 1 } ] } ] })";

class WriteTest : public ConnectionTest {
protected:
    ConnectionHandle OpenPlant(const std::string& arrayNodes = "<arraynode tag=\"P.vec\" size=\"2\"><arraytag>v0</arraytag>"
                                                               "<arraytag>v1</arraytag></arraynode>\n") {
        WriteConfiguration(kSimulationServerUrl, {{"P", "P"}}, arrayNodes);
        return Open();
    }
    VectorHandle Row(const std::vector<std::pair<int, std::string>>& cells, uint32_t length) {
        VectorHandle row = nullptr;
        Dll().kesti2_vectorCreate(length, &row);
        for (const auto& [i, value] : cells) {
            if (!value.empty() && value[0] == '"') Dll().kesti2_vectorSetString(row, i, value.substr(1).c_str());
            else Dll().kesti2_vectorSetFloat(row, i, std::stof(value));
        }
        return row;
    }
};

TEST_F(WriteTest, OneInsertReplacePerRowAndTheValuesReadBack) {
    SimulationServer sim(kPlant);
    ConnectionHandle c = OpenPlant();
    ASSERT_NE(c, nullptr);
    const auto p = TagsOf(c, 0);
    const TagHandle tags[] = {p[0], p[1]};
    VectorHandle rows[] = {Row({{0, "1.5"}, {1, "\"x"}}, 2), Row({{0, "2.5"}, {1, "\"y"}}, 2), Row({{0, "3.5"}}, 2)};
    EXPECT_EQ(Dll().kesti2_connectionWriteHistoricalDataEx(c, tags, 2, kT0, 60, 3, rows), ResultOk);
    const auto calls = sim.Calls("InsertReplace");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_NE(calls[0].find("count=2 handles=[1,2] times=[133485408000000000,133485408000000000] values=[vt4:1.5,vt8:x]"),
              std::string::npos) << calls[0];
    EXPECT_NE(calls[2].find("count=1 handles=[1] times=[133485409200000000] values=[vt4:3.5]"), std::string::npos)
        << "the missing cell of the third row is not sent: " << calls[2];
    uint32_t updated = 0;
    Dll().kesti2_tagGetUpdateTime(p[1], &updated);
    EXPECT_EQ(updated, static_cast<uint32_t>(kT0 + 60)) << "no value of P.b was sent at +120";
    VectorHandle back[3] = {};
    ASSERT_EQ(Dll().kesti2_connectionReadHistoricalDataEx(c, tags, 2, kT0, 60, 3, back), ResultOk);
    EXPECT_EQ(Cell(back[1], 0), "2.5");
    EXPECT_EQ(Cell(back[1], 1), "\"y\"");
    EXPECT_EQ(Cell(back[2], 0), "3.5");
    for (VectorHandle v : back) Dll().kesti2_vectorFree(v);
    for (VectorHandle v : rows) Dll().kesti2_vectorFree(v);
    Dll().kesti2_connectionClose(c);
}

TEST_F(WriteTest, AnArrayIsWrittenWholeOrNotAtAll) {
    SimulationServer sim(kPlant);
    ConnectionHandle c = OpenPlant();
    ASSERT_NE(c, nullptr);
    const auto vec = TagsOf(c, 0, 0);
    ASSERT_EQ(vec.size(), 2u);
    const TagHandle both[] = {vec[1], vec[0]};
    VectorHandle row = Row({{0, "2"}, {1, "1"}}, 2);
    EXPECT_EQ(Dll().kesti2_connectionWriteHistoricalData(c, both, 2, kT0, row), ResultOk);
    ASSERT_EQ(sim.Calls("InsertReplace").size(), 1u);
    EXPECT_NE(sim.Calls("InsertReplace")[0].find("count=1 "), std::string::npos);
    EXPECT_NE(sim.Calls("InsertReplace")[0].find("values=[vt8196]"), std::string::npos) << sim.Calls("InsertReplace")[0];
    const TagHandle one[] = {vec[0]};
    VectorHandle single = Row({{0, "5"}}, 1);
    EXPECT_EQ(Dll().kesti2_connectionWriteHistoricalData(c, one, 1, kT0 + 60, single), ResultOk);
    EXPECT_EQ(sim.Calls("InsertReplace").size(), 1u) << "nothing is guessed";
    EXPECT_NE(ReadLog("OPCHDAKestiLog.log").find("[Error]\r\nArray tag P.vec is not written: a write of an array needs all "
                                                 "of its element tags in one request. Rows not written: 1, from "
                                                 "2024-01-01 00:01:00 to 2024-01-01 00:01:00."),
              std::string::npos) << ReadLog("OPCHDAKestiLog.log");
    VectorHandle read = nullptr;
    ASSERT_EQ(Dll().kesti2_connectionReadHistoricalData(c, both, 2, kT0, &read), ResultOk);
    EXPECT_EQ(Cell(read, 0), "2");
    EXPECT_EQ(Cell(read, 1), "1");
    for (VectorHandle v : {row, single, read}) Dll().kesti2_vectorFree(v);
    Dll().kesti2_connectionClose(c);
}

TEST_F(WriteTest, ARefusedHandleIsSkippedWithAWarning) {
    SimulationServer sim(kPlant);
    ConnectionHandle c = OpenPlant();
    ASSERT_NE(c, nullptr);
    const auto p = TagsOf(c, 0);
    const TagHandle tags[] = {p[0], p[2]};
    VectorHandle row = Row({{0, "1"}, {1, "2"}}, 2);
    EXPECT_EQ(Dll().kesti2_connectionWriteHistoricalData(c, tags, 2, kT0, row), ResultOk);
    EXPECT_NE(sim.Calls("InsertReplace").at(0).find("count=1 handles=[1]"), std::string::npos);
    EXPECT_NE(ReadLog("OPCHDAKestiLog.log").find("[Warning]\r\nTag P.refused is not written: the server refused its item handle."),
              std::string::npos);
    Dll().kesti2_vectorFree(row);
    Dll().kesti2_connectionClose(c);
}

TEST_F(WriteTest, AServerWithoutSyncUpdateIsAFailure) {
    SimulationServer sim(R"({ "server": { "missingInterfaces": ["IOPCHDA_SyncUpdate"] }, "items": [ { "name": "x" } ] })");
    WriteConfiguration(kSimulationServerUrl, {{"OPC", ""}});
    ConnectionHandle c = Open();
    ASSERT_NE(c, nullptr);
    const auto tags = TagsOf(c, 0);
    VectorHandle row = Row({{0, "1"}}, 1);
    EXPECT_EQ(Dll().kesti2_connectionWriteHistoricalData(c, tags.data(), 1, kT0, row), ResultFailed);
    EXPECT_NE(ReadLog("OPCHDAKestiLog.log")
                  .find("kesti2_connectionWriteHistoricalDataEx: Operation failed (The server offers no IOPCHDA_SyncUpdate; "
                        "nothing was written.)."),
              std::string::npos);
    Dll().kesti2_vectorFree(row);
    Dll().kesti2_connectionClose(c);
}

// The host's texts are in the process's ANSI code page both ways: what it reads it can write
// back unchanged.
TEST_F(WriteTest, TextAboveAsciiSurvivesAWriteAndARead) {
    SimulationServer sim(kPlant);
    ConnectionHandle c = OpenPlant();
    ASSERT_NE(c, nullptr);
    const wchar_t* const wide = L"Gr\u00fc\u00dfe 25\u00b0C";
    char ansi[64] = {};
    BOOL lossy = FALSE;
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, sizeof ansi, nullptr, &lossy), 0);
    ASSERT_FALSE(lossy) << "the code page " << GetACP() << " shows the text";
    const std::string text = ansi;
    ASSERT_TRUE(std::any_of(text.begin(), text.end(), [](char ch) { return static_cast<unsigned char>(ch) > 127; }));
    const TagHandle b[] = {TagsOf(c, 0)[1]};
    VectorHandle row = Row({{0, std::string("\"") + ansi}}, 1);
    EXPECT_EQ(Dll().kesti2_connectionWriteHistoricalData(c, b, 1, kT0, row), ResultOk);
    EXPECT_NE(sim.Calls("InsertReplace").at(0).find("values=[vt8:Gr\xc3\xbc\xc3\x9f" "e 25\xc2\xb0" "C]"), std::string::npos)
        << sim.Calls("InsertReplace").at(0);
    VectorHandle read = nullptr;
    ASSERT_EQ(Dll().kesti2_connectionReadHistoricalData(c, b, 1, kT0, &read), ResultOk);
    EXPECT_EQ(Cell(read, 0), std::string("\"") + ansi + "\"");
    for (VectorHandle v : {row, read}) Dll().kesti2_vectorFree(v);
    Dll().kesti2_connectionClose(c);
}

// A user writes, closes, opens again and reads what was written: the next connection is a new
// server process, which reads the writes back from beside its data file.
TEST_F(WriteTest, WhatWasWrittenIsReadByTheNextConnection) {
    SimulationServer sim(kPlant);
    ConnectionHandle c = OpenPlant();
    ASSERT_NE(c, nullptr);
    const auto p = TagsOf(c, 0);
    const auto vec = TagsOf(c, 0, 0);
    ASSERT_EQ(vec.size(), 2u);
    const TagHandle tags[] = {p[0], p[1], vec[0], vec[1]};
    VectorHandle rows[] = {Row({{0, "1.5"}, {1, "\"first"}, {2, "7"}, {3, "8"}}, 4), Row({{0, "2.5"}, {1, "\"second"}}, 4)};
    ASSERT_EQ(Dll().kesti2_connectionWriteHistoricalDataEx(c, tags, 4, kT0 + 3600, 60, 2, rows), ResultOk);
    for (VectorHandle v : rows) Dll().kesti2_vectorFree(v);
    Dll().kesti2_connectionClose(c);

    c = Open();
    ASSERT_NE(c, nullptr);
    const auto again = TagsOf(c, 0);
    const auto vecAgain = TagsOf(c, 0, 0);
    const TagHandle read[] = {again[0], again[1], vecAgain[0], vecAgain[1]};
    VectorHandle back[2] = {};
    ASSERT_EQ(Dll().kesti2_connectionReadHistoricalDataEx(c, read, 4, kT0 + 3600, 60, 2, back), ResultOk);
    EXPECT_EQ(Cell(back[0], 0), "1.5");
    EXPECT_EQ(Cell(back[0], 1), "\"first\"");
    EXPECT_EQ(Cell(back[0], 2), "7");
    EXPECT_EQ(Cell(back[0], 3), "8");
    EXPECT_EQ(Cell(back[1], 0), "2.5");
    EXPECT_EQ(Cell(back[1], 1), "\"second\"");
    for (VectorHandle v : back) Dll().kesti2_vectorFree(v);
    Dll().kesti2_connectionClose(c);
    EXPECT_EQ(sim.Calls("Activate").size(), 2u) << "two server processes";
}

// Only tags whose values go to the server get a later update time.
TEST_F(WriteTest, UpdateTimesMoveOnlyForValuesThatWereSent) {
    SimulationServer sim(kPlant);
    ConnectionHandle c = OpenPlant();
    ASSERT_NE(c, nullptr);
    const auto p = TagsOf(c, 0);
    const auto vec = TagsOf(c, 0, 0);
    const TagHandle tags[] = {p[0], p[2], vec[0]}; // a, refused, one element of two
    VectorHandle row = Row({{0, "1"}, {1, "2"}, {2, "3"}}, 3);
    EXPECT_EQ(Dll().kesti2_connectionWriteHistoricalData(c, tags, 3, kT0, row), ResultOk);
    EXPECT_NE(sim.Calls("InsertReplace").at(0).find("count=1 handles=[1]"), std::string::npos);
    const auto updateTime = [&](TagHandle tag) {
        uint32_t time = 1;
        Dll().kesti2_tagGetUpdateTime(tag, &time);
        return time;
    };
    EXPECT_EQ(updateTime(p[0]), static_cast<uint32_t>(kT0));
    EXPECT_EQ(updateTime(p[2]), 0u) << "its handle was refused";
    EXPECT_EQ(updateTime(vec[0]), 0u) << "its array was not written";
    EXPECT_EQ(updateTime(vec[1]), 0u);
    Dll().kesti2_vectorFree(row);
    Dll().kesti2_connectionClose(c);
}

// Tags of one item id share its handle: asked once, read and written, released once.
TEST_F(WriteTest, TagsOfOneItemShareOneHandle) {
    SimulationServer sim(R"({ "branches": [ { "name": "P", "items": [
        { "name": "a", "values": [ { "time": "2024-01-01 00:00:00", "value": 7 } ] },
        { "name": "x", "itemIdFails": true }, { "name": "y", "itemIdFails": true } ] } ] })");
    WriteConfiguration(kSimulationServerUrl, {{"P", "P"}, {"P", "P"}}); // the same branch twice
    ConnectionHandle c = Open();
    ASSERT_NE(c, nullptr);
    const auto first = TagsOf(c, 0), second = TagsOf(c, 1);
    ASSERT_EQ(first.size(), 3u);
    const TagHandle both[] = {first[0], second[0]};
    VectorHandle read = nullptr;
    ASSERT_EQ(Dll().kesti2_connectionReadHistoricalData(c, both, 2, kT0, &read), ResultOk);
    EXPECT_EQ(Cell(read, 0), "7");
    EXPECT_EQ(Cell(read, 1), "7");
    VectorHandle row = Row({{0, "8"}, {1, "9"}}, 2);
    EXPECT_EQ(Dll().kesti2_connectionWriteHistoricalData(c, both, 2, kT0 + 60, row), ResultOk);
    const auto written = sim.Calls("InsertReplace"); // one per node
    ASSERT_EQ(written.size(), 2u);
    EXPECT_NE(written[0].find("count=1 handles=[1] times=[133485408600000000] values=[vt4:8]"), std::string::npos) << written[0];
    EXPECT_NE(written[1].find("count=1 handles=[1] times=[133485408600000000] values=[vt4:9]"), std::string::npos) << written[1];

    // x and y have no item id (GetItemID failed): both are refused, once.
    const TagHandle unnamed[] = {first[1], first[2]};
    VectorHandle twice = nullptr;
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(Dll().kesti2_connectionReadHistoricalData(c, unnamed, 2, kT0, &twice), ResultOk);
        EXPECT_EQ(Cell(twice, 0), "-");
        EXPECT_EQ(Cell(twice, 1), "-");
        Dll().kesti2_vectorFree(twice);
    }
    EXPECT_EQ(Dll().kesti2_connectionWriteHistoricalData(c, unnamed, 2, kT0, row), ResultOk);
    const std::string log = ReadLog("OPCHDAKestiLog.log");
    EXPECT_NE(log.find("Tag P.x is not written: the server refused its item handle."), std::string::npos) << log;
    EXPECT_NE(log.find("Tag P.y is not written: the server refused its item handle."), std::string::npos);
    const auto asked = sim.Calls("GetItemHandles");
    ASSERT_EQ(asked.size(), 2u) << "P.a once, the empty id once";
    EXPECT_NE(asked[0].find("count=1 ids=[P.a]"), std::string::npos) << asked[0];
    EXPECT_NE(asked[1].find("count=1 ids=[]"), std::string::npos) << asked[1];
    Dll().kesti2_connectionClose(c);
    EXPECT_EQ(sim.Calls("ReleaseItemHandles"), std::vector<std::string>{"ReleaseItemHandles count=1 handles=[1]"});
    for (VectorHandle v : {read, row}) Dll().kesti2_vectorFree(v);
}

// What the host leaves missing is not sent, even to a server that would store an empty value
// over the one it holds: a missing cell, a row of nothing, an array with a missing element.
// Arrays not written are told once per call; update times move only for values stored.
TEST_F(WriteTest, OnlyTheValuesTheHostGaveAreStored) {
    SimulationServer sim(R"({ "server": { "emptyWrites": "store" }, "branches": [ { "name": "P", "items": [
        { "name": "a", "values": [ { "time": "2024-01-01 00:00:00", "value": 10 }, { "time": "2024-01-01 00:00:01", "value": 11 },
                                   { "time": "2024-01-01 00:00:02", "value": 12 }, { "time": "2024-01-01 00:00:03", "value": 13 } ] },
        { "name": "vec", "type": "VT_ARRAY|VT_R4" }, { "name": "locked", "writeError": "0x80020005" } ] } ] })");
    ConnectionHandle c = OpenPlant();
    ASSERT_NE(c, nullptr);
    const auto p = TagsOf(c, 0);
    const auto vec = TagsOf(c, 0, 0);
    ASSERT_EQ(vec.size(), 2u);
    const TagHandle tags[] = {p[0], vec[0], vec[1], p[1]}; // a, v0, v1, locked
    VectorHandle rows[] = {Row({{0, "110"}, {1, "1"}, {2, "2"}}, 4), Row({}, 4), Row({{1, "5"}}, 4),
                           Row({{0, "113"}, {1, "7"}, {3, "9"}}, 4)};
    ASSERT_EQ(Dll().kesti2_connectionWriteHistoricalDataEx(c, tags, 4, kT0, 1, 4, rows), ResultOk);

    // One call per node and row that has a value to send: rows 0 and 3 of P, row 0 of P.vec.
    const auto calls = sim.Calls("InsertReplace");
    ASSERT_EQ(calls.size(), 3u) << testing::PrintToString(calls);
    EXPECT_NE(calls[0].find("count=1 handles=[1] times=[133485408000000000] values=[vt4:110]"), std::string::npos) << calls[0];
    EXPECT_NE(calls[1].find("count=2 handles=[1,3] times=[133485408030000000,133485408030000000] values=[vt4:113,vt4:9]"),
              std::string::npos) << calls[1];
    EXPECT_NE(calls[2].find("count=1 handles=[2] times=[133485408000000000] values=[vt8196]"), std::string::npos) << calls[2];
    const std::string log = ReadLog("OPCHDAKestiLog.log");
    EXPECT_EQ(Occurrences(log, "Array tag P.vec is not written"), 1u) << log;
    EXPECT_NE(log.find("Array tag P.vec is not written: a write of an array needs a value for every element. Rows not "
                       "written: 2, from 2024-01-01 00:00:02 to 2024-01-01 00:00:03."),
              std::string::npos) << log;

    const TagHandle a[] = {p[0]};
    VectorHandle back[4] = {};
    ASSERT_EQ(Dll().kesti2_connectionReadHistoricalDataEx(c, a, 1, kT0, 1, 4, back), ResultOk);
    EXPECT_EQ(Cell(back[0], 0), "110");
    EXPECT_EQ(Cell(back[1], 0), "11") << "the row of nothing left the stored value alone";
    EXPECT_EQ(Cell(back[2], 0), "12") << "the missing cell left the stored value alone";
    EXPECT_EQ(Cell(back[3], 0), "113");

    const auto updateTime = [&](TagHandle tag) {
        uint32_t time = 1;
        Dll().kesti2_tagGetUpdateTime(tag, &time);
        return time;
    };
    EXPECT_EQ(updateTime(p[0]), static_cast<uint32_t>(kT0 + 3));
    EXPECT_EQ(updateTime(vec[1]), static_cast<uint32_t>(kT0)) << "the array was stored in row 0 only";
    EXPECT_EQ(updateTime(p[1]), 0u) << "the server refused its value";
    for (VectorHandle v : back) Dll().kesti2_vectorFree(v);
    for (VectorHandle v : rows) Dll().kesti2_vectorFree(v);
    Dll().kesti2_connectionClose(c);
}

} // namespace
} // namespace kesti::test
