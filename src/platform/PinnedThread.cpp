#include "platform/PinnedThread.h"

#include <memory>

namespace kesti::platform {
namespace {

struct ThreadStart {
    std::function<DWORD()> body;
    HMODULE module = nullptr;
};

DWORD RunBody(ThreadStart& start) noexcept {
    try {
        return start.body();
    } catch (...) {
        return static_cast<DWORD>(E_UNEXPECTED);
    }
}

DWORD WINAPI ThreadProcedure(void* parameter) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
    const DWORD exitCode = RunBody(*start);
    const HMODULE module = start->module;
    start.reset(); // the body and what it holds go while the module is still pinned
    if (module != nullptr) FreeLibraryAndExitThread(module, exitCode);
    return exitCode;
}

HMODULE PinThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ThreadProcedure), &module);
    return module;
}

} // namespace

UniqueHandle StartPinnedThread(std::function<DWORD()> body) {
    auto start = std::make_unique<ThreadStart>();
    start->body = std::move(body);
    start->module = PinThisModule();
    const HMODULE pinned = start->module;
    UniqueHandle thread(CreateThread(nullptr, 0, &ThreadProcedure, start.get(), 0, nullptr));
    if (!thread) {
        const DWORD error = GetLastError();
        if (pinned != nullptr) FreeLibrary(pinned);
        SetLastError(error);
        return thread;
    }
    start.release(); // the thread owns it now
    return thread;
}

} // namespace kesti::platform
