#include "opchda/OpcHdaProxy.h"

#include <set>

#include <boost/format.hpp>

#include "base/ComError.h"
#include "base/Log.h"
#include "base/ResultText.h"
#include "base/TextConversion.h"
#include "discovery/ReachabilityProbe.h"
#include "discovery/ServerActivation.h"
#include "opchda/Browsing.h"

namespace kesti {

OpcHdaProxy::OpcHdaProxy() {
    LogMessage(LogInformation, "Initiating proxy.");
    // A process whose security is already set refuses this; the proxy goes on either way.
    com_.Run([] {
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE, RPC_C_IMP_LEVEL_IMPERSONATE,
                             nullptr, EOAC_NONE, nullptr);
    });
}

OpcHdaProxy::~OpcHdaProxy() { Disconnect(); }

void OpcHdaProxy::SetConnection(const std::string& userName, const std::string& password, const std::string& domain,
                                const std::string& addressText) {
    address_ = OPCURL::Parse(addressText);
    identity_ = std::make_shared<DcomIdentity>(
        ComCredentials{WideFromAnsi(userName), WideFromAnsi(password), WideFromAnsi(domain)});
    configured_ = true;
}

void OpcHdaProxy::Connect() {
    com_.Run([&] {
        if (!configured_) throw Exception("The proxy has no server address.");
        if (server_) return;
        LogMessage(LogInformation, "Open OPC Server.");
        server_ = ActivateOnHost<IOPCHDA_Server>(address_.ClassId(), address_.Host(), identity_.get());
        // Asked once while the server surely runs: later a dead server could not be told
        // from one that lacks the interface.
        reader_ = OptionalInterface<IOPCHDA_SyncRead>();
        updater_ = OptionalInterface<IOPCHDA_SyncUpdate>();
        LogMessage(LogInformation, (boost::format("Connected to server %1% (%2%).") % address_.Host() % address_.ProgId()).str());
    });
}

void OpcHdaProxy::Disconnect() noexcept {
    try {
        com_.Run([this] { ReleaseServer(); });
    } catch (...) {
        // Nothing is left to do when the thread cannot take the work.
    }
}

void OpcHdaProxy::ReleaseServer() noexcept {
    try {
        if (server_ && !serverHandles_.empty()) {
            platform::UniqueCoTaskMemArray<HRESULT> errors;
            const DWORD count = static_cast<DWORD>(serverHandles_.size());
            const HRESULT result = server_->ReleaseItemHandles(count, serverHandles_.data(), errors.Put(count));
            if (FAILED(result))
                LogMessage(LogError, ComError(result, "IOPCHDA_Server::ReleaseItemHandles").Message());
            else
                LogPartialFailure("IOPCHDA_Server::ReleaseItemHandles", result, errors.Get(), count, IndexLabel);
        }
    } catch (...) {
        // Closing goes on whatever the log could not take.
    }
    ForgetServer();
}

bool IsLostConnection(HRESULT result) {
    return result == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) || result == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) ||
           result == RPC_E_DISCONNECTED || result == CO_E_OBJNOTCONNECTED;
}

bool IsLostConnection(const Exception& failure) {
    const auto* com = dynamic_cast<const ComError*>(&failure);
    return com != nullptr && IsLostConnection(com->Result());
}

void OpcHdaProxy::Reconnect(HRESULT lost) {
    com_.Run([&] {
        ForgetServer();
        Connect();
        LogMessage(LogWarning, (boost::format("The connection to the server was lost (%1%). Connected again to server "
                                              "%2%; the call is made again.") %
                                HResultText(lost) % address_.Host()).str());
    });
}

void OpcHdaProxy::ForgetServer() noexcept {
    // The handles died with the server's process: they are dropped, never released.
    serverHandles_.clear();
    answeredItems_.clear();
    updater_.Reset();
    reader_.Reset();
    server_.Reset();
}

bool OpcHdaProxy::IsHostReachable(const std::string& host) { return PingHost(host) >= 0; }

std::vector<BrowsedLeaf> OpcHdaProxy::BrowseTags(const std::string& itemId, const std::string& browsePath) {
    return com_.Run([&] {
        Connect();
        const platform::ComPtr<IOPCHDA_Browser> browser =
            CreateBrowser(*server_.Get(), identity_.get(), "IOPCHDA_Server::CreateBrowse failed: %1%");
        OPCHDA_BROWSETYPE listing = OPCHDA_FLAT;
        if (!(itemId == "OPC" && browsePath.empty())) {
            const std::wstring wide = WideFromUtf8(itemId);
            ThrowIfFailed(browser->ChangeBrowsePosition(OPCHDA_BROWSE_DIRECT, wide.c_str()),
                          "IOPCHDA_Browser::ChangeBrowsePosition");
            listing = OPCHDA_LEAF;
        }
        platform::ComPtr<IEnumString> names;
        const HRESULT listed = browser->GetEnum(listing, names.GetAddressOf());
        ThrowIfFailed(NullAsFailure(listed, names.Get()), "IOPCHDA_Browser::GetEnum");
        LogIfFailed(identity_->ApplyTo(names.Get()), "CoSetProxyBlanket");

        std::vector<BrowsedLeaf> leaves;
        for (BrowseRecord& record : ReadBrowseRecords(*browser.Get(), *names.Get()))
            leaves.emplace_back(std::move(record.browseName), std::move(record.itemId));
        return leaves;
    });
}

std::string OpcHdaProxy::ServerDisplayName() const {
    if (!address_.Description().empty()) return address_.Description();
    const std::string& path = address_.Path();
    const auto slash = path.find('/');
    return slash == std::string::npos ? path : path.substr(0, slash);
}

std::vector<ItemHandleResult> OpcHdaProxy::GetItemHandles(const std::vector<std::string>& itemIds) {
    return com_.Run([&] { // the cache is the connection's, like its handles
        std::vector<std::string> unasked;
        std::set<std::string> seen;
        for (const std::string& id : itemIds)
            if (!answeredItems_.count(id) && seen.insert(id).second) unasked.push_back(id);
        const std::vector<ItemHandleResult> fresh = AskItemHandles(unasked);
        for (std::size_t i = 0; i < fresh.size(); ++i) answeredItems_[unasked[i]] = fresh[i];
        std::vector<ItemHandleResult> answers;
        answers.reserve(itemIds.size());
        for (const std::string& id : itemIds) answers.push_back(answeredItems_.at(id));
        return answers;
    });
}

std::vector<ItemHandleResult> OpcHdaProxy::AskItemHandles(const std::vector<std::string>& itemIds) {
    if (itemIds.empty()) return {};
    return com_.Run([&] {
        Connect();
        const DWORD count = static_cast<DWORD>(itemIds.size());
        std::vector<platform::UniqueBstr> ids;
        std::vector<LPWSTR> idPointers;
        std::vector<OPCHANDLE> clientHandles;
        for (DWORD i = 0; i < count; ++i) {
            ids.emplace_back(WideFromUtf8(itemIds[i]).c_str());
            idPointers.push_back(ids.back().Get());
            clientHandles.push_back(static_cast<OPCHANDLE>(serverHandles_.size() + i));
        }
        platform::UniqueCoTaskMemArray<OPCHANDLE> handles;
        platform::UniqueCoTaskMemArray<HRESULT> errors;
        const HRESULT result =
            server_->GetItemHandles(count, idPointers.data(), clientHandles.data(), handles.Put(count), errors.Put(count));
        ThrowIfFailed(NullAsFailure(result, handles.Get()), "IOPCHDA_Server::GetItemHandles");
        std::vector<ItemHandleResult> answers(count);
        for (DWORD i = 0; i < count; ++i) {
            // Without an error array no item can be told apart; the handles are taken as given.
            answers[i].error = errors ? errors[i] : S_OK;
            answers[i].handle = handles[i];
            if (SUCCEEDED(answers[i].error)) serverHandles_.push_back(handles[i]);
        }
        LogPartialFailure("IOPCHDA_Server::GetItemHandles", result, errors.Get(), count,
                          [&](std::size_t i) { return (boost::format("%1% (%2%)") % i % itemIds[i]).str(); });
        return answers;
    });
}

HistoryWriter OpcHdaProxy::Writer() {
    return com_.Run([&] {
        Connect();
        if (!updater_) throw Exception("The server offers no IOPCHDA_SyncUpdate; nothing was written.");
        return HistoryWriter(com_, *updater_.Get());
    });
}

} // namespace kesti
