// A server whose answers are legal on the wire but careless or hostile (the simulation
// server's seeded "hostile answers" mode) never takes the host down: through the exports,
// open, walk the tree, read current values and history of many shapes, write and close, for
// many seeds. A crash ends this process (the last "hostile seed N" line on standard error
// names the seed), a call that takes longer than any documented time-out is a hang, an
// export result outside the documented codes or a log beyond its limit by more than one
// record is a failure.
//
// KESTI_HOSTILE_SEED=N replays seed N alone; KESTI_HOSTILE_SEEDS=N runs seeds 1..N.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "dll/ConnectionFixture.h"

#include <psapi.h>

namespace kesti::test {
namespace {

constexpr int32_t kT0 = 1704067200; // 2024-01-01 00:00:00 UTC
constexpr uint64_t kLogLimit = 262144;
// A record is at most a value's text cut at 1 024 characters for each of the 200 values of a
// Debug dump, with their times and qualities.
constexpr uint64_t kLargestRecord = 256 * 1024;
// How long a read or a node's browse may ask the server (ServerTimeLimit); an export call that
// takes much longer (beyond the last call's own delay of a few seconds) is a hang.
constexpr int kTimeLimitSeconds = 10;
constexpr auto kHang = std::chrono::seconds(30);

std::string DataFile(unsigned seed) {
    return R"({ "server": { "hostile": { "seed": )" + std::to_string(seed) + R"( }, "maxValuesPerCall": 500 },
      "branches": [ { "name": "P", "items": [
        { "name": "ramp", "generate": { "kind": "ramp", "start": "2024-01-01 00:00:00", "interval": "1S", "count": 86400 } },
        { "name": "few", "values": [ { "time": "2024-01-01 00:00:00", "value": 1 },
                                     { "time": "2024-01-01 00:10:00", "value": 2, "quality": "bad" },
                                     { "time": "2024-01-01 01:00:00", "value": 3, "quality": "uncertain" } ] },
        { "name": "text", "type": "VT_BSTR", "values": [ { "time": "2024-01-01 00:00:00", "value": "on" } ] },
        { "name": "big", "type": "VT_UI8", "values": [ { "time": "2024-01-01 00:00:00", "value": 18446744073709551615 } ] },
        { "name": "vec", "type": "VT_ARRAY|VT_R8",
          "values": [ { "time": "2024-01-01 00:00:00", "value": [1, 2, 3] } ] } ] } ] })";
}

unsigned EnvironmentNumber(const char* name, unsigned fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : fallback;
}

std::size_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::size_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::size_t ResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}

class HostileServerTest : public ConnectionTest {
protected:
    // Runs one export call: no hang, and one of the results it may give.
    template <class Call>
    KestiResult Timed(const char* what, Call call, std::initializer_list<KestiResult> allowed) {
        const auto begin = std::chrono::steady_clock::now();
        const KestiResult result = call();
        const auto took = std::chrono::steady_clock::now() - begin;
        EXPECT_LT(took, kHang) << what << " hung";
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), result), allowed.end()) << what << " gave " << result;
        return result;
    }

    void Read(ConnectionHandle c, const std::vector<TagHandle>& tags, int32_t start, int32_t step, uint32_t rows) {
        std::vector<VectorHandle> out(rows);
        Timed("a historical read", [&] {
            return Dll().kesti2_connectionReadHistoricalDataEx(c, tags.data(), static_cast<uint32_t>(tags.size()), start,
                                                               step, rows, out.data());
        }, {ResultOk, ResultFailed});
        for (VectorHandle row : out)
            if (row != nullptr) {
                for (uint32_t i = 0; i < tags.size(); ++i) Cell(row, i); // every cell can be looked at
                Dll().kesti2_vectorFree(row);
            }
    }

    void RunSeed(unsigned seed) {
        std::mt19937 random(seed);
        const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
        SimulationServer sim(DataFile(seed));
        WriteConfiguration(kSimulationServerUrl, {{"P", "P"}},
                           "<arraynode tag=\"P.vec\" size=\"3\"><arraytag>x</arraytag><arraytag>y</arraytag>"
                           "<arraytag>z</arraytag></arraynode>\n",
                           "<setting key=\"LogLevel\" value=\"4\" />\n<setting key=\"ServerTimeLimit\" value=\"" +
                               std::to_string(kTimeLimitSeconds) + "\" />\n<setting key=\"LogFileSize\" value=\"" +
                               std::to_string(kLogLimit) + "\" />\n");
        int host = 0;
        ConnectionHandle c = nullptr;
        if (Timed("opening", [&] { return Dll().kesti2_connectionOpen(&host, &c); }, {ResultOk, ResultFailed}) != ResultOk)
            return;
        const NodeView tree = Tree(c); // every node and tag of the tree, by name
        (void)tree;
        const std::vector<TagHandle> tags = TagsOf(c, 0);
        for (int round = 0; round < 3 && !tags.empty(); ++round) {
            VectorHandle current = nullptr;
            if (Timed("a current read", [&] {
                    return Dll().kesti2_connectionReadCurrentData(c, tags.data(), static_cast<uint32_t>(tags.size()), &current);
                }, {ResultOk, ResultFailed}) == ResultOk)
                Dll().kesti2_vectorFree(current);
            const int32_t steps[] = {1, 60, 3600};
            Read(c, tags, kT0 + pick(-600, 3600), steps[pick(0, 2)], static_cast<uint32_t>(pick(1, 300)));
            Read(c, tags, kT0 + pick(0, 600), 0, 1); // a point read
            std::vector<VectorHandle> rows;
            for (int r = 0; r < 3; ++r) {
                VectorHandle row = nullptr;
                Dll().kesti2_vectorCreate(2, &row);
                Dll().kesti2_vectorSetFloat(row, 0, static_cast<float>(pick(0, 100)));
                rows.push_back(row);
            }
            Timed("a write", [&] {
                return Dll().kesti2_connectionWriteHistoricalDataEx(c, tags.data(), 2, kT0 + pick(0, 3600), 1,
                                                                  static_cast<uint32_t>(rows.size()), rows.data());
            }, {ResultOk, ResultFailed});
            for (VectorHandle row : rows) Dll().kesti2_vectorFree(row);
        }
        Timed("closing", [&] { return Dll().kesti2_connectionClose(c); }, {ResultOk});
    }
};

TEST_F(HostileServerTest, NoAnswerCrashesHangsOrFloodsTheHost) {
    const unsigned only = EnvironmentNumber("KESTI_HOSTILE_SEED", 0);
    const unsigned first = only != 0 ? only : 1;
    const unsigned count = only != 0 ? 1 : EnvironmentNumber("KESTI_HOSTILE_SEEDS", 40);
    const std::string log = MachineDataFolder() + "\\OPCHDAKestiLog.log";
    const std::string backup = MachineDataFolder() + "\\OPCHDAKestiLog.bak";
    std::size_t residentAfterFirst = 0;
    for (unsigned seed = first; seed < first + count && !HasFailure(); ++seed) {
        std::fprintf(stderr, "hostile seed %u\n", seed);
        std::fflush(stderr);
        SCOPED_TRACE("hostile seed " + std::to_string(seed) + " (replay it alone with KESTI_HOSTILE_SEED=" +
                     std::to_string(seed) + ")");
        RunSeed(seed);
        EXPECT_LE(FileSize(log), kLogLimit + kLargestRecord) << "the log outgrew its limit by more than a record";
        EXPECT_LE(FileSize(backup), kLogLimit + kLargestRecord);
        if (seed == first) residentAfterFirst = ResidentBytes();
    }
    EXPECT_LT(ResidentBytes(), residentAfterFirst + 200u * 1024 * 1024) << "memory grew from seed to seed";
}

} // namespace
} // namespace kesti::test
