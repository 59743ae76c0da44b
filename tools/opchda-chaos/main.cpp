// opchda-chaos: an out-of-process OPC HDA server whose answers are legal on the wire and
// hostile in content, each drawn from a seed, for finding what a client cannot take.
//
//   opchda-chaos /RegServer      register the server class (LocalServer32, ProgIDs, category)
//   opchda-chaos /UnregServer    remove it again
//   opchda-chaos -Embedding      what COM starts: serve one client, then end
//
// Settings (HKCU\Software\Norvane\OpcHdaChaos): "Seed" (REG_SZ or REG_DWORD) and "Journal"
// (a file that gets one line per call: what the server chose and answered).
#include <memory>
#include <string>

#include "SingleClassServer.h"

#include "Chaos.h"
#include "ChaosServer.h"

using namespace kesti;

namespace {

// {6C3E2A91-7B4D-4F1E-9A2C-5D8E0F1B3C47}
const CLSID kChaosServer = {0x6C3E2A91, 0x7B4D, 0x4F1E, {0x9A, 0x2C, 0x5D, 0x8E, 0x0F, 0x1B, 0x3C, 0x47}};

tools::LocalServerClass ChaosClass() {
    return {kChaosServer, L"OpcHdaChaos.Server.1", L"OpcHdaChaos.Server", L"OpcHDAKesti Chaos HDA Server",
            {tools::kCategoryHda10}};
}

HRESULT CreateServer(REFIID riid, void** object) {
    auto chaos = std::make_shared<chaos::Chaos>(chaos::SeedSetting(), chaos::JournalSetting());
    return tools::HandOut(new chaos::ChaosServer(std::move(chaos)), riid, object);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    return tools::SingleClassServerMain(argc, argv, ChaosClass(), &CreateServer, "opchda-chaos");
}
