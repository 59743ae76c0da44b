// Read benchmark: historical reads through the DLL's exports against the same raw reads made
// by a bare OPC HDA client, in the same run, against the same simulation server.
//   100 tags x 1 000 / 3 000 / 10 000 rows, and 1 tag x 100 000 / 300 000 / 1 000 000 values.
// Prints the ratio plug-in time / bare time, the raw reads and handle requests the journal
// counted for the plug-in, and the process's peak working set.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
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

void WriteConfiguration() {
    char common[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    const std::string folder = std::string(common) + "\\Norvane\\Kesti";
    SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    std::ofstream(folder + "\\OPCHDAConfiguration.xml")
        << "<?xml version=\"1.0\"?>\n<settings><setting key=\"LogLevel\" value=\"2\" /><setting key=\"URL\" value=\""
        << test::kSimulationServerUrl << "\" /><nodes><setting key=\"Node_0_0\" value=\"B\" />"
        << "<setting key=\"Node_0_1\" value=\"B\" /></nodes></settings>\n";
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::size_t PeakMegabytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize / (1024 * 1024);
}

FILETIME At(int32_t seconds) {
    const ULONGLONG ticks = (static_cast<ULONGLONG>(seconds) + 11644473600ULL) * 10000000ULL;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// The bare client: one ReadRaw of the same interval with bounds, as the plug-in asks.
double BareRead(IOPCHDA_Server& server, const std::vector<std::wstring>& ids, uint32_t rows) {
    std::vector<LPWSTR> idPointers;
    for (const auto& id : ids) idPointers.push_back(const_cast<LPWSTR>(id.c_str()));
    std::vector<OPCHANDLE> clients(ids.size());
    const DWORD count = static_cast<DWORD>(ids.size());
    platform::UniqueCoTaskMemArray<OPCHANDLE> handles;
    platform::UniqueCoTaskMemArray<HRESULT> errors;
    server.GetItemHandles(count, idPointers.data(), clients.data(), handles.Put(count), errors.Put(count));
    const auto reader = platform::Query<IOPCHDA_SyncRead>(&server).pointer;
    const auto begin = Clock::now();
    {
        OPCHDA_TIME start{FALSE, nullptr, At(kT0)};
        OPCHDA_TIME end{FALSE, nullptr, At(kT0 + static_cast<int32_t>(rows) - 1)};
        platform::UniqueCoTaskMemArray<OPCHDA_ITEM> items;
        platform::UniqueCoTaskMemArray<HRESULT> readErrors;
        reader->ReadRaw(&start, &end, 0, TRUE, count, handles.Get(), items.Put(count), readErrors.Put(count));
    } // the values are freed inside the timed part, as the plug-in frees its own
    const double seconds = Seconds(Clock::now() - begin);
    platform::UniqueCoTaskMemArray<HRESULT> releaseErrors;
    server.ReleaseItemHandles(count, handles.Get(), releaseErrors.Put(count));
    return seconds;
}

} // namespace

int main() {
    test::SimulationServer sim(DataFile());
    WriteConfiguration();
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
    std::printf("%-24s %10s %10s %7s %8s %8s %9s\n", "case", "plug-in s", "bare s", "ratio", "ReadRaw", "handles",
                "peak MiB");
    for (const Case& c : cases) {
        std::vector<std::wstring> ids;
        for (uint32_t i = c.firstTag; i < c.firstTag + c.tagCount; ++i)
            ids.push_back(i == kWideTags ? L"B.long" : L"B.w" + std::to_wstring(i));
        const double bareSeconds = BareRead(*bare.Get(), ids, c.rows);
        const std::size_t readsBefore = sim.Calls("ReadRaw").size();
        const std::size_t handlesBefore = sim.Calls("GetItemHandles").size();
        std::vector<VectorHandle> rows(c.rows);
        const auto begin = Clock::now();
        const KestiResult result = dll.kesti2_connectionReadHistoricalDataEx(
            connection, tags.data() + c.firstTag, c.tagCount, kT0, 1, c.rows, rows.data());
        for (VectorHandle row : rows) dll.kesti2_vectorFree(row);
        const double pluginSeconds = Seconds(Clock::now() - begin);
        // The bare client's own reads are in the journal too: subtract them.
        const std::size_t reads = sim.Calls("ReadRaw").size() - readsBefore;
        const std::size_t handleCalls = sim.Calls("GetItemHandles").size() - handlesBefore;
        std::printf("%-24s %10.3f %10.3f %7.2f %8zu %8zu %9zu%s\n", c.name, pluginSeconds, bareSeconds,
                    pluginSeconds / bareSeconds, reads, handleCalls, PeakMegabytes(), result == ResultOk ? "" : "  (failed)");
    }
    bare.Reset();
    dll.kesti2_connectionClose(connection);
    return 0;
}
