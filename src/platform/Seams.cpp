#include "platform/Seams.h"

#include <mutex>

#include <windows.h>
#include <lm.h>
#include <shlobj.h>

namespace kesti::platform {
namespace {

std::mutex& SeamLock() {
    static std::mutex lock;
    return lock;
}

std::optional<std::string>& AppDataOverride() {
    static std::optional<std::string> folder;
    return folder;
}

// A replaceable function: the installed handler, or nothing for the real one.
template <class Handler>
class Hook {
public:
    Handler Get() {
        std::lock_guard<std::mutex> guard(SeamLock());
        return handler_;
    }
    void Set(Handler handler) {
        std::lock_guard<std::mutex> guard(SeamLock());
        handler_ = std::move(handler);
    }

private:
    Handler handler_;
};

Hook<MessageBoxHandler> messageBoxHook;
Hook<ActivationHandler> activationHook;
Hook<ProxyBlanketHandler> proxyBlanketHook;
Hook<NetworkHostsHandler> networkHostsHook;

} // namespace

int ShowMessageBox(const MessageBoxRequest& request) {
    if (auto handler = messageBoxHook.Get()) return handler(request);
    return MessageBoxA(request.owner, request.text.c_str(), request.caption.c_str(), request.type);
}

void SetMessageBoxHandler(MessageBoxHandler handler) { messageBoxHook.Set(std::move(handler)); }

std::string CommonAppDataFolder() {
    {
        std::lock_guard<std::mutex> guard(SeamLock());
        if (AppDataOverride()) return *AppDataOverride();
    }
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
}

void SetCommonAppDataFolderOverride(std::optional<std::string> folder) {
    std::lock_guard<std::mutex> guard(SeamLock());
    AppDataOverride() = std::move(folder);
}

HRESULT CreateInstanceEx(const CLSID& clsid, DWORD context, COSERVERINFO* server, ULONG count, MULTI_QI* results) {
    if (auto handler = activationHook.Get()) return handler(clsid, context, server, count, results);
    return CoCreateInstanceEx(clsid, nullptr, context, server, count, results);
}

void SetActivationHandler(ActivationHandler handler) { activationHook.Set(std::move(handler)); }

HRESULT SetProxyBlanket(const ProxyBlanketRequest& r) {
    if (auto handler = proxyBlanketHook.Get()) return handler(r);
    return CoSetProxyBlanket(r.proxy, r.authenticationService, r.authorizationService, nullptr,
                             r.authenticationLevel, r.impersonationLevel,
                             const_cast<COAUTHIDENTITY*>(r.identity), r.capabilities);
}

void SetProxyBlanketHandler(ProxyBlanketHandler handler) { proxyBlanketHook.Set(std::move(handler)); }

DWORD EnumerateNetworkServers(std::vector<std::wstring>& names) {
    if (auto handler = networkHostsHook.Get()) return handler(names);
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0, resume = 0;
    const NET_API_STATUS status = NetServerEnum(nullptr, 101, &buffer, MAX_PREFERRED_LENGTH, &read, &total,
                                                SV_TYPE_WORKSTATION | SV_TYPE_SERVER, nullptr, &resume);
    if ((status == NERR_Success || status == ERROR_MORE_DATA) && buffer != nullptr) {
        const auto* servers = reinterpret_cast<const SERVER_INFO_101*>(buffer);
        for (DWORD i = 0; i < read; ++i) names.emplace_back(servers[i].sv101_name ? servers[i].sv101_name : L"");
    }
    if (buffer != nullptr) NetApiBufferFree(buffer);
    return status;
}

void SetNetworkHostsHandler(NetworkHostsHandler handler) { networkHostsHook.Set(std::move(handler)); }

} // namespace kesti::platform
