#pragma once
// The client of one OPC HDA server: a COM thread of its own, the credentials and address,
// the server's IOPCHDA_Server, and the item handles it granted, released on disconnect.
// Every COM call runs on its thread, so the client serves any host thread. It knows items by
// their ids and handles only: which tag an item serves is the model's business.
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/ComError.h"
#include "base/Exception.h"
#include "discovery/DcomIdentity.h"
#include "discovery/OPCURL.h"
#include "opchda.h"
#include "opchda/HistoryReading.h"
#include "opchda/HistoryWriting.h"
#include "platform/ComPtr.h"
#include "platform/ComThread.h"

namespace kesti {

using BrowsedLeaf = std::pair<std::string, std::string>; // browse name, item id

// The server's answer for one item id: a handle, or the error it refused the item with.
struct ItemHandleResult {
    OPCHANDLE handle = 0;
    HRESULT error = S_OK;
};

// The results that tell that the server's process or its host is gone: RPC_S_SERVER_UNAVAILABLE,
// RPC_S_CALL_FAILED, RPC_E_DISCONNECTED, CO_E_OBJNOTCONNECTED.
bool IsLostConnection(HRESULT result);
// Whether the failure is a ComError with such a result.
bool IsLostConnection(const Exception& failure);

class OpcHdaProxy {
public:
    OpcHdaProxy();
    ~OpcHdaProxy();
    OpcHdaProxy(const OpcHdaProxy&) = delete;
    OpcHdaProxy& operator=(const OpcHdaProxy&) = delete;

    // Credentials in the ANSI code page and the server's address text; nothing is activated.
    void SetConnection(const std::string& userName, const std::string& password, const std::string& domain,
                       const std::string& addressText);
    // Probes the host and activates the server. Throws ComError when the host does not
    // answer in time or the server cannot be activated.
    void Connect();
    // Releases the granted item handles and the server. Never throws: a failure is logged.
    void Disconnect() noexcept;
    // Activates the server again (same address, identity and proxy blanket) after a call
    // failed with `lost`, forgetting the item handles of the dead one without releasing them;
    // one Warning record says so. Throws ComError when the server cannot be activated.
    void Reconnect(HRESULT lost);

    // Whether the host answers the bounded reachability probe.
    static bool IsHostReachable(const std::string& host);

    void SetUseNullTimeValues(bool use) { useNullTimeValues_ = use; }

    // The leaves under a configured node: the flat list for "OPC" with an empty browse path,
    // else the leaves at the browse position the item id names.
    std::vector<BrowsedLeaf> BrowseTags(const std::string& itemId, const std::string& browsePath);
    // The server's description, else its path up to the first "/", else the whole path.
    std::string ServerDisplayName() const;

    // The handles of the items, answered in the ids' order. An item id is asked of the server
    // once per connection, so every tag of one item shares one handle, released once; the ids
    // not asked yet go in one GetItemHandles. Throws ComError when that whole call fails;
    // items the server refuses are named in one Warning record.
    std::vector<ItemHandleResult> GetItemHandles(const std::vector<std::string>& itemIds);

    // The request of a read over the window, as the reading's Information record tells it.
    ReadRequest PrepareRead(const ReadWindow& window) const;
    // The values of the handles' items for the request: one ReadRaw, continued item by item
    // after OPC_S_MOREDATA. Throws Exception("Could not read data.") when the server offers
    // no IOPCHDA_SyncRead, ComError when ReadRaw fails as a whole.
    std::vector<RawSeries> ReadRaw(ReadRequest& request, const std::vector<OPCHANDLE>& handles);

    // The server's writing interface, valid while the proxy stays connected. Throws when the
    // server offers none.
    HistoryWriter Writer();

    // Runs `work` on the proxy's COM thread, after any work given before it: the calls of
    // one connection from several host threads take turns.
    template <class Work>
    auto RunExclusively(Work&& work) -> decltype(work()) {
        return com_.Run(std::forward<Work>(work));
    }

    bool IsConnected() const { return server_ != nullptr; }

private:
    // Releases the handles and the server's interfaces, on the COM thread.
    void ReleaseServer() noexcept;
    // Drops the server's interfaces and every handle of it without a call to it.
    void ForgetServer() noexcept;
    // One GetItemHandles for ids that are all new.
    std::vector<ItemHandleResult> AskItemHandles(const std::vector<std::string>& itemIds);
    // The server's interface I with the connection's proxy blanket, or null.
    template <class I>
    platform::ComPtr<I> OptionalInterface() {
        auto query = platform::Query<I>(server_.Get());
        if (FAILED(query.result)) return {};
        LogIfFailed(identity_->ApplyTo(query.pointer.Get()), "CoSetProxyBlanket");
        return std::move(query.pointer);
    }

    platform::ComThread com_; // first in, last out: every COM call of the proxy runs on it
    bool configured_ = false;
    bool useNullTimeValues_ = true;
    std::shared_ptr<DcomIdentity> identity_;
    OPCURL address_;
    platform::ComPtr<IOPCHDA_Server> server_;
    platform::ComPtr<IOPCHDA_SyncRead> reader_;    // null when the server offers none
    platform::ComPtr<IOPCHDA_SyncUpdate> updater_; // null when the server offers none
    std::vector<OPCHANDLE> serverHandles_;                     // granted, in the order given
    std::map<std::string, ItemHandleResult> answeredItems_; // every item id asked, by id
};

} // namespace kesti
