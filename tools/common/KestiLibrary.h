#pragma once
// Loads OpcHDAKesti.dll by path and finds its exports by name, the way a host program does:
// LoadLibrary and GetProcAddress, never by linking to it. Shared by the command-line host,
// the tests that go through the DLL and the benchmarks.
#include <stdexcept>
#include <string>

#include <windows.h>

#include "interface/OpcHDAKesti.h"

namespace kesti::host {

class KestiLibrary {
public:
    explicit KestiLibrary(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {
        if (module_ == nullptr) throw std::runtime_error("cannot load OpcHDAKesti.dll");
        Resolve();
    }
    ~KestiLibrary() { FreeLibrary(module_); }
    KestiLibrary(const KestiLibrary&) = delete;
    KestiLibrary& operator=(const KestiLibrary&) = delete;

    // The DLL beside the running program.
    static std::wstring BesideThisProgram() {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring folder(path);
        folder.erase(folder.find_last_of(L"\\/") + 1);
        return folder + L"OpcHDAKesti.dll";
    }

    HMODULE Module() const { return module_; }

#define KESTI_EXPORT(name) decltype(&::name) name = nullptr;
#include "common/KestiExports.inc"
#undef KESTI_EXPORT

private:
    template <class Function>
    void Find(Function& function, const char* name) {
        function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
        if (function == nullptr) throw std::runtime_error(std::string("OpcHDAKesti.dll lacks ") + name);
    }

    void Resolve() {
#define KESTI_EXPORT(name) Find(name, #name);
#include "common/KestiExports.inc"
#undef KESTI_EXPORT
    }

    HMODULE module_;
};

} // namespace kesti::host
