#pragma once
// The one place where the plug-in meets what tests must observe or what Wine cannot do for
// real. Each seam has a production behaviour; a test may install a replacement in-process.
// None of this is reachable through the DLL's exports or through the environment.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <objbase.h>

namespace kesti::platform {

// --- Message boxes -------------------------------------------------------------------------
struct MessageBoxRequest {
    std::string text;
    std::string caption;
    unsigned int type = 0; // MB_* flags: buttons and icon
    HWND owner = nullptr;  // the dialog the box is modal to, or none
};
using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

// Shows a message box, modal to its owner when one is given, and returns the button pressed
// (IDOK, ...).
int ShowMessageBox(const MessageBoxRequest& request);
// Replaces the real message box; an empty handler restores it.
void SetMessageBoxHandler(MessageBoxHandler handler);

// --- The common application data folder ----------------------------------------------------
// The shell's CSIDL_COMMON_APPDATA folder, or the empty text when the shell cannot tell.
std::string CommonAppDataFolder();
// Replaces the shell's answer (an empty text stands for a failing shell); nullopt restores it.
void SetCommonAppDataFolderOverride(std::optional<std::string> folder);

// --- COM activation ----------------------------------------------------------------------
// Wine cannot activate on another machine; tests see exactly what would be sent.
using ActivationHandler =
    std::function<HRESULT(const CLSID& clsid, DWORD context, COSERVERINFO* server, ULONG count, MULTI_QI* results)>;
HRESULT CreateInstanceEx(const CLSID& clsid, DWORD context, COSERVERINFO* server, ULONG count, MULTI_QI* results);
void SetActivationHandler(ActivationHandler handler);

// --- Proxy security --------------------------------------------------------------------------
struct ProxyBlanketRequest {
    IUnknown* proxy;
    DWORD authenticationService;
    DWORD authorizationService;
    DWORD authenticationLevel;
    DWORD impersonationLevel;
    const COAUTHIDENTITY* identity;
    DWORD capabilities;
};
using ProxyBlanketHandler = std::function<HRESULT(const ProxyBlanketRequest&)>;
HRESULT SetProxyBlanket(const ProxyBlanketRequest& request);
void SetProxyBlanketHandler(ProxyBlanketHandler handler);

// --- The LAN Manager list of machines ------------------------------------------------------------
// NetServerEnum at level 101 for workstations and servers of the primary domain: the
// machines' names and the call's status (NERR_Success, ERROR_MORE_DATA or a failure).
using NetworkHostsHandler = std::function<DWORD(std::vector<std::wstring>& names)>;
DWORD EnumerateNetworkServers(std::vector<std::wstring>& names);
void SetNetworkHostsHandler(NetworkHostsHandler handler);

} // namespace kesti::platform
