#include "discovery/ServerEnumeration.h"

#include <algorithm>
#include <map>
#include <memory>

#include <boost/format.hpp>

#include <lm.h>
#include <rpc.h>

#include "config/Exception.h"
#include "config/Log.h"
#include "discovery/OPCSpecification.h"
#include "opccomn.h"
#include "opchda/ResultText.h"
#include "opchda/TextConversion.h"
#include "platform/ComMemory.h"
#include "platform/Seams.h"
#include "platform/UniqueHandle.h"

namespace kesti {

// {13486D51-4821-11D2-A494-3CB306C10000}
const CLSID kServerListClassId = {0x13486D51, 0x4821, 0x11D2, {0xA4, 0x94, 0x3C, 0xB3, 0x06, 0xC1, 0x00, 0x00}};
// {F3839019-166B-4EC4-856C-CC68371AC7B2}
const CLSID kProbeClassId = {0xF3839019, 0x166B, 0x4EC4, {0x85, 0x6C, 0xCC, 0x68, 0x37, 0x1A, 0xC7, 0xB2}};

namespace {

const char* const kLantrelKey = "Software\\Norvane\\Kesti\\Lantrel";
constexpr DWORD kDefaultTimeoutSeconds = 10;

bool ReadTimeoutSeconds(HKEY root, DWORD& seconds) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, kLantrelKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG status = RegQueryValueExA(key, "OPCTimeout", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD) return false;
    seconds = value;
    return true;
}

bool IsLocalHost(const std::string& host) {
    if (host.empty()) return true;
    std::string lower = host;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == "localhost";
}

// What the probe thread owns: nothing of the caller's, and a reference on this module so
// that a probe outliving its wait never runs inside an unloaded library.
struct ProbeJob {
    std::wstring host;
    HMODULE module = nullptr;
};

HRESULT ProbeActivation(const std::wstring& host) {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(init)) return init;
    COSERVERINFO server{};
    server.pwszName = const_cast<LPWSTR>(host.c_str());
    MULTI_QI request{&IID_IUnknown, nullptr, S_OK};
    const HRESULT result = platform::CreateInstanceEx(
        kProbeClassId, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER, &server, 1, &request);
    if (request.pItf != nullptr) request.pItf->Release();
    CoUninitialize();
    return SUCCEEDED(result) ? S_OK : result;
}

DWORD WINAPI ProbeThread(void* parameter) {
    std::unique_ptr<ProbeJob> job(static_cast<ProbeJob*>(parameter));
    const HRESULT result = ProbeActivation(job->host);
    const HMODULE module = job->module;
    job.reset();
    if (module != nullptr) FreeLibraryAndExitThread(module, static_cast<DWORD>(result));
    return static_cast<DWORD>(result);
}

HMODULE PinThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ProbeThread), &module);
    return module;
}

std::string TakeText(wchar_t* text) {
    platform::UniqueCoTaskMem<wchar_t> owned(text);
    return text != nullptr ? AnsiFromWide(std::wstring(text)) : std::string();
}

void ShowCategoryFailure() {
    platform::ShowMessageBox(
        {"Could not enumerate classes. Typical reasons could be:\n"
         "On the OPC Server PC, the OPC Client User Account does not have the right Access Control List (ACL) "
         "permissions in the System-Wide DCOM settings, Access Permissions, Edit Default.\n"
         "On the OPC Client PC, the OPC Server User Account does not have the right Access Control List (ACL) "
         "permissions in the System-Wide DCOM settings, Access Permissions, Edit Limits.\n"
         "On the OPC Client PC, the DCOM Default Impersonation Level is set to \"Anonymous\" instead of "
         "\"Identify\", and the \"ANONYMOUS LOGON\" Access Control Entry (ACE) does not exist in the OPC Client PC, "
         "Access Control List (ACL) permissions in the System-Wide DCOM settings, Access Permissions, Edit Limits.",
         "", MB_OK});
}

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const {
        RPC_STATUS status = RPC_S_OK;
        return UuidCompare(const_cast<GUID*>(&a), const_cast<GUID*>(&b), &status) < 0;
    }
};

// Builds the entry of a newly found server from what the server list tells of it.
OPCServerInfo DescribeServer(IOPCServerList2& list, const CLSID& clsid, const std::string& host, std::uint32_t flag,
                             const DcomIdentity* identity) {
    wchar_t *progIdText = nullptr, *userTypeText = nullptr, *versionIndependentText = nullptr;
    list.GetClassDetails(clsid, &progIdText, &userTypeText, &versionIndependentText);
    std::string progId = TakeText(progIdText);
    const std::string userType = TakeText(userTypeText);
    const std::string versionIndependent = TakeText(versionIndependentText);
    wchar_t* bracedText = nullptr;
    StringFromCLSID(clsid, &bracedText);
    const std::string braced = TakeText(bracedText);
    if (progId.empty()) {
        wchar_t* fromRegistry = nullptr;
        if (SUCCEEDED(ProgIDFromCLSID(clsid, &fromRegistry))) progId = TakeText(fromRegistry);
    }

    OPCServerInfo info;
    if (identity != nullptr) {
        info.userName = identity->Credentials().userName;
        info.password = identity->Credentials().password;
        info.domain = identity->Credentials().domain;
    }
    OPCURL& url = info.address;
    if (!host.empty()) url.SetHost(host);
    url.SetSpecifications(flag);
    if (!versionIndependent.empty())
        url.SetPath((boost::format("%s/%s") % versionIndependent % braced).str());
    else if (!progId.empty())
        url.SetPath((boost::format("%s/%s") % progId % braced).str());
    else
        url.SetPath(braced);
    url.SetDescription(!userType.empty() ? userType : progId);
    url.SetProgId(progId);
    return info;
}

} // namespace

std::uint32_t ServerListObject::GetWait() const {
    if (storedWait_ != kUnbounded && storedWait_ != kFromSettings) return storedWait_;
    DWORD seconds = kDefaultTimeoutSeconds;
    if (!ReadTimeoutSeconds(HKEY_CURRENT_USER, seconds)) ReadTimeoutSeconds(HKEY_LOCAL_MACHINE, seconds);
    const std::uint64_t milliseconds = static_cast<std::uint64_t>(seconds) * 1000;
    // Never the unbounded wait: the largest bounded one instead.
    return milliseconds >= kFromSettings ? kFromSettings - 1 : static_cast<std::uint32_t>(milliseconds);
}

bool ListNetworkHosts(std::vector<std::string>& hosts) {
    hosts.clear();
    std::vector<std::wstring> names;
    const DWORD status = platform::EnumerateNetworkServers(names);
    if (status != NERR_Success && status != ERROR_MORE_DATA) return false;
    for (const std::wstring& name : names) hosts.push_back(AnsiFromWide(name));
    return !hosts.empty();
}

HRESULT PingHost(const std::string& host, std::uint32_t waitMs) {
    if (host.empty()) return S_OK;
    auto job = std::make_unique<ProbeJob>();
    job->host = WideFromAnsi(host);
    job->module = PinThisModule();
    const HMODULE pinned = job->module;
    platform::UniqueHandle thread(CreateThread(nullptr, 0, &ProbeThread, job.get(), 0, nullptr));
    if (!thread) {
        if (pinned != nullptr) FreeLibrary(pinned);
        return HRESULT_FROM_WIN32(GetLastError());
    }
    job.release(); // the thread owns it now
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

HRESULT NvCreateInstanceEx(const CLSID& clsid, const std::string& host, const IID& iid, IUnknown** instance,
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

std::vector<OPCServerInfo> EnumerateServers(const std::string& host, DcomIdentity* identity) {
    const HRESULT reached = PingHost(host, ServerListObject().GetWait());
    if (FAILED(reached)) throw Exception(SystemMessageText(reached));
    platform::ComPtr<IUnknown> unknown;
    const HRESULT activated =
        NvCreateInstanceEx(kServerListClassId, host, IID_IOPCServerList2, unknown.GetAddressOf(), identity);
    if (FAILED(activated) || !unknown) throw Exception(SystemMessageText(FAILED(activated) ? activated : E_NOINTERFACE));
    platform::ComPtr<IOPCServerList2> list;
    unknown.As(&list);
    if (identity != nullptr) identity->ApplyTo(list.Get());

    std::vector<OPCServerInfo> servers;
    std::map<GUID, std::size_t, GuidLess> positionOfClass;
    for (const OPCSpecification& specification : OPCSpecifications()) {
        CATID category = specification.CategoryId();
        platform::ComPtr<IOPCEnumGUID> classes;
        if (FAILED(list->EnumClassesOfCategories(1, &category, 0, nullptr, classes.GetAddressOf())) || !classes) {
            ShowCategoryFailure();
            break;
        }
        if (identity != nullptr) identity->ApplyTo(classes.Get());
        HRESULT next = S_OK;
        do {
            GUID batch[100];
            ULONG fetched = 0;
            next = classes->Next(100, batch, &fetched);
            if (FAILED(next)) break;
            for (ULONG i = 0; i < fetched && i < 100; ++i) {
                const auto known = positionOfClass.find(batch[i]);
                if (known != positionOfClass.end()) {
                    OPCURL& url = servers[known->second].address;
                    url.SetSpecifications(url.Specifications() | specification.Flag());
                    continue;
                }
                positionOfClass.emplace(batch[i], servers.size());
                servers.push_back(DescribeServer(*list.Get(), batch[i], host, specification.Flag(), identity));
            }
        } while (next == S_OK);
    }
    return servers;
}

} // namespace kesti
