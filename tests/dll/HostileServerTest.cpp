// A server whose answers are legal on the wire but careless or hostile never takes the host
// down: through the exports, open, walk the tree, read current values and history of many
// shapes, write and close, for many seeds. Two servers are driven through the same steps: the
// simulation server's seeded "hostile answers" mode, and the chaos server (tools/opchda-chaos),
// whose hostile answers were designed apart from the plug-in and the simulation server. A crash
// ends this process (the last "... seed N" line on standard error names the seed and the chaos
// server's journal: %TEMP%\kesti-chaos-seed-N.journal), a call that takes longer than any
// documented time-out is a hang, an export result outside the documented codes or a log beyond
// its limit by more than one record is a failure.
//
// KESTI_HOSTILE_SEED=N replays seed N of the simulation server alone, KESTI_HOSTILE_SEEDS=N
// runs seeds 1..N; KESTI_CHAOS_SEED and KESTI_CHAOS_SEEDS do the same for the chaos server.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>

#include "common/ChaosServer.h"
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
// takes much longer than that for each of three nodes (beyond the last call's own delay of a
// few seconds) is a hang.
constexpr int kTimeLimitSeconds = 5;
constexpr auto kHang = std::chrono::seconds(45);

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

// What a run of seeds is driven against: the server's address and nodes, and the server made
// ready for one seed (the object lives while the seed runs; its text explains a failed seed).
struct HostileScenario {
    const char* name;
    const char* seedVariable;
    const char* countVariable;
    unsigned defaultCount;
    std::string url;
    std::vector<std::pair<std::string, std::string>> nodes;
    std::string arrayNodes;
    struct Server {
        virtual ~Server() = default;
        virtual std::string Failed() { return ""; }
    };
    std::function<std::unique_ptr<Server>(unsigned seed)> prepare;
};

struct SimulationSeed : HostileScenario::Server {
    explicit SimulationSeed(unsigned seed) : sim(DataFile(seed)) {}
    SimulationServer sim;
};

// A replayed seed (KESTI_CHAOS_SEED) keeps its journal whatever the outcome.
struct ChaosSeed : HostileScenario::Server {
    explicit ChaosSeed(unsigned seed) : chaos(seed) {
        if (EnvironmentNumber("KESTI_CHAOS_SEED", 0) == seed) chaos.KeepJournal();
    }
    std::string Failed() override {
        chaos.KeepJournal();
        return "the chaos server's choices are in " + chaos.JournalPath();
    }
    ChaosServerSeed chaos;
};

// The tags the steps read and write: those of every configured node, at most eight.
constexpr std::size_t kMostTags = 8;

class HostileServerTest : public ConnectionTest {
protected:
    // Runs one export call: no hang, and one of the results it may give.
    template <class Call>
    KestiResult Timed(const char* what, Call call, std::initializer_list<KestiResult> allowed) {
        const auto begin = std::chrono::steady_clock::now();
        const KestiResult result = call();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
        EXPECT_LT(took, kHang) << what << " hung: " << took.count() << " s";
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

    void RunSeed(const HostileScenario& scenario, unsigned seed) {
        std::mt19937 random(seed);
        const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
        WriteConfiguration(scenario.url, scenario.nodes, scenario.arrayNodes,
                           "<setting key=\"LogLevel\" value=\"4\" />\n<setting key=\"ServerTimeLimit\" value=\"" +
                               std::to_string(kTimeLimitSeconds) + "\" />\n<setting key=\"LogFileSize\" value=\"" +
                               std::to_string(kLogLimit) + "\" />\n");
        int host = 0;
        ConnectionHandle c = nullptr;
        if (Timed("opening", [&] { return Dll().kesti2_connectionOpen(&host, &c); }, {ResultOk, ResultFailed}) != ResultOk)
            return;
        const NodeView tree = Tree(c); // every node and tag of the tree, by name
        (void)tree;
        std::vector<TagHandle> tags;
        for (uint32_t node = 0; node < scenario.nodes.size() && tags.size() < kMostTags; ++node)
            for (TagHandle tag : TagsOf(c, node))
                if (tags.size() < kMostTags) tags.push_back(tag);
        for (int round = 0; round < 3 && !tags.empty(); ++round) {
            VectorHandle current = nullptr;
            if (Timed("a current read", [&] {
                    return Dll().kesti2_connectionReadCurrentData(c, tags.data(), static_cast<uint32_t>(tags.size()), &current);
                }, {ResultOk, ResultFailed}) == ResultOk)
                Dll().kesti2_vectorFree(current);
            const int32_t steps[] = {1, 60, 3600};
            Read(c, tags, kT0 + pick(-600, 3600), steps[pick(0, 2)], static_cast<uint32_t>(pick(1, 300)));
            Read(c, tags, kT0 + pick(0, 600), 0, 1); // a point read
            const uint32_t written = static_cast<uint32_t>(std::min<std::size_t>(2, tags.size()));
            std::vector<VectorHandle> rows;
            for (int r = 0; r < 3; ++r) {
                VectorHandle row = nullptr;
                Dll().kesti2_vectorCreate(written, &row);
                Dll().kesti2_vectorSetFloat(row, 0, static_cast<float>(pick(0, 100)));
                rows.push_back(row);
            }
            Timed("a write", [&] {
                return Dll().kesti2_connectionWriteHistoricalDataEx(c, tags.data(), written, kT0 + pick(0, 3600), 1,
                                                                  static_cast<uint32_t>(rows.size()), rows.data());
            }, {ResultOk, ResultFailed});
            for (VectorHandle row : rows) Dll().kesti2_vectorFree(row);
        }
        Timed("closing", [&] { return Dll().kesti2_connectionClose(c); }, {ResultOk});
    }

    // Runs the scenario's seeds (or the one its variable names) and checks the log and memory.
    void RunSeeds(const HostileScenario& scenario) {
        const unsigned only = EnvironmentNumber(scenario.seedVariable, 0);
        const unsigned first = only != 0 ? only : 1;
        const unsigned count = only != 0 ? 1 : EnvironmentNumber(scenario.countVariable, scenario.defaultCount);
        const std::string log = MachineDataFolder() + "\\OPCHDAKestiLog.log";
        const std::string backup = MachineDataFolder() + "\\OPCHDAKestiLog.bak";
        std::size_t residentAfterFirst = 0;
        for (unsigned seed = first; seed < first + count && !HasFailure(); ++seed) {
            const std::unique_ptr<HostileScenario::Server> server = scenario.prepare(seed);
            std::fprintf(stderr, "%s seed %u\n", scenario.name, seed);
            std::fflush(stderr);
            SCOPED_TRACE(std::string(scenario.name) + " seed " + std::to_string(seed) + " (replay it alone with " +
                         scenario.seedVariable + "=" + std::to_string(seed) + ")");
            RunSeed(scenario, seed);
            EXPECT_LE(FileSize(log), kLogLimit + kLargestRecord) << "the log outgrew its limit by more than a record";
            EXPECT_LE(FileSize(backup), kLogLimit + kLargestRecord);
            if (HasFailure()) {
                const std::string why = server->Failed();
                if (!why.empty()) ADD_FAILURE() << why;
            }
            if (seed == first) residentAfterFirst = ResidentBytes();
        }
        EXPECT_LT(ResidentBytes(), residentAfterFirst + 200u * 1024 * 1024) << "memory grew from seed to seed";
    }
};

TEST_F(HostileServerTest, NoAnswerCrashesHangsOrFloodsTheHost) {
    HostileScenario scenario{"hostile", "KESTI_HOSTILE_SEED", "KESTI_HOSTILE_SEEDS", 40, kSimulationServerUrl,
                             {{"P", "P"}},
                             "<arraynode tag=\"P.vec\" size=\"3\"><arraytag>x</arraytag><arraytag>y</arraytag>"
                             "<arraytag>z</arraytag></arraynode>\n",
                             [](unsigned seed) { return std::make_unique<SimulationSeed>(seed); }};
    RunSeeds(scenario);
}

// The chaos server's nodes: a branch, the flat list of the whole server ("OPC" without a
// path) and a branch three levels down.
TEST_F(HostileServerTest, AnIndependentHostileServerNeverTakesTheHostDown) {
    HostileScenario scenario{"chaos", "KESTI_CHAOS_SEED", "KESTI_CHAOS_SEEDS", 6, kChaosServerUrl,
                             {{"Plant", "Plant"}, {"OPC", ""}, {"Plant.B0.B1", "Plant.B0.B1"}},
                             "",
                             [](unsigned seed) { return std::make_unique<ChaosSeed>(seed); }};
    RunSeeds(scenario);
}

} // namespace
} // namespace kesti::test
