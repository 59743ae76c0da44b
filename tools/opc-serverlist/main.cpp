// opc-serverlist: the OPC server-list component (OPC.ServerList.1) for machines without the
// OPC Foundation's redistributable, such as the project's Wine prefix.
//
//   opc-serverlist /RegServer | /UnregServer | -Embedding   (--register and --unregister too)
#include <string>

#include "ServerList.h"
#include "SingleClassServer.h"

using namespace kesti;

namespace {

// {13486D51-4821-11D2-A494-3CB306C10000}: the component's published class id.
const CLSID kServerListClass = {0x13486D51, 0x4821, 0x11D2, {0xA4, 0x94, 0x3C, 0xB3, 0x06, 0xC1, 0x00, 0x00}};

tools::LocalServerClass ServerListClass() {
    return {kServerListClass, L"OPC.ServerList.1", L"OPC.ServerList", L"OPC Server List", {}};
}

HRESULT CreateServerList(REFIID riid, void** object) {
    return tools::HandOut(new serverlist::ServerList(), riid, object);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    return tools::SingleClassServerMain(argc, argv, ServerListClass(), &CreateServerList, "opc-serverlist");
}
