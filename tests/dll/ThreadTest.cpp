// A connection used from host threads other than the one that opened it.
#include "dll/ConnectionFixture.h"

#include <objbase.h>

#include <thread>

namespace kesti::test {
namespace {

constexpr int32_t kT0 = 1704067200; // 2024-01-01 00:00:00 UTC

const char* const kPlant = R"({ "items": [
    { "name": "a", "values": [ { "time": "2024-01-01 00:00:00", "value": 1 } ] } ] })";

// The apartment of the calling thread, or "none" when COM is not initialised on it (a thread
// without COM counts in the process's multithreaded apartment only implicitly).
std::string ApartmentOfThisThread() {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    if (FAILED(CoGetApartmentType(&type, &qualifier)) || qualifier == APTTYPEQUALIFIER_IMPLICIT_MTA) return "none";
    return type == APTTYPE_STA || type == APTTYPE_MAINSTA ? "STA" : "MTA";
}

// Runs `work` on a new thread, with COM initialised as the host chose (or not at all), and
// gives the thread's apartment as the host sees it after the work.
template <class Work>
std::string OnHostThread(DWORD model, bool initialise, Work work) {
    std::string after;
    std::thread host([&] {
        const HRESULT entered = initialise ? CoInitializeEx(nullptr, model) : E_FAIL;
        work();
        after = ApartmentOfThisThread();
        if (SUCCEEDED(entered)) CoUninitialize();
    });
    host.join();
    return after;
}

class ThreadTest : public ConnectionTest {};

TEST_F(ThreadTest, AConnectionOutlivesTheThreadThatOpenedItAndLeavesHostThreadsAsTheyWere) {
    SimulationServer sim(kPlant);
    WriteConfiguration(kSimulationServerUrl, {{"OPC", ""}});
    ConnectionHandle c = nullptr;
    TagHandle tag = nullptr;
    // A host whose threads are single-threaded apartments (a user interface) opens on one
    // that then ends, taking its apartment with it.
    EXPECT_EQ(OnHostThread(COINIT_APARTMENTTHREADED, true, [&] {
                  c = Open();
                  if (c != nullptr) tag = TagsOf(c, 0).at(0);
              }),
              "STA");
    ASSERT_NE(c, nullptr);

    std::string value = "not read";
    EXPECT_EQ(OnHostThread(COINIT_APARTMENTTHREADED, true, [&] {
                  VectorHandle row = nullptr;
                  if (Dll().kesti2_connectionReadHistoricalData(c, &tag, 1, kT0, &row) == ResultOk) value = Cell(row, 0);
                  Dll().kesti2_vectorFree(row);
              }),
              "STA");
    EXPECT_EQ(value, "1");

    KestiResult written = ResultFailed;
    EXPECT_EQ(OnHostThread(COINIT_MULTITHREADED, false, [&] {
                  VectorHandle row = nullptr;
                  Dll().kesti2_vectorCreate(1, &row);
                  Dll().kesti2_vectorSetFloat(row, 0, 2.5f);
                  written = Dll().kesti2_connectionWriteHistoricalData(c, &tag, 1, kT0 + 60, row);
                  Dll().kesti2_vectorFree(row);
              }),
              "none");
    EXPECT_EQ(written, ResultOk);
    EXPECT_EQ(sim.Calls("InsertReplace").size(), 1u);

    EXPECT_EQ(OnHostThread(COINIT_APARTMENTTHREADED, true, [&] { Dll().kesti2_connectionClose(c); }), "STA")
        << "closing keeps the host's own COM on the closing thread";
    EXPECT_EQ(sim.Calls("ReleaseItemHandles").size(), 1u);
}

TEST_F(ThreadTest, TwoHostThreadsReadOneConnectionAtOnce) {
    SimulationServer sim(kPlant);
    WriteConfiguration(kSimulationServerUrl, {{"OPC", ""}});
    ConnectionHandle c = Open();
    ASSERT_NE(c, nullptr);
    TagHandle tag = TagsOf(c, 0).at(0);
    const auto readMany = [&](int& good) {
        for (int i = 0; i < 20; ++i) {
            VectorHandle row = nullptr;
            if (Dll().kesti2_connectionReadHistoricalData(c, &tag, 1, kT0 + i, &row) == ResultOk && Cell(row, 0) == "1")
                ++good;
            Dll().kesti2_vectorFree(row);
        }
    };
    int first = 0, second = 0;
    std::thread one([&] { readMany(first); }), two([&] { readMany(second); });
    one.join();
    two.join();
    EXPECT_EQ(first, 20);
    EXPECT_EQ(second, 20);
    EXPECT_EQ(sim.Calls("GetItemHandles").size(), 1u) << "the handle is asked once";
    Dll().kesti2_connectionClose(c);
}

// Every record of a host thread's calls names that thread, also those written on the
// connection's own COM thread: a support engineer follows one host thread through the log.
TEST_F(ThreadTest, EveryRecordOfAHostThreadsCallsNamesThatThread) {
    SimulationServer sim(kPlant);
    WriteConfiguration(kSimulationServerUrl, {{"OPC", ""}}, "", "<setting key=\"LogLevel\" value=\"4\" />\n");
    DWORD hostThread = 0;
    std::string value;
    std::thread host([&] {
        hostThread = GetCurrentThreadId();
        ConnectionHandle c = Open();
        if (c == nullptr) return;
        TagHandle tag = TagsOf(c, 0).at(0);
        VectorHandle rows[2] = {};
        if (Dll().kesti2_connectionReadHistoricalDataEx(c, &tag, 1, kT0, 60, 2, rows) == ResultOk) value = Cell(rows[1], 0);
        for (VectorHandle row : rows) Dll().kesti2_vectorFree(row);
        Dll().kesti2_connectionClose(c);
    });
    host.join();
    EXPECT_EQ(value, "1");
    const std::string log = ReadLog("OPCHDAKestiLog.log");
    const std::string expected = "[TID:" + std::to_string(hostThread) + "]";
    std::size_t records = 0;
    for (std::size_t at = log.find("[TID:"); at != std::string::npos; at = log.find("[TID:", at + 1), ++records)
        EXPECT_EQ(log.substr(at, expected.size()), expected) << log.substr(at > 200 ? at - 200 : 0, 400);
    EXPECT_GE(records, 5u) << "opening, browsing, reading at Debug level and closing write records: " << log;
}

} // namespace
} // namespace kesti::test
