#include "opchda/OpcHdaProxy.h"

#include "base/Log.h"
#include "base/TextConversion.h"
#include "discovery/ReachabilityProbe.h"

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
    OPCURL address = OPCURL::Parse(addressText);
    auto identity = std::make_shared<DcomIdentity>(
        ComCredentials{WideFromAnsi(userName), WideFromAnsi(password), WideFromAnsi(domain)});
    Run([&](ServerSession& session) { session.Configure(std::move(identity), std::move(address)); });
}

void OpcHdaProxy::SetUseNullTimeValues(bool use) {
    Run([use](ServerSession& session) { session.SetUseNullTimeValues(use); });
}

void OpcHdaProxy::SetReadShape(ReadShape shape, double callCost, std::chrono::seconds timeLimit) {
    Run([=](ServerSession& session) { session.SetReadShape(shape, callCost, timeLimit); });
}

void OpcHdaProxy::Connect() {
    Run([](ServerSession& session) { session.Connect(); });
}

void OpcHdaProxy::Disconnect() noexcept {
    try {
        Run([](ServerSession& session) { session.Release(); });
    } catch (...) {
        // Nothing is left to do when the thread cannot take the work.
    }
}

bool OpcHdaProxy::IsConnected() {
    return Run([](ServerSession& session) { return session.IsConnected(); });
}

std::vector<BrowsedLeaf> OpcHdaProxy::BrowseTags(const std::string& itemId, const std::string& browsePath) {
    return Run([&](ServerSession& session) { return session.BrowseTags(itemId, browsePath); });
}

std::string OpcHdaProxy::ServerDisplayName() {
    return Run([](ServerSession& session) { return session.DisplayName(); });
}

bool OpcHdaProxy::IsHostReachable(const std::string& host) { return PingHost(host) >= 0; }

bool IsLostConnection(HRESULT result) {
    return result == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) || result == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) ||
           result == RPC_E_DISCONNECTED || result == CO_E_OBJNOTCONNECTED;
}

bool IsLostConnection(const Exception& failure) {
    const auto* com = dynamic_cast<const ComError*>(&failure);
    return com != nullptr && IsLostConnection(com->Result());
}

} // namespace kesti
