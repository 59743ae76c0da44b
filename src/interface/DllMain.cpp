// Entry point of OpcHDAKesti.dll. Only the module handle is kept here: everything else
// (data folder, log, tables) is prepared on first use, never under the loader lock.
#include <windows.h>

#include "platform/PluginModule.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        kesti::platform::SetPluginModule(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
