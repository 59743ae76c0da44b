#pragma once
// The client of one OPC HDA server: a COM thread of its own and the ServerSession that owns
// the server's COM pointers. Work given to Run receives the session on that thread, so the
// calls of one connection from several host threads take turns, in one apartment that
// outlives them. The client knows items by their ids and handles only: which tag an item
// serves is the model's business.
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "base/Exception.h"
#include "opchda/ServerSession.h"
#include "platform/ComThread.h"

namespace kesti {

// The results that tell that the server's process or its host is gone: RPC_S_SERVER_UNAVAILABLE,
// RPC_S_CALL_FAILED, RPC_E_DISCONNECTED, CO_E_OBJNOTCONNECTED.
bool IsLostConnection(HRESULT result);
// Whether the failure is a ComError with such a result.
bool IsLostConnection(const Exception& failure);

class OpcHdaProxy {
public:
    OpcHdaProxy();
    // Releases the granted item handles and the server.
    ~OpcHdaProxy();
    OpcHdaProxy(const OpcHdaProxy&) = delete;
    OpcHdaProxy& operator=(const OpcHdaProxy&) = delete;

    // Credentials in the ANSI code page and the server's address text; nothing is activated.
    void SetConnection(const std::string& userName, const std::string& password, const std::string& domain,
                       const std::string& addressText);
    void SetUseNullTimeValues(bool use);
    // How reads are shaped, and how long a read or a node's browse may go on asking the
    // server: the ReadShape, ReadCallCost and ServerTimeLimit settings.
    void SetReadShape(ReadShape shape, double callCost, std::chrono::seconds timeLimit);

    // Runs `work(session)` on the proxy's COM thread, after any work given before it, and
    // gives its result or throws what it threw.
    template <class Work>
    auto Run(Work&& work) -> decltype(work(std::declval<ServerSession&>())) {
        return com_.Run([&] { return work(session_); });
    }

    // Single calls of the session, for those who need no more.
    void Connect();
    // Releases the handles and the server. Never throws: a failure is logged.
    void Disconnect() noexcept;
    bool IsConnected();
    std::vector<BrowsedLeaf> BrowseTags(const std::string& itemId, const std::string& browsePath);

    // The server's description, else its path up to the first "/", else the whole path.
    std::string ServerDisplayName();

    // Whether the host answers the bounded reachability probe.
    static bool IsHostReachable(const std::string& host);

private:
    platform::ComThread com_; // first in, last out: every COM call of the session runs on it
    ServerSession session_;   // reached on com_ only
};

} // namespace kesti
