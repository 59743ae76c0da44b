#include "discovery/ServerEnumeration.h"

#include <algorithm>
#include <map>

#include <boost/format.hpp>

#include <lm.h>
#include <rpc.h>

#include "base/ComError.h"
#include "base/ResultText.h"
#include "base/TextConversion.h"
#include "discovery/OPCSpecification.h"
#include "discovery/ServerActivation.h"
#include "opccomn.h"
#include "platform/ComMemory.h"
#include "platform/ComPtr.h"
#include "platform/Seams.h"

namespace kesti {

// {13486D51-4821-11D2-A494-3CB306C10000}
const CLSID kServerListClassId = {0x13486D51, 0x4821, 0x11D2, {0xA4, 0x94, 0x3C, 0xB3, 0x06, 0xC1, 0x00, 0x00}};

namespace {

std::string AnsiText(const platform::UniqueCoTaskMemString& text) {
    return text ? AnsiFromWide(std::wstring(text.Get())) : std::string();
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
    platform::UniqueCoTaskMemString progIdText, userTypeText, versionIndependentText, bracedText;
    list.GetClassDetails(clsid, progIdText.Put(), userTypeText.Put(), versionIndependentText.Put());
    std::string progId = AnsiText(progIdText);
    const std::string userType = AnsiText(userTypeText);
    const std::string versionIndependent = AnsiText(versionIndependentText);
    StringFromCLSID(clsid, bracedText.Put());
    const std::string braced = AnsiText(bracedText);
    if (progId.empty()) {
        platform::UniqueCoTaskMemString fromRegistry;
        if (SUCCEEDED(ProgIDFromCLSID(clsid, fromRegistry.Put()))) progId = AnsiText(fromRegistry);
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

bool ListNetworkHosts(std::vector<std::string>& hosts) {
    hosts.clear();
    std::vector<std::wstring> names;
    const DWORD status = platform::EnumerateNetworkServers(names);
    if (status != NERR_Success && status != ERROR_MORE_DATA) return false;
    for (const std::wstring& name : names) hosts.push_back(AnsiFromWide(name));
    return !hosts.empty();
}

std::vector<OPCServerInfo> EnumerateServers(const std::string& host, DcomIdentity* identity) {
    platform::ComPtr<IOPCServerList2> list;
    try {
        list = ActivateOnHost<IOPCServerList2>(kServerListClassId, host, identity);
    } catch (const ComError& e) {
        throw Exception(SystemMessageText(e.Result())); // the dialog shows the system's words
    }

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
