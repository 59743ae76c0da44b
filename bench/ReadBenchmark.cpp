// Read benchmark: historical reads through the DLL's exports against the same raw reads made
// by a bare OPC HDA client, in the same run, against the same simulation server.
//   100 tags x 1 000 / 3 000 / 10 000 rows, and 1 tag x 100 000 / 300 000 / 1 000 000 values.
// Every case runs kRuns times, plug-in and bare interleaved (the order alternating), after a
// first read that obtains the handles on both sides, so that only reads are compared. Per
// case it prints the median times, the median and the smallest ratio plug-in / bare, the raw
// reads the server counted per plug-in read, and the plug-in's extra peak memory over the
// bare read (the median over the runs of the difference of the peaks of resident memory
// during each read). The last line gives the headline ratios. The user's configuration file
// is put back as it was.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
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
constexpr int kWideTags = 100;

std::string DataFile() {
    std::string items;
    for (int i = 0; i < kWideTags; ++i)
        items += "{\"name\":\"w" + std::to_string(i) + "\",\"generate\":{\"kind\":\"sine\",\"start\":\"2024-01-01 00:00:00\","
                 "\"interval\":\"1S\",\"count\":10000,\"period\":600,\"amplitude\":" + std::to_string(i + 1) + "}},";
    items += "{\"name\":\"long\",\"generate\":{\"kind\":\"ramp\",\"start\":\"2024-01-01 00:00:00\",\"interval\":\"1S\",\"count\":1000000}}";
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
        Measure m;
        m.seconds = Seconds(Clock::now() - begin);
        m.extraMegabytes = watch.ExtraMegabytes();
        return m;
    }

private:
    IOPCHDA_Server& server_;
    DWORD count_;
    platform::UniqueCoTaskMemArray<OPCHANDLE> handles_;
    platform::ComPtr<IOPCHDA_SyncRead> reader_;
};

// The plug-in's read of the same window, its rows freed inside the timed part.
Measure PluginRead(const host::KestiLibrary& dll, ConnectionHandle connection, const TagHandle* tags, uint32_t count,
                   uint32_t rows, bool& ok) {
    std::vector<VectorHandle> out(rows);
    PeakWatch watch;
    const auto begin = Clock::now();
    ok = dll.kesti2_connectionReadHistoricalDataEx(connection, tags, count, kT0, 1, rows, out.data()) == ResultOk && ok;
    for (VectorHandle row : out) dll.kesti2_vectorFree(row);
    Measure m;
    m.seconds = Seconds(Clock::now() - begin);
    m.extraMegabytes = watch.ExtraMegabytes();
    return m;
}

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
    NodeHandle top = nullptr, node = nullptr;
    dll.kesti2_connectionGetNode(connection, 0, &top);
    dll.kesti2_nodeGetNode(top, 0, &node);
    std::vector<TagHandle> tags(kWideTags + 1);
    for (uint32_t i = 0; i <= kWideTags; ++i) dll.kesti2_nodeGetTag(node, i, &tags[i]);

    MULTI_QI request{&IID_IOPCHDA_Server, nullptr, S_OK};
    CoCreateInstanceEx(test::kSimulationServerClsid, nullptr, CLSCTX_LOCAL_SERVER, nullptr, 1, &request);
    platform::ComPtr<IOPCHDA_Server> bare;
    bare.Attach(static_cast<IOPCHDA_Server*>(request.pItf));

    struct Case {
        const char* name;
        uint32_t firstTag, tagCount, rows;
    };
    const Case cases[] = {{"100 tags x 1000 rows", 0, 100, 1000},     {"100 tags x 3000 rows", 0, 100, 3000},
                          {"100 tags x 10000 rows", 0, 100, 10000},   {"1 tag x 100000 values", 100, 1, 100000},
                          {"1 tag x 300000 values", 100, 1, 300000},  {"1 tag x 1000000 values", 100, 1, 1000000}};
    std::printf("%d runs per case, plug-in and bare interleaved; times are medians\n", kRuns);
    std::printf("%-24s %10s %10s %8s %8s %8s %11s\n", "case", "plug-in s", "bare s", "median", "min", "ReadRaw",
                "extra MiB");
    std::vector<double> headline;
    for (const Case& c : cases) {
        std::vector<std::wstring> ids;
        for (uint32_t i = c.firstTag; i < c.firstTag + c.tagCount; ++i)
            ids.push_back(i == kWideTags ? L"B.long" : L"B.w" + std::to_wstring(i));
        BareClient client(*bare.Get(), ids);
        bool ok = true;
        PluginRead(dll, connection, tags.data() + c.firstTag, c.tagCount, 1, ok); // the plug-in's handles
        std::vector<double> pluginTimes, bareTimes, ratios, extras;
        const std::size_t readsBefore = sim.Calls("ReadRaw").size();
        for (int run = 0; run < kRuns; ++run) {
            Measure plugin, baseline;
            if (run % 2 == 0) {
                baseline = client.Read(c.rows);
                plugin = PluginRead(dll, connection, tags.data() + c.firstTag, c.tagCount, c.rows, ok);
            } else {
                plugin = PluginRead(dll, connection, tags.data() + c.firstTag, c.tagCount, c.rows, ok);
                baseline = client.Read(c.rows);
            }
            pluginTimes.push_back(plugin.seconds);
            bareTimes.push_back(baseline.seconds);
            ratios.push_back(plugin.seconds / baseline.seconds);
            extras.push_back(plugin.extraMegabytes - baseline.extraMegabytes);
        }
        // The bare client's reads are in the journal too: one per run.
        const double readsPerPluginRead =
            static_cast<double>(sim.Calls("ReadRaw").size() - readsBefore - kRuns) / kRuns;
        const double medianRatio = Median(ratios);
        std::printf("%-24s %10.3f %10.3f %8.2f %8.2f %8.1f %11.1f%s\n", c.name, Median(pluginTimes), Median(bareTimes),
                    medianRatio, *std::min_element(ratios.begin(), ratios.end()), readsPerPluginRead, Median(extras),
                    ok ? "" : "  (a read failed)");
        std::fflush(stdout);
        if (c.rows == 10000 || c.rows == 1000000) headline.push_back(medianRatio);
    }
    bare.Reset();
    dll.kesti2_connectionClose(connection);
    std::printf("headline median ratios: %.2f %.2f\n", headline.at(0), headline.at(1));
    return 0;
}
