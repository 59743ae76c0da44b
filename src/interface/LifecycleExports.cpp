// Initialisation, identity and the configuration user interface.
#include <cstdio>
#include <cstring>

#include <windows.h>

#include "base/Log.h"
#include "interface/CallGuard.h"
#include "interface/Handles.h"
#include "base/Identity.h"
#include "platform/PluginModule.h"
#include "platform/UniqueHandle.h"

using namespace kesti;

namespace {

// The host's window that the dialogs open centred on: the calling thread's active window,
// else the foreground window when it is one of the host's own; null for a host without one.
HWND HostWindow() {
    if (HWND active = GetActiveWindow()) return active;
    HWND foreground = GetForegroundWindow();
    DWORD process = 0;
    if (foreground != nullptr && GetWindowThreadProcessId(foreground, &process) != 0 && process == GetCurrentProcessId())
        return foreground;
    return nullptr;
}

// Starts "rundll32.exe <this library>,UpdateOPCConfiguration" from the system folder (with
// the host's window, when it has one, after the entry's name) and waits until it ends; a
// process that cannot be started is not waited for.
void LaunchConfigurationProcess() {
    char modulePath[1024] = {};
    GetModuleFileNameA(platform::PluginModule(), modulePath, sizeof modulePath - 1);
    char shortPath[1024] = {};
    const char* path = GetShortPathNameA(modulePath, shortPath, sizeof shortPath - 1) != 0 ? shortPath : modulePath;
    char commandLine[1024] = {};
    const int written = std::snprintf(commandLine, sizeof commandLine, "rundll32.exe %s,UpdateOPCConfiguration", path);
    if (HWND host = HostWindow(); host != nullptr && written > 0 && static_cast<std::size_t>(written) < sizeof commandLine)
        std::snprintf(commandLine + written, sizeof commandLine - static_cast<std::size_t>(written), " %llu",
                      static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(host)));
    char program[MAX_PATH] = {};
    const UINT folder = GetSystemDirectoryA(program, MAX_PATH);
    if (folder == 0 || folder + 14 >= MAX_PATH) return; // no system folder: nothing to start
    std::strcat(program, "\\rundll32.exe");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        const platform::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
        WaitForSingleObject(processHandle.Get(), INFINITE);
    }
}

} // namespace

extern "C" {

KestiResult KESTI_CALL kesti2_initialize(void) { return ResultOk; }

KestiResult KESTI_CALL kesti2_uninitialize(void) { return ResultOk; }

KestiResult KESTI_CALL kesti2_getIdentity(StringHandle* identity) {
    if (identity == nullptr) return ResultInvalidArgument;
    return SilentGuard([&] {
        *identity = NewStringHandle(IdentityText());
        return ResultOk;
    });
}

// Runs the configuration dialogs in a child process: the system's rundll32.exe loads this
// library again and calls UpdateOPCConfiguration; the export waits until it has ended. The
// program is named by its full path in the system folder, so that a rundll32.exe planted in
// the host's folder or current directory is never started in its place.
KestiResult KESTI_CALL kesti2_updateConfiguration(void* host, StringHandle* result) {
    if (host == nullptr || result == nullptr) return ResultInvalidArgument;
    return SilentGuard([&] {
        LaunchConfigurationProcess();
        *result = NewStringHandle(std::string());
        return ResultOk;
    });
}

} // extern "C"
