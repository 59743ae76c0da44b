// opc-serverlist: the OPC server-list component (OPC.ServerList.1) for machines without the
// OPC Foundation's redistributable, such as the project's Wine prefix.
//
//   opc-serverlist /RegServer | /UnregServer | -Embedding   (--register and --unregister too)
#include <cstdio>
#include <string>

#include "ComRegistration.h"
#include "CommandSwitch.h"
#include "ServerList.h"
#include "platform/ComApartment.h"

using namespace kesti;

namespace {

// {13486D51-4821-11D2-A494-3CB306C10000}: the component's published class id.
const CLSID kServerListClass = {0x13486D51, 0x4821, 0x11D2, {0xA4, 0x94, 0x3C, 0xB3, 0x06, 0xC1, 0x00, 0x00}};

tools::LocalServerClass ServerListClass() {
    return {kServerListClass, L"OPC.ServerList.1", L"OPC.ServerList", L"OPC Server List", {}};
}

HRESULT CreateServerList(REFIID riid, void** object) {
    auto* list = new serverlist::ServerList();
    const HRESULT result = list->QueryInterface(riid, object);
    list->Release();
    return result;
}

int Serve() {
    // Never uninitialised: the process ends once the last reply is out (EndServerProcess).
    const platform::ComApartment apartment(COINIT_MULTITHREADED);
    if (!apartment.Holds()) return 1;
    auto* factory = new tools::ClassFactory(&CreateServerList);
    DWORD cookie = 0;
    const HRESULT registered = CoRegisterClassObject(kServerListClass, static_cast<IClassFactory*>(factory),
                                                     CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie);
    factory->Release();
    if (FAILED(registered)) return 1;
    tools::ServerLifetime::Instance().WaitUntilUnused(10000);
    tools::EndServerProcess();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (tools::IsSwitch(command, L"RegServer") || tools::IsSwitch(command, L"register"))
        return tools::RegisterLocalServer(ServerListClass(), tools::ThisExecutable()) ? 0 : 1;
    if (tools::IsSwitch(command, L"UnregServer") || tools::IsSwitch(command, L"unregister")) {
        tools::UnregisterLocalServer(ServerListClass());
        return 0;
    }
    if (tools::IsSwitch(command, L"Embedding") || command.empty()) return Serve();
    std::fprintf(stderr, "usage: opc-serverlist [/RegServer | /UnregServer | -Embedding]\n");
    return 2;
}
