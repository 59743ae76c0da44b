// Read benchmark: historical reads through the DLL's exports against the same raw reads made
// by a bare OPC HDA client, in the same run, against the same simulation server.
//   Dense: 100 tags x 1 000 / 3 000 / 10 000 rows, and 1 tag x 100 000 / 300 000 / 1 000 000
//   values, against one ReadRaw of every value; 1 tag x 1 day of 1-s values into 86 400 rows,
//   which must stay on the forward path.
//   Sparse: 1 tag x 30 days and 100 tags x 365 days of 1-s values into daily rows, against the
//   bare client's own per-row reads (one backward ReadRaw of one value per item and row): the
//   least any client can ask for that shape.
// Every case runs kRuns times, plug-in and bare interleaved (the order alternating), after a
// first read that obtains the handles on both sides, so that only reads are compared. Per
// case it prints the median times, the median and the smallest ratio plug-in / bare, the raw
// reads the server counted per plug-in read, and the plug-in's extra peak memory over the
// bare read (the median over the runs of the difference of the peaks of resident memory
// during each read). Then the plug-in alone: 1 tag x 30 days into 2 rows against 1 day into
// 24 rows. The last two lines give the dense headline ratios and the sparse headline (the
// 100-tag year's ratio and extra memory). The user's configuration file is put back as it was.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include "common/KestiLibrary.h"
#include "common/SimulationServer.h"
#include "opchda.h"
#include "platform/ComApartment.h"
#include "platform/ComPtr.h"
#include "platform/OpcHdaMemory.h"

using namespace kesti;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int32_t kT0 = 1704067200; // 2024-01-01 00:00:00 UTC
constexpr int32_t kDay = 86400;
constexpr int kWideTags = 100;

std::string Generated(const std::string& name, const char* kind, long long count, int amplitude = 1) {
    return "{\"name\":\"" + name + "\",\"generate\":{\"kind\":\"" + kind +
           "\",\"start\":\"2024-01-01 00:00:00\",\"interval\":\"1S\",\"count\":" + std::to_string(count) +
           ",\"period\":600,\"amplitude\":" + std::to_string(amplitude) + "}}";
}

// Generated series cost the server nothing until read: a year of 1-s values per tag is fine.
std::string DataFile() {
    std::string items;
    for (int i = 0; i < kWideTags; ++i) items += Generated("w" + std::to_string(i), "sine", 10000, i + 1) + ",";
    items += Generated("long", "ramp", 1000000) + ",";
    items += Generated("day", "ramp", kDay) + ",";
    items += Generated("month", "ramp", 30LL * kDay) + ",";
    for (int i = 0; i < kWideTags; ++i) items += Generated("y" + std::to_string(i), "sine", 366LL * kDay, i + 1) + ",";
    items.pop_back();
    return "{ \"server\": { \"maxValuesPerCall\": 0 }, \"branches\": [ { \"name\": \"B\", \"items\": [" + items + "] } ] }";
}

constexpr int kRuns = 5;

std::string ConfigurationPath() {
    char common[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    const std::string folder = std::string(common) + "\\Norvane\\Kesti";
    SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    return folder + "\\OPCHDAConfiguration.xml";
}

// The benchmark's configuration for its lifetime; the user's file (or its absence) after.
class BenchmarkConfiguration {
public:
    BenchmarkConfiguration() : path_(ConfigurationPath()) {
        std::ifstream before(path_, std::ios::binary);
        if (before) {
            std::ostringstream text;
            text << before.rdbuf();
            saved_ = text.str();
        }
        std::ofstream(path_, std::ios::binary)
            << "<?xml version=\"1.0\"?>\n<settings><setting key=\"LogLevel\" value=\"2\" /><setting key=\"URL\" value=\""
            << test::kSimulationServerUrl << "\" /><nodes><setting key=\"Node_0_0\" value=\"B\" />"
            << "<setting key=\"Node_0_1\" value=\"B\" /></nodes></settings>\n";
    }
    ~BenchmarkConfiguration() {
        if (saved_) std::ofstream(path_, std::ios::binary) << *saved_;
        else DeleteFileA(path_.c_str());
    }
    BenchmarkConfiguration(const BenchmarkConfiguration&) = delete;
    BenchmarkConfiguration& operator=(const BenchmarkConfiguration&) = delete;

private:
    std::string path_;
    std::optional<std::string> saved_;
};

// The process's resident memory (Wine fills the working set from the system's own count; its
// private-bytes counter does not move).
std::size_t ResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize;
}

// The highest resident memory of the process above its level at the start, sampled every
// millisecond while the watch lives.
class PeakWatch {
public:
    PeakWatch() : start_(ResidentBytes()), peak_(start_), sampler_([this] {
        while (!stop_) {
            peak_ = std::max<std::size_t>(peak_, ResidentBytes());
            Sleep(1);
        }
    }) {}
    ~PeakWatch() { Stop(); }
    PeakWatch(const PeakWatch&) = delete;
    PeakWatch& operator=(const PeakWatch&) = delete;

    double ExtraMegabytes() {
        Stop();
        peak_ = std::max<std::size_t>(peak_, ResidentBytes());
        return static_cast<double>(peak_ - start_) / (1024.0 * 1024.0);
    }

private:
    void Stop() {
        stop_ = true;
        if (sampler_.joinable()) sampler_.join();
    }

    std::size_t start_;
    std::atomic<std::size_t> peak_;
    std::atomic<bool> stop_{false};
    std::thread sampler_;
};

struct Measure {
    double seconds = 0;
    double extraMegabytes = 0;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

FILETIME At(int32_t seconds) {
    const ULONGLONG ticks = (static_cast<ULONGLONG>(seconds) + 11644473600ULL) * 10000000ULL;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// The bare client: the same items' handles, obtained once, and one ReadRaw of the same
// interval with bounds, as the plug-in asks.
class BareClient {
public:
    BareClient(IOPCHDA_Server& server, const std::vector<std::wstring>& ids) : server_(server), count_(static_cast<DWORD>(ids.size())) {
        std::vector<LPWSTR> idPointers;
        for (const auto& id : ids) idPointers.push_back(const_cast<LPWSTR>(id.c_str()));
        std::vector<OPCHANDLE> clients(ids.size());
        platform::UniqueCoTaskMemArray<HRESULT> errors;
        server.GetItemHandles(count_, idPointers.data(), clients.data(), handles_.Put(count_), errors.Put(count_));
        reader_ = platform::Query<IOPCHDA_SyncRead>(&server).pointer;
    }
    ~BareClient() {
        platform::UniqueCoTaskMemArray<HRESULT> errors;
        server_.ReleaseItemHandles(count_, handles_.Get(), errors.Put(count_));
    }
    BareClient(const BareClient&) = delete;
    BareClient& operator=(const BareClient&) = delete;

    // One ReadRaw of every value of [kT0, kT0 + rows - 1 s] with bounds, as the plug-in asked
    // before it read in chunks.
    Measure Read(uint32_t rows) {
        PeakWatch watch;
        const auto begin = Clock::now();
        {
            OPCHDA_TIME start{FALSE, nullptr, At(kT0)};
            OPCHDA_TIME end{FALSE, nullptr, At(kT0 + static_cast<int32_t>(rows) - 1)};
            platform::UniqueCoTaskMemArray<OPCHDA_ITEM> items;
            platform::UniqueCoTaskMemArray<HRESULT> errors;
            reader_->ReadRaw(&start, &end, 0, TRUE, count_, handles_.Get(), items.Put(count_), errors.Put(count_));
        } // the values are freed inside the timed part, as the plug-in frees its own
        return Done(begin, watch);
    }

    // One ReadRaw per row of one value per item: row 0 the value that ends at its time, each
    // later row backwards from its time to the previous row's.
    Measure ReadRows(int32_t step, uint32_t rows) {
        PeakWatch watch;
        const auto begin = Clock::now();
        for (uint32_t r = 0; r < rows; ++r) {
            wchar_t unspecified[] = L"";
            const int32_t t = kT0 + static_cast<int32_t>(r) * step;
            OPCHDA_TIME start{r == 0, r == 0 ? unspecified : nullptr, At(t)};
            OPCHDA_TIME end{FALSE, nullptr, At(r == 0 ? t : t - step)};
            platform::UniqueCoTaskMemArray<OPCHDA_ITEM> items;
            platform::UniqueCoTaskMemArray<HRESULT> errors;
            reader_->ReadRaw(&start, &end, 1, FALSE, count_, handles_.Get(), items.Put(count_), errors.Put(count_));
        }
        return Done(begin, watch);
    }

private:
    static Measure Done(Clock::time_point begin, PeakWatch& watch) {
        Measure m;
        m.seconds = Seconds(Clock::now() - begin);
        m.extraMegabytes = watch.ExtraMegabytes();
        return m;
    }

    IOPCHDA_Server& server_;
    DWORD count_;
    platform::UniqueCoTaskMemArray<OPCHANDLE> handles_;
    platform::ComPtr<IOPCHDA_SyncRead> reader_;
};

// The plug-in's read of the same window, its rows freed inside the timed part.
Measure PluginRead(const host::KestiLibrary& dll, ConnectionHandle connection, const TagHandle* tags, uint32_t count,
                   int32_t step, uint32_t rows, bool& ok) {
    std::vector<VectorHandle> out(rows);
    PeakWatch watch;
    const auto begin = Clock::now();
    ok = dll.kesti2_connectionReadHistoricalDataEx(connection, tags, count, kT0, step, rows, out.data()) == ResultOk && ok;
    for (VectorHandle row : out) dll.kesti2_vectorFree(row);
    Measure m;
    m.seconds = Seconds(Clock::now() - begin);
    m.extraMegabytes = watch.ExtraMegabytes();
    return m;
}

struct Case {
    const char* name;
    std::vector<std::wstring> items; // ids under B
    int32_t step;
    uint32_t rows;
    bool sparse; // the baseline reads row by row
};

std::vector<std::wstring> Ids(const char* prefix, int count) {
    std::vector<std::wstring> ids;
    for (int i = 0; i < count; ++i) ids.push_back(L"B." + std::wstring(prefix, prefix + std::strlen(prefix)) + std::to_wstring(i));
    return ids;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class Bench {
public:
    Bench(const host::KestiLibrary& dll, ConnectionHandle connection, IOPCHDA_Server& bare, test::SimulationServer& sim)
        : dll_(dll), connection_(connection), bare_(bare), sim_(sim) {
        NodeHandle top = nullptr, node = nullptr;
        dll.kesti2_connectionGetNode(connection, 0, &top);
        dll.kesti2_nodeGetNode(top, 0, &node);
        uint32_t count = 0;
        dll.kesti2_nodeGetNumTags(node, &count);
        for (uint32_t i = 0; i < count; ++i) {
            TagHandle tag = nullptr;
            dll.kesti2_nodeGetTag(node, i, &tag);
            StringHandle name = nullptr;
            dll.kesti2_tagGetName(tag, &name);
            const std::string text = host::TakeString(dll, name);
            tags_[text.rfind("B.", 0) == 0 ? text : "B." + text] = tag; // a name is its item id or its last part
        }
    }

    std::vector<TagHandle> TagsOf(const Case& c) const {
        std::vector<TagHandle> tags;
        for (const std::wstring& id : c.items) tags.push_back(tags_.at(Narrow(id)));
        return tags;
    }

    // Prints the case's line; gives its median ratio and the median extra memory.
    std::pair<double, double> Run(const Case& c) {
        BareClient client(bare_, c.items);
        const std::vector<TagHandle> tags = TagsOf(c);
        const uint32_t count = static_cast<uint32_t>(tags.size());
        bool ok = true;
        PluginRead(dll_, connection_, tags.data(), count, 1, 1, ok); // the plug-in's handles
        const auto baseline = [&] { return c.sparse ? client.ReadRows(c.step, c.rows) : client.Read(c.rows); };
        std::vector<double> pluginTimes, bareTimes, ratios, extras;
        const std::size_t readsBefore = sim_.Calls("ReadRaw").size();
        std::size_t bareReads = 0;
        for (int run = 0; run < kRuns; ++run) {
            Measure plugin, bare;
            const std::size_t before = sim_.Calls("ReadRaw").size();
            if (run % 2 == 0) {
                bare = baseline();
                bareReads += sim_.Calls("ReadRaw").size() - before;
                plugin = PluginRead(dll_, connection_, tags.data(), count, c.step, c.rows, ok);
            } else {
                plugin = PluginRead(dll_, connection_, tags.data(), count, c.step, c.rows, ok);
                const std::size_t mid = sim_.Calls("ReadRaw").size();
                bare = baseline();
                bareReads += sim_.Calls("ReadRaw").size() - mid;
            }
            pluginTimes.push_back(plugin.seconds);
            bareTimes.push_back(bare.seconds);
            ratios.push_back(plugin.seconds / bare.seconds);
            extras.push_back(plugin.extraMegabytes - bare.extraMegabytes);
        }
        const double readsPerPluginRead =
            static_cast<double>(sim_.Calls("ReadRaw").size() - readsBefore - bareReads) / kRuns;
        const double medianRatio = Median(ratios), medianExtra = Median(extras);
        std::printf("%-44s %10.3f %10.3f %8.2f %8.2f %8.1f %11.1f%s\n", c.name, Median(pluginTimes), Median(bareTimes),
                    medianRatio, *std::min_element(ratios.begin(), ratios.end()), readsPerPluginRead, medianExtra,
                    ok ? "" : "  (a read failed)");
        std::fflush(stdout);
        return {medianRatio, medianExtra};
    }

    // The plug-in alone, two cases interleaved: the median ratios of time and of extra memory.
    std::pair<double, double> Compare(const Case& a, const Case& b) {
        const std::vector<TagHandle> tagsA = TagsOf(a), tagsB = TagsOf(b);
        bool ok = true;
        std::vector<double> times, memory;
        for (int run = 0; run < kRuns; ++run) {
            const Measure first = PluginRead(dll_, connection_, tagsA.data(), 1, a.step, a.rows, ok);
            const Measure second = PluginRead(dll_, connection_, tagsB.data(), 1, b.step, b.rows, ok);
            times.push_back(first.seconds / second.seconds);
            memory.push_back(std::max(first.extraMegabytes, 0.1) / std::max(second.extraMegabytes, 0.1));
        }
        return {Median(times), Median(memory)};
    }

private:
    const host::KestiLibrary& dll_;
    ConnectionHandle connection_;
    IOPCHDA_Server& bare_;
    test::SimulationServer& sim_;
    std::map<std::string, TagHandle> tags_;
};

} // namespace

int main() {
    test::SimulationServer sim(DataFile());
    const BenchmarkConfiguration configuration;
    host::KestiLibrary dll(host::KestiLibrary::BesideThisProgram());
    const platform::ComApartment apartment(COINIT_MULTITHREADED);

    int hostArgument = 0;
    ConnectionHandle connection = nullptr;
    if (dll.kesti2_connectionOpen(&hostArgument, &connection) != ResultOk) {
        std::fprintf(stderr, "bench: the connection could not be opened\n");
        return 1;
    }
    MULTI_QI request{&IID_IOPCHDA_Server, nullptr, S_OK};
    CoCreateInstanceEx(test::kSimulationServerClsid, nullptr, CLSCTX_LOCAL_SERVER, nullptr, 1, &request);
    platform::ComPtr<IOPCHDA_Server> bare;
    bare.Attach(static_cast<IOPCHDA_Server*>(request.pItf));
    Bench bench(dll, connection, *bare.Get(), sim);

    const std::vector<std::wstring> wide = Ids("w", kWideTags), year = Ids("y", kWideTags);
    const Case dense[] = {{"100 tags x 1000 rows", wide, 1, 1000, false},
                          {"100 tags x 3000 rows", wide, 1, 3000, false},
                          {"100 tags x 10000 rows", wide, 1, 10000, false},
                          {"1 tag x 100000 values", {L"B.long"}, 1, 100000, false},
                          {"1 tag x 300000 values", {L"B.long"}, 1, 300000, false},
                          {"1 tag x 1000000 values", {L"B.long"}, 1, 1000000, false},
                          {"1 tag x 1 day into 86400 rows", {L"B.day"}, 1, 86400, false}};
    const Case sparse[] = {{"1 tag x 30 days of 1-s values into 30 rows", {L"B.month"}, kDay, 30, true},
                           {"100 tags x 365 days of 1-s values into 365 rows", year, kDay, 365, true}};
    std::printf("%d runs per case, plug-in and bare interleaved; times are medians\n", kRuns);
    std::printf("%-44s %10s %10s %8s %8s %8s %11s\n", "case", "plug-in s", "bare s", "median", "min", "ReadRaw",
                "extra MiB");
    std::vector<double> headline;
    for (const Case& c : dense) {
        const double ratio = bench.Run(c).first;
        if (c.rows == 10000 || c.rows == 1000000) headline.push_back(ratio);
    }
    std::printf("sparse cases: the bare client reads each row backwards, one value per item\n");
    bench.Run(sparse[0]);
    const std::pair<double, double> year365 = bench.Run(sparse[1]);
    const Case twoRows{"1 tag x 30 days into 2 rows", {L"B.month"}, 29 * kDay, 2, true};
    const Case dayRows{"1 tag x 1 day into 24 rows", {L"B.month"}, 3600, 24, true};
    const std::pair<double, double> longShort = bench.Compare(twoRows, dayRows);
    std::printf("plug-in, 1 tag x 30 days into 2 rows / 1 day into 24 rows: time %.2f, memory %.2f\n", longShort.first,
                longShort.second);
    bare.Reset();
    dll.kesti2_connectionClose(connection);
    std::printf("headline median ratios: %.2f %.2f\n", headline.at(0), headline.at(1));
    std::printf("sparse headline: %.2f %.1f\n", year365.first, year365.second);
    return 0;
}
