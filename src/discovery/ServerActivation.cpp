#include "discovery/ServerActivation.h"

#include <algorithm>
#include <cctype>

#include "base/TextConversion.h"
#include "discovery/ReachabilityProbe.h"
#include "platform/Seams.h"

namespace kesti {
namespace {

bool IsLocalHost(const std::string& host) {
    if (host.empty()) return true;
    std::string lower = host;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == "localhost";
}

} // namespace

HRESULT CreateInstanceOnHost(const CLSID& clsid, const std::string& host, const IID& iid, IUnknown** instance,
                             DcomIdentity* identity) {
    *instance = nullptr;
    std::wstring wideHost = WideFromAnsi(host);
    COSERVERINFO server{};
    server.pwszName = host.empty() ? nullptr : &wideHost[0];
    server.pAuthInfo = identity != nullptr ? identity->AuthInfo() : nullptr;
    const DWORD context = IsLocalHost(host) ? CLSCTX_LOCAL_SERVER : CLSCTX_REMOTE_SERVER;
    MULTI_QI request{&iid, nullptr, S_OK};
    const HRESULT result = platform::CreateInstanceEx(clsid, context, &server, 1, &request);
    if (SUCCEEDED(result) && SUCCEEDED(request.hr)) *instance = request.pItf;
    else if (request.pItf != nullptr) request.pItf->Release();
    return result;
}

platform::ComPtr<IUnknown> ActivateOnHost(const CLSID& clsid, const std::string& host, const IID& iid,
                                          DcomIdentity* identity) {
    ThrowIfFailed(PingHost(host), "PingHost", "Ping failed. Could not reach OPC Server.");
    platform::ComPtr<IUnknown> unknown;
    const HRESULT result = CreateInstanceOnHost(clsid, host, iid, unknown.GetAddressOf(), identity);
    ThrowIfFailed(NullAsFailure(result, unknown.Get(), E_NOINTERFACE), "NvCreateInstanceEx");
    return unknown;
}

} // namespace kesti
