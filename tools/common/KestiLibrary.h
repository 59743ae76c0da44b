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
        if (module_ == nullptr)
            throw std::runtime_error("cannot load " + Narrow(path) + " (error " + std::to_string(GetLastError()) + ")");
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

    // The DLL beside the running program or, as the package lays the tools out, in the folder
    // above it.
    static std::wstring NearThisProgram() {
        const std::wstring beside = BesideThisProgram();
        if (GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES) return beside;
        std::wstring folder = beside.substr(0, beside.find_last_of(L"\\/"));
        folder.erase(folder.find_last_of(L"\\/") + 1);
        const std::wstring above = folder + L"OpcHDAKesti.dll";
        return GetFileAttributesW(above.c_str()) != INVALID_FILE_ATTRIBUTES ? above : beside;
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

    static std::string Narrow(const std::wstring& text) {
        const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string narrow(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
        if (n > 1) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0], n, nullptr, nullptr);
        return narrow;
    }

    void Resolve() {
#define KESTI_EXPORT(name) Find(name, #name);
#include "common/KestiExports.inc"
#undef KESTI_EXPORT
    }

    HMODULE module_;
};

// The text of a string handle, which is freed.
inline std::string TakeString(const KestiLibrary& dll, StringHandle string) {
    uint32_t length = 0;
    dll.kesti2_stringCopy(string, nullptr, &length);
    std::string text(length, '\0');
    if (length > 0) dll.kesti2_stringCopy(string, &text[0], &length);
    dll.kesti2_stringFree(string);
    return text;
}

} // namespace kesti::host
