#include "discovery/ReachabilityProbe.h"

#include <boost/format.hpp>

#include "base/Log.h"
#include "base/TextConversion.h"
#include "platform/ComApartment.h"
#include "platform/PinnedThread.h"
#include "platform/RegistryKey.h"
#include "platform/Seams.h"
#include "platform/UniqueHandle.h"

namespace kesti {

// {F3839019-166B-4EC4-856C-CC68371AC7B2}
const CLSID kProbeClassId = {0xF3839019, 0x166B, 0x4EC4, {0x85, 0x6C, 0xCC, 0x68, 0x37, 0x1A, 0xC7, 0xB2}};

namespace {

const char* const kLantrelKey = "Software\\Norvane\\Kesti\\Lantrel";
constexpr DWORD kDefaultTimeoutSeconds = 10;

bool ReadTimeoutSeconds(HKEY root, DWORD& seconds) {
    const platform::RegistryKey key = platform::RegistryKey::Open(root, kLantrelKey, KEY_QUERY_VALUE);
    if (!key) return false;
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG status = RegQueryValueExA(key.Get(), "OPCTimeout", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (status != ERROR_SUCCESS || type != REG_DWORD) return false;
    seconds = value;
    return true;
}

HRESULT ProbeActivation(const std::wstring& host) {
    const platform::ComApartment apartment(COINIT_MULTITHREADED);
    if (!apartment.Holds()) return apartment.Result();
    COSERVERINFO server{};
    server.pwszName = const_cast<LPWSTR>(host.c_str());
    MULTI_QI request{&IID_IUnknown, nullptr, S_OK};
    const HRESULT result = platform::CreateInstanceEx(
        kProbeClassId, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER, &server, 1, &request);
    if (request.pItf != nullptr) request.pItf->Release();
    return SUCCEEDED(result) ? S_OK : result;
}

} // namespace

std::uint32_t ProbeWait::Milliseconds() const {
    if (storedWait_ != kUnbounded && storedWait_ != kFromSettings) return storedWait_;
    DWORD seconds = kDefaultTimeoutSeconds;
    if (!ReadTimeoutSeconds(HKEY_CURRENT_USER, seconds)) ReadTimeoutSeconds(HKEY_LOCAL_MACHINE, seconds);
    const std::uint64_t milliseconds = static_cast<std::uint64_t>(seconds) * 1000;
    // Never the unbounded wait: the largest bounded one instead.
    return milliseconds >= kFromSettings ? kFromSettings - 1 : static_cast<std::uint32_t>(milliseconds);
}

HRESULT PingHost(const std::string& host, std::uint32_t waitMs) {
    if (host.empty()) return S_OK;
    // The thread owns its copy of the name: a probe abandoned at the end of the wait never
    // reads the caller's text.
    const platform::UniqueHandle thread = platform::StartPinnedThread(
        [wideHost = WideFromAnsi(host)] { return static_cast<DWORD>(ProbeActivation(wideHost)); });
    if (!thread) return HRESULT_FROM_WIN32(GetLastError());
    HRESULT result = kRpcServerUnavailable;
    if (WaitForSingleObject(thread.Get(), waitMs) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        GetExitCodeThread(thread.Get(), &exitCode);
        result = static_cast<HRESULT>(exitCode);
    } else {
        LogMessage(LogWarning, (boost::format("PingHost: the host %1% did not answer within %2% ms; it is taken as "
                                              "unreachable.") % host % waitMs).str());
    }
    return result == REGDB_E_CLASSNOTREG ? S_OK : result;
}

HRESULT PingHost(const std::string& host) { return PingHost(host, ProbeWait().Milliseconds()); }

} // namespace kesti
