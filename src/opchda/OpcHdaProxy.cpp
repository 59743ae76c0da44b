#include "opchda/OpcHdaProxy.h"

#include <boost/format.hpp>

#include "config/Exception.h"
#include "config/Log.h"
#include "discovery/ServerEnumeration.h"
#include "opchda/Browsing.h"
#include "opchda/ResultText.h"
#include "opchda/TextConversion.h"

namespace kesti {
namespace {

using platform::ComPtr;
using platform::UniqueCoTaskMem;

// Frees an error array of the server and logs the items it names, one line each.
void LogPartialFailure(const char* call, HRESULT result, const HRESULT* errors, DWORD count) {
    bool anyFailed = false;
    std::string text = (boost::format("%1% partially failed:") % call).str();
    for (DWORD i = 0; errors != nullptr && i < count; ++i)
        if (FAILED(errors[i])) {
            anyFailed = true;
            text += (boost::format("\nItem %1% failed: %2%") % i % HResultText(errors[i])).str();
        }
    if (result == S_FALSE || anyFailed) LogMessage(LogWarning, text);
}

} // namespace

OpcHdaProxy::OpcHdaProxy() {
    LogMessage(LogInformation, "Initiating proxy.");
    comInitialized_ = CoInitializeEx(nullptr, COINIT_MULTITHREADED) >= 0;
    // A process whose security is already set refuses this; the proxy goes on either way.
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                         EOAC_NONE, nullptr);
    const HRESULT result = CoGetMalloc(MEMCTX_TASK, malloc_.GetAddressOf());
    if (FAILED(result)) {
        if (comInitialized_) CoUninitialize();
        throw Exception((boost::format("CoGetMalloc failed. %1%") % HResultText(result)).str());
    }
}

OpcHdaProxy::~OpcHdaProxy() {
    Disconnect();
    server_.Reset();
    malloc_.Reset();
    if (comInitialized_) CoUninitialize();
}

void OpcHdaProxy::SetConnection(const std::string& userName, const std::string& password, const std::string& domain,
                                const std::string& addressText) {
    address_ = OPCURL::Parse(addressText);
    identity_ = std::make_shared<DcomIdentity>(
        ComCredentials{WideFromAnsi(userName), WideFromAnsi(password), WideFromAnsi(domain)});
    configured_ = true;
}

bool OpcHdaProxy::Connect() {
    if (!configured_) return false;
    if (connected_) return true;
    LogMessage(LogInformation, "Open OPC Server.");
    if (FAILED(PingHost(address_.Host(), ServerListObject().GetWait()))) return false;
    server_.Reset();
    ComPtr<IUnknown> unknown;
    const HRESULT result = NvCreateInstanceEx(address_.ClassId(), address_.Host(), IID_IOPCHDA_Server,
                                              unknown.GetAddressOf(), identity_.get());
    if (FAILED(result) || !unknown) {
        LogMessage(LogError, (boost::format("NvCreateInstanceEx failed: %1%") %
                              HResultText(FAILED(result) ? result : E_NOINTERFACE)).str());
        return false;
    }
    unknown.As(&server_);
    identity_->ApplyTo(server_.Get());
    connected_ = true;
    LogMessage(LogInformation, (boost::format("Connected to server %1% (%2%).") % address_.Host() % address_.ProgId()).str());
    return true;
}

bool OpcHdaProxy::Disconnect() {
    if (!connected_) return true;
    if (server_ && !serverHandles_.empty()) {
        UniqueCoTaskMem<HRESULT> errors;
        const HRESULT result = server_->ReleaseItemHandles(static_cast<DWORD>(serverHandles_.size()),
                                                           serverHandles_.data(), errors.Put());
        if (FAILED(result))
            LogMessage(LogError, (boost::format("IOPCHDA_Server::ReleaseItemHandles failed: %1%") % HResultText(result)).str());
        else
            LogPartialFailure("IOPCHDA_Server::ReleaseItemHandles", result, errors.Get(),
                              static_cast<DWORD>(serverHandles_.size()));
        serverHandles_.clear();
    }
    server_.Reset();
    connected_ = false;
    return true;
}

bool OpcHdaProxy::IsHostReachable(const std::string& host) {
    return PingHost(host, ServerListObject().GetWait()) >= 0;
}

std::vector<BrowsedLeaf> OpcHdaProxy::BrowseTags(const std::string& position, const std::string& second) {
    if (!Connect()) return {};
    ComPtr<IOPCHDA_Browser> browser;
    UniqueCoTaskMem<HRESULT> errors;
    DWORD noAttribute = 0;
    OPCHDA_OPERATORCODES noOperator = OPCHDA_EQUAL;
    platform::UniqueVariant noFilter;
    const HRESULT created =
        server_->CreateBrowse(0, &noAttribute, &noOperator, noFilter.Get(), browser.GetAddressOf(), errors.Put());
    if (FAILED(created) || !browser)
        throw Exception((boost::format("IOPCHDA_Server::CreateBrowse failed: %1%") % HResultText(created)).str());
    identity_->ApplyTo(browser.Get());

    OPCHDA_BROWSETYPE listing = OPCHDA_FLAT;
    if (!(position == "OPC" && second.empty())) {
        const std::wstring wide = WideFromUtf8(position);
        const HRESULT moved = browser->ChangeBrowsePosition(OPCHDA_BROWSE_DIRECT, wide.c_str());
        if (FAILED(moved))
            throw Exception((boost::format("IOPCHDA_Browser::ChangeBrowsePosition failed: %1%") % HResultText(moved)).str());
        listing = OPCHDA_LEAF;
    }
    ComPtr<IEnumString> names;
    const HRESULT listed = browser->GetEnum(listing, names.GetAddressOf());
    if (FAILED(listed) || !names)
        throw Exception((boost::format("IOPCHDA_Browser::GetEnum failed: %1%") % HResultText(listed)).str());
    identity_->ApplyTo(names.Get());

    std::vector<BrowsedLeaf> leaves;
    for (BrowseRecord& record : ReadBrowseRecords(*browser.Get(), *names.Get()))
        leaves.emplace_back(std::move(record.browseName), std::move(record.itemId));
    return leaves;
}

std::string OpcHdaProxy::ServerDisplayName() const {
    if (!address_.Description().empty()) return address_.Description();
    const std::string& path = address_.Path();
    const auto slash = path.find('/');
    return slash == std::string::npos ? path : path.substr(0, slash);
}

} // namespace kesti
