// Whatever shape a read takes (every value of the span at once, forward chunks, one backward
// read per row, or the shape the plug-in chooses), the rows and the Warning and Error records
// are the same, and each row holds the newest value at or before its time. Random histories
// (gaps, bad and uncertain values, repeated times, values exactly at row times, values before
// the first row, none at all) are read over random windows through the exports.
//
// KESTI_READ_SEED=N replays seed N alone; KESTI_READ_SEEDS=N runs seeds 1..N (500 by default).
#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>

#include "dll/ConnectionFixture.h"

namespace kesti::test {
namespace {

constexpr int32_t kT0 = 1704067200; // 2024-01-01 00:00:00 UTC
constexpr const char* kItemNames[] = {"a", "b", "c"};
// Each connection's settings; the last is automatic with calls worth nothing, so that reads
// switch from the first chunk to one row at a time whenever values are left.
constexpr const char* kShapes[] = {"automatic", "whole", "forward", "rows", "automatic"};
constexpr const char* kCallCosts[] = {"2000", "2000", "2000", "2000", "0"};

struct Value {
    int32_t time; // seconds since 1970
    int number;
    const char* quality; // "good", "bad" or "uncertain"
};

// The history of one item: values in the order the server keeps them (a repeated time keeps
// its values in this order, the last one held).
using History = std::vector<Value>;

struct Window {
    int32_t start, step;
    uint32_t rows;
};

struct Case {
    std::vector<History> items;
    Window window;
};

Case MakeCase(unsigned seed) {
    std::mt19937 random(seed);
    const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    Case c;
    c.window.step = std::vector<int32_t>{1, 2, 5, 10, 60}[static_cast<std::size_t>(pick(0, 4))];
    c.window.rows = static_cast<uint32_t>(pick(1, 30));
    c.window.start = kT0 + pick(-20, 60);
    const int32_t span = c.window.step * static_cast<int32_t>(c.window.rows);
    for (std::size_t i = 0; i < std::size(kItemNames); ++i) {
        History history;
        std::map<int32_t, int> atTime; // at most 3 values per time: fewer than the server gives per call
        const int count = pick(0, 9) == 0 ? 0 : pick(1, 40);
        for (int k = 0; k < count; ++k) {
            int32_t time = c.window.start + pick(-40, span + 10);
            if (pick(0, 4) == 0) time = c.window.start + c.window.step * pick(0, static_cast<int>(c.window.rows)); // at a row
            const int repeats = pick(0, 7) == 0 ? 2 : 1;
            for (int n = 0; n < repeats && atTime[time] < 3; ++n, ++atTime[time]) {
                const int q = pick(0, 9);
                history.push_back(Value{time, pick(0, 999), q < 7 ? "good" : (q < 9 ? "bad" : "uncertain")});
            }
        }
        std::stable_sort(history.begin(), history.end(), [](const Value& a, const Value& b) { return a.time < b.time; });
        c.items.push_back(history);
    }
    return c;
}

std::string TimeText(int32_t seconds) {
    const time_t t = seconds;
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::gmtime(&t));
    return text;
}

std::string ItemName(unsigned seed, std::size_t i) { return "s" + std::to_string(seed) + kItemNames[i]; }

// One data file for every seed: the items of seed s are s<s>a, s<s>b and s<s>c. The server
// gives at most 7 values per call, so reads are continued often and cut between repeated
// times.
std::string DataFile(const std::vector<Case>& cases, unsigned firstSeed) {
    std::ostringstream json;
    json << R"({ "server": { "maxValuesPerCall": 7, "repeatedTimes": "keep" }, "items": [)";
    bool firstItem = true;
    for (std::size_t s = 0; s < cases.size(); ++s)
        for (std::size_t i = 0; i < cases[s].items.size(); ++i) {
            json << (firstItem ? "" : ",") << "\n{ \"name\": \"" << ItemName(firstSeed + static_cast<unsigned>(s), i)
                 << "\", \"values\": [";
            firstItem = false;
            const History& history = cases[s].items[i];
            for (std::size_t k = 0; k < history.size(); ++k)
                json << (k ? "," : "") << "{\"time\":\"" << TimeText(history[k].time) << "\",\"value\":" << history[k].number
                     << ",\"quality\":\"" << history[k].quality << "\"}";
            json << "] }";
        }
    json << "] }";
    return json.str();
}

// What each row must hold: the newest value at or before its time, "-" when there is none or
// its quality is bad or uncertain.
std::vector<std::vector<std::string>> ExpectedRows(const Case& c) {
    std::vector<std::vector<std::string>> rows(c.window.rows);
    for (uint32_t r = 0; r < c.window.rows; ++r) {
        const int32_t t = c.window.start + static_cast<int32_t>(r) * c.window.step;
        for (const History& history : c.items) {
            const Value* held = nullptr;
            for (const Value& v : history)
                if (v.time <= t) held = &v;
            rows[r].push_back(held != nullptr && std::string(held->quality) == "good" ? std::to_string(held->number) : "-");
        }
    }
    return rows;
}

// The Warning and Error records of a piece of the log, in sorted order, with the count of
// values in a header ("12 data values for tag"), which tells how the values were read, left out.
std::vector<std::string> Complaints(const std::string& log) {
    std::vector<std::string> records;
    std::size_t at = 0;
    while (at < log.size()) {
        std::size_t end = log.find("\r\n\r\n", at);
        if (end == std::string::npos) end = log.size();
        const std::string record = log.substr(at, end - at);
        at = end + 4;
        const std::size_t body = record.find("\r\n");
        if (body == std::string::npos) continue;
        const std::string header = record.substr(0, body);
        if (header.find("[Warning]") == std::string::npos && header.find("[Error]") == std::string::npos) continue;
        std::string text = record.substr(body + 2);
        const std::size_t words = text.find(" data values for tag ");
        if (words != std::string::npos && text.find_first_not_of("0123456789") == words) text = "N" + text.substr(words);
        records.push_back(header.substr(header.rfind('[')) + " " + text);
    }
    std::sort(records.begin(), records.end());
    return records;
}

unsigned EnvironmentNumber(const char* name, unsigned fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? static_cast<unsigned>(std::strtoul(text, nullptr, 10)) : fallback;
}

class ReadShapeTest : public ConnectionTest {
protected:
    // What a read through one connection gave: the rows and the log records it wrote.
    struct Outcome {
        std::vector<std::vector<std::string>> rows;
        std::vector<std::string> records;
    };

    Outcome ReadWith(ConnectionHandle c, const std::vector<TagHandle>& tags, const Window& w) {
        const std::string path = MachineDataFolder() + "\\OPCHDAKestiLog.log";
        std::ifstream log(path, std::ios::binary | std::ios::ate);
        const std::streamoff before = log ? static_cast<std::streamoff>(log.tellg()) : 0;
        std::vector<VectorHandle> out(w.rows);
        EXPECT_EQ(Dll().kesti2_connectionReadHistoricalDataEx(c, tags.data(), static_cast<uint32_t>(tags.size()), w.start,
                                                               w.step, w.rows, out.data()),
                  ResultOk);
        Outcome outcome;
        for (VectorHandle row : out) {
            std::vector<std::string> cells;
            for (uint32_t i = 0; i < tags.size(); ++i) cells.push_back(Cell(row, i));
            outcome.rows.push_back(cells);
            Dll().kesti2_vectorFree(row);
        }
        std::ifstream written(path, std::ios::binary);
        written.seekg(before);
        std::ostringstream added;
        added << written.rdbuf();
        outcome.records = Complaints(added.str());
        return outcome;
    }

    std::map<std::string, TagHandle> TagsByName(ConnectionHandle c) {
        std::map<std::string, TagHandle> byName;
        for (TagHandle tag : TagsOf(c, 0)) {
            StringHandle name = nullptr;
            Dll().kesti2_tagGetName(tag, &name);
            byName[TakeString(name)] = tag;
        }
        return byName;
    }
};

TEST_F(ReadShapeTest, EveryShapeGivesTheSameRowsAndRecords) {
    const unsigned only = EnvironmentNumber("KESTI_READ_SEED", 0);
    const unsigned first = only != 0 ? only : 1;
    const unsigned count = only != 0 ? 1 : EnvironmentNumber("KESTI_READ_SEEDS", 500);
    std::vector<Case> cases;
    for (unsigned s = 0; s < count; ++s) cases.push_back(MakeCase(first + s));
    SimulationServer sim(DataFile(cases, first));

    std::vector<ConnectionHandle> connections;
    for (std::size_t w = 0; w < std::size(kShapes); ++w) {
        // The log is large enough that no read's records roll it over.
        WriteConfiguration(kSimulationServerUrl, {{"OPC", ""}}, "",
                           std::string("<setting key=\"LogFileSize\" value=\"500000000\" />\n<setting key=\"ReadShape\" "
                                       "value=\"") + kShapes[w] + "\" />\n<setting key=\"ReadCallCost\" value=\"" +
                               kCallCosts[w] + "\" />\n");
        connections.push_back(Open());
        ASSERT_NE(connections.back(), nullptr) << kShapes[w];
    }
    std::vector<std::map<std::string, TagHandle>> tags;
    for (ConnectionHandle c : connections) tags.push_back(TagsByName(c));

    for (std::size_t s = 0; s < cases.size() && !HasFailure(); ++s) {
        const unsigned seed = first + static_cast<unsigned>(s);
        SCOPED_TRACE("seed " + std::to_string(seed) + " (replay it alone with KESTI_READ_SEED=" + std::to_string(seed) + ")");
        const Case& c = cases[s];
        const auto expected = ExpectedRows(c);
        std::vector<Outcome> outcomes;
        for (std::size_t w = 0; w < connections.size(); ++w) {
            std::vector<TagHandle> handles;
            for (std::size_t i = 0; i < c.items.size(); ++i) handles.push_back(tags[w].at(ItemName(seed, i)));
            outcomes.push_back(ReadWith(connections[w], handles, c.window));
            EXPECT_EQ(outcomes.back().rows, expected) << kShapes[w] << " read (calls worth " << kCallCosts[w] << "), window from " << TimeText(c.window.start)
                                                      << " step " << c.window.step << " s, " << c.window.rows << " rows";
            EXPECT_EQ(outcomes.back().records, outcomes.front().records) << kShapes[w] << " read (calls worth " << kCallCosts[w] << ")";
        }
    }
    for (ConnectionHandle c : connections) Dll().kesti2_connectionClose(c);
}

} // namespace
} // namespace kesti::test
