#pragma once
// Small helpers of the simulation server: texts for the journal and injected failures.
#include <string>

#include <windows.h>

#include "SimData.h"

namespace kesti::sim {

inline std::string Utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(n), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], n, nullptr, nullptr);
    return narrow;
}

inline std::string Hex(HRESULT code) {
    char text[16];
    wsprintfA(text, "0x%08lx", static_cast<unsigned long>(code));
    return text;
}

// The failure a data file asks of a call, after the delay it asks for; S_OK otherwise.
inline HRESULT InjectedFailure(const ServerOptions& options, const std::string& call) {
    if (const auto delay = options.delayMs.find(call); delay != options.delayMs.end()) Sleep(delay->second);
    const auto failure = options.failCalls.find(call);
    return failure != options.failCalls.end() ? failure->second : S_OK;
}

} // namespace kesti::sim
