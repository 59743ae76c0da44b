#pragma once
// The whole life of a local server of one class: /RegServer and /UnregServer (--register and
// --unregister too) write or remove its registration; -Embedding, or no argument, serves one
// client in the multithreaded apartment and ends the process once the last reply is out.
#include <cstdio>
#include <string>

#include "ComRegistration.h"
#include "ComServerHost.h"
#include "CommandSwitch.h"
#include "platform/ComApartment.h"

namespace kesti::tools {

inline int ServeOneClass(const CLSID& clsid, ClassFactory::Creator create) {
    // Never uninitialised: the process ends once the last reply is out (EndServerProcess).
    const platform::ComApartment apartment(COINIT_MULTITHREADED);
    if (!apartment.Holds()) return 1;
    auto* factory = new ClassFactory(std::move(create));
    DWORD cookie = 0;
    const HRESULT registered = CoRegisterClassObject(clsid, static_cast<IClassFactory*>(factory), CLSCTX_LOCAL_SERVER,
                                                     REGCLS_SINGLEUSE, &cookie);
    factory->Release();
    if (FAILED(registered)) return 1;
    ServerLifetime::Instance().WaitUntilUnused(10000);
    EndServerProcess();
}

// The program's wmain: `program` names it in the usage line.
inline int SingleClassServerMain(int argc, wchar_t** argv, const LocalServerClass& serverClass,
                                 ClassFactory::Creator create, const char* program) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (IsSwitch(command, L"RegServer") || IsSwitch(command, L"register"))
        return RegisterLocalServer(serverClass, ThisExecutable()) ? 0 : 1;
    if (IsSwitch(command, L"UnregServer") || IsSwitch(command, L"unregister")) {
        UnregisterLocalServer(serverClass);
        return 0;
    }
    if (IsSwitch(command, L"Embedding") || command.empty()) return ServeOneClass(serverClass.clsid, std::move(create));
    std::fprintf(stderr, "usage: %s [/RegServer | /UnregServer | -Embedding]\n", program);
    return 2;
}

} // namespace kesti::tools
