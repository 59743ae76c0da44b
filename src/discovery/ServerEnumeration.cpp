#include "discovery/ServerEnumeration.h"

#include <algorithm>
#include <map>
#include <optional>

#include <boost/format.hpp>

#include <lm.h>
#include <rpc.h>

#include "base/ComError.h"
#include "base/Log.h"
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

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const {
        RPC_STATUS status = RPC_S_OK;
        return UuidCompare(const_cast<GUID*>(&a), const_cast<GUID*>(&b), &status) < 0;
    }
};

// The names the server list gives for a class.
struct ClassDetails {
    std::string progId, userType, versionIndependent;
};

// The default value of HKEY_CLASSES_ROOT\CLSID\{clsid}\<key>, empty when there is none.
std::string ClassKeyText(const std::string& braced, const char* key) {
    char value[256] = {};
    DWORD size = sizeof value;
    const std::string path = "CLSID\\" + braced + "\\" + key;
    return RegGetValueA(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS
               ? std::string(value)
               : std::string();
}

// The most classes taken from one server list: a list that never ends is cut there.
constexpr std::size_t kMaxServerClasses = 10'000;

// All class ids that an enumerator gives, read in batches of a hundred; a failing batch ends
// the list with what came before it.
template <class Enumerator>
std::vector<GUID> ReadClassIds(Enumerator& classes) {
    std::vector<GUID> ids;
    HRESULT next = S_OK;
    do {
        if (ids.size() >= kMaxServerClasses) {
            LogMessage(LogError, (boost::format("The server list offers more than %1% classes; the first %1% are "
                                                "listed.") % kMaxServerClasses).str());
            break;
        }
        GUID batch[100];
        ULONG fetched = 0;
        next = classes.Next(100, batch, &fetched);
        if (FAILED(next) || fetched == 0) break; // a list that gives nothing would be asked for ever
        ids.insert(ids.end(), batch, batch + std::min<ULONG>(fetched, 100));
    } while (next == S_OK);
    return ids;
}

// The machine's server-list component through IOPCServerList2, or through IOPCServerList when
// the component has no IOPCServerList2 (older installations).
class ServerListAccess {
public:
    ServerListAccess(const std::string& host, DcomIdentity* identity) : host_(host), identity_(identity) {
        try {
            list2_ = ActivateOnHost<IOPCServerList2>(kServerListClassId, host, identity);
        } catch (const ComError& e) {
            if (e.Result() != E_NOINTERFACE) throw;
            list1_ = ActivateOnHost<IOPCServerList>(kServerListClassId, host, identity);
        }
    }

    // The classes implementing the category; false when the list cannot tell.
    bool ClassesOf(CATID category, std::vector<GUID>& ids) const {
        return list2_ ? ClassesOf<IOPCEnumGUID>(*list2_.Get(), category, ids)
                      : ClassesOf<IEnumGUID>(*list1_.Get(), category, ids);
    }

    ClassDetails Details(const CLSID& clsid, const std::string& braced) const {
        platform::UniqueCoTaskMemString progId, userType, versionIndependent;
        ClassDetails details;
        if (list2_) {
            LogIfFailed(list2_->GetClassDetails(clsid, progId.Put(), userType.Put(), versionIndependent.Put()),
                        "IOPCServerList2::GetClassDetails");
            details.versionIndependent = AnsiText(versionIndependent);
        } else {
            LogIfFailed(list1_->GetClassDetails(clsid, progId.Put(), userType.Put()), "IOPCServerList::GetClassDetails");
            // This machine's registry knows what the older interface does not tell.
            if (host_.empty()) details.versionIndependent = ClassKeyText(braced, "VersionIndependentProgID");
        }
        details.progId = AnsiText(progId);
        details.userType = AnsiText(userType);
        return details;
    }

private:
    // Both interfaces enumerate alike, each with an enumerator of its own type.
    template <class Enumerator, class List>
    bool ClassesOf(List& list, CATID category, std::vector<GUID>& ids) const {
        platform::ComPtr<Enumerator> classes;
        if (FAILED(list.EnumClassesOfCategories(1, &category, 0, nullptr, classes.GetAddressOf())) || !classes)
            return false;
        if (identity_ != nullptr) LogIfFailed(identity_->ApplyTo(classes.Get()), "CoSetProxyBlanket");
        ids = ReadClassIds(*classes.Get());
        return true;
    }

    std::string host_;
    DcomIdentity* identity_;
    platform::ComPtr<IOPCServerList2> list2_;
    platform::ComPtr<IOPCServerList> list1_;
};

// Builds the entry of a newly found server from what the server list tells of it.
OPCServerInfo DescribeServer(const ServerListAccess& list, const CLSID& clsid, const std::string& host,
                             std::uint32_t flag, const DcomIdentity* identity) {
    platform::UniqueCoTaskMemString bracedText;
    StringFromCLSID(clsid, bracedText.Put());
    const std::string braced = AnsiText(bracedText);
    const ClassDetails details = list.Details(clsid, braced);
    std::string progId = details.progId;
    const std::string& userType = details.userType;
    const std::string& versionIndependent = details.versionIndependent;
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

// What a person is told when a machine cannot be listed: the system's words for the code, or,
// where the system has none (Wine has none for most RPC codes), the plug-in's own with the code.
std::string ListingFailureText(HRESULT result) {
    const std::string system = SystemMessageText(result);
    if (!system.empty()) return system;
    const char* own = "The OPC servers of the machine could not be listed";
    switch (static_cast<DWORD>(result)) {
    case 0x800706BA: own = "The machine did not answer"; break; // RPC_S_SERVER_UNAVAILABLE
    case 0x800706BE: own = "The call to the machine failed"; break; // RPC_S_CALL_FAILED
    case 0x800706D9: own = "The machine offers no DCOM service"; break; // EPT_S_NOT_REGISTERED
    case 0x80070035: own = "The machine was not found on the network"; break; // ERROR_BAD_NETPATH
    case 0x80070005: own = "The machine refused access"; break; // E_ACCESSDENIED
    case 0x80040154: own = "The machine has no OPC server list registered"; break; // REGDB_E_CLASSNOTREG
    case 0x80080005: own = "The OPC server list could not be started on the machine"; break; // CO_E_SERVER_EXEC_FAILURE
    case 0x80004002: own = "The machine's OPC server list does not offer the OPC interfaces"; break; // E_NOINTERFACE
    default: break;
    }
    return (boost::format("%1% (0x%2$08X)") % own % static_cast<unsigned long>(static_cast<DWORD>(result))).str();
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

ServerListing EnumerateServers(const std::string& host, DcomIdentity* identity) {
    std::optional<ServerListAccess> list;
    try {
        list.emplace(host, identity);
    } catch (const ComError& e) {
        throw ComError(e.Result(), e.Call(), ListingFailureText(e.Result())); // the words the dialog shows
    }

    ServerListing listing;
    std::vector<OPCServerInfo>& servers = listing.servers;
    std::map<GUID, std::size_t, GuidLess> positionOfClass;
    for (const OPCSpecification& specification : OPCSpecifications()) {
        std::vector<GUID> classes;
        if (!list->ClassesOf(specification.CategoryId(), classes)) {
            listing.categoryFailed = true;
            break;
        }
        for (const GUID& clsid : classes) {
            const auto known = positionOfClass.find(clsid);
            if (known != positionOfClass.end()) {
                OPCURL& url = servers[known->second].address;
                url.SetSpecifications(url.Specifications() | specification.Flag());
                continue;
            }
            positionOfClass.emplace(clsid, servers.size());
            servers.push_back(DescribeServer(*list, clsid, host, specification.Flag(), identity));
        }
    }
    return listing;
}

} // namespace kesti
