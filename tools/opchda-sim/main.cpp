// opchda-sim: an out-of-process OPC HDA 1.20 server over a JSON data file, for tests, demos
// and reproducing a customer's server.
//
//   opchda-sim /RegServer      register the server classes (LocalServer32, ProgIDs, categories)
//   opchda-sim /UnregServer    remove them again (--register and --unregister do the same)
//   opchda-sim --check FILE    load a data file and report the first problem in it
//   opchda-sim --reset         forget what clients wrote (the writes file beside the data file)
//   opchda-sim -Embedding      what COM starts: serve one client, then end
#include <cstdio>
#include <memory>
#include <string>

#include "ComRegistration.h"
#include "CommandSwitch.h"
#include "ComServerHost.h"
#include "platform/ComApartment.h"
#include "HistorianServer.h"
#include "SimSettings.h"
#include "SimText.h"

using namespace kesti;

namespace {

// {4A5B6C7D-1E2F-4A3B-8C9D-0E1F2A3B4C5D}: the HDA server; ...5E: the same program registered
// as a Data Access server only, so that lists show both kinds.
const CLSID kSimulationServer = {0x4A5B6C7D, 0x1E2F, 0x4A3B, {0x8C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5D}};
const CLSID kSimulationDataAccess = {0x4A5B6C7D, 0x1E2F, 0x4A3B, {0x8C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5E}};
const GUID kCategoryDa20 = {0x63D5F432, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};

std::vector<tools::LocalServerClass> Classes() {
    return {{kSimulationServer, L"OpcHdaSim.Server.1", L"OpcHdaSim.Server", L"OpcHDAKesti Simulation HDA Server",
             {tools::kCategoryHda10}},
            {kSimulationDataAccess, L"OpcHdaSim.DataAccess.1", L"", L"OpcHDAKesti Simulation DA Server", {kCategoryDa20}}};
}

// A new server over a freshly loaded data file; a data file that cannot be used fails the
// activation and leaves its message in the journal.
HRESULT CreateServer(REFIID riid, void** object) {
    auto journal = std::make_shared<sim::Journal>(sim::JournalPath());
    std::shared_ptr<sim::SimData> data;
    try {
        data = sim::LoadSimData(sim::DataFilePath(), sim::WritesPath());
    } catch (const sim::DataFileError& e) {
        journal->Write(std::string("DataFileError ") + e.what());
        tools::ServerLifetime::Instance().RequestShutdown();
        return E_FAIL;
    }
    journal->Write("Activate pid=" + std::to_string(GetCurrentProcessId()));
    return tools::HandOut(new sim::HistorianServer(std::move(data), journal, sim::Journal(sim::WritesPath())), riid,
                          object);
}

int Serve() {
    // Never uninitialised: the process ends once the last reply is out (EndServerProcess).
    const platform::ComApartment apartment(COINIT_MULTITHREADED);
    if (!apartment.Holds()) return 1;
    bool registered = false;
    for (const auto& c : Classes()) {
        auto* factory = new tools::ClassFactory(&CreateServer);
        DWORD cookie = 0;
        if (SUCCEEDED(CoRegisterClassObject(c.clsid, static_cast<IClassFactory*>(factory), CLSCTX_LOCAL_SERVER,
                                            REGCLS_SINGLEUSE, &cookie)))
            registered = true;
        factory->Release();
    }
    if (!registered) return 1;
    tools::ServerLifetime::Instance().WaitUntilUnused(10000);
    tools::EndServerProcess();
}

int Check(const wchar_t* file) {
    try {
        const auto data = sim::LoadSimData(file);
        std::printf("%s: %zu items\n", sim::Utf8(file).c_str(), data->items.size());
        return 0;
    } catch (const sim::DataFileError& e) {
        std::fprintf(stderr, "opchda-sim: %s\n", e.what());
        return 1;
    }
}

int Reset() {
    const std::wstring writes = sim::WritesPath();
    if (!DeleteFileW(writes.c_str())) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) {
            std::fprintf(stderr, "opchda-sim: %s could not be deleted (error %lu)\n", sim::Utf8(writes).c_str(), error);
            return 1;
        }
    }
    std::printf("forgot the values written over %s\n", sim::Utf8(sim::DataFilePath()).c_str());
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (tools::IsSwitch(command, L"RegServer") || tools::IsSwitch(command, L"register")) {
        for (const auto& c : Classes())
            if (!tools::RegisterLocalServer(c, tools::ThisExecutable())) return 1;
        return 0;
    }
    if (tools::IsSwitch(command, L"UnregServer") || tools::IsSwitch(command, L"unregister")) {
        for (const auto& c : Classes()) tools::UnregisterLocalServer(c);
        return 0;
    }
    if (tools::IsSwitch(command, L"check") && argc > 2) return Check(argv[2]);
    if (tools::IsSwitch(command, L"reset")) return Reset();
    if (tools::IsSwitch(command, L"Embedding") || command.empty()) return Serve();
    std::fprintf(stderr, "usage: opchda-sim [/RegServer | /UnregServer | --check FILE | --reset | -Embedding]\n");
    return 2;
}
