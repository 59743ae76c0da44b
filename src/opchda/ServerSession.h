#pragma once
// The one object that owns a connection's COM pointers: the server, its reading and writing
// interfaces, its browsers, and the item handles it granted. It lives inside an OpcHdaProxy
// and is reached only through OpcHdaProxy::Run, on the proxy's COM thread: every COM call of
// a connection is one of its methods, and none of them hands a COM pointer out.
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/ComError.h"
#include "discovery/DcomIdentity.h"
#include "discovery/OPCURL.h"
#include "opchda.h"
#include "opchda/HistoryReading.h"
#include "opchda/HistoryWriting.h"
#include "opchda/WindowReader.h"
#include "platform/ComPtr.h"

namespace kesti {

using BrowsedLeaf = std::pair<std::string, std::string>; // browse name, item id

// The server's answer for one item id: a handle, or the error it refused the item with.
struct ItemHandleResult {
    OPCHANDLE handle = 0;
    HRESULT error = S_OK;
};

class ServerSession {
public:
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    // Probes the host and activates the server, unless it is connected. Throws ComError
    // when the host does not answer in time or the server cannot be activated.
    void Connect();
    bool IsConnected() const { return server_ != nullptr; }
    // Activates the server again after a call failed with `lost`, forgetting the item
    // handles of the dead one without releasing them; one Warning record says so. Throws
    // ComError when the server cannot be activated.
    void Reconnect(HRESULT lost);

    // The leaves under a configured node: the flat list for "OPC" with an empty browse path,
    // else the leaves at the browse position the item id names.
    std::vector<BrowsedLeaf> BrowseTags(const std::string& itemId, const std::string& browsePath);

    // The handles of the items, answered in the ids' order. An item id is asked of the server
    // once per connection, so every tag of one item shares one handle, released once; the ids
    // not asked yet go in one GetItemHandles. Throws ComError when that whole call fails;
    // items the server refuses are named in one Warning record.
    std::vector<ItemHandleResult> GetItemHandles(const std::vector<std::string>& itemIds);

    // The request of a read over the window, as the reading's Information record tells it.
    ReadRequest PrepareRead(const ReadWindow& window) const;
    // Reads the handles' items over the window into the sink, in the shape the connection's
    // settings and the server's answers choose (see WindowReader). Throws
    // Exception("Could not read data.") when the server offers no IOPCHDA_SyncRead, ComError
    // when the read's first ReadRaw fails as a whole or the server is lost.
    void Read(const ReadWindow& window, ReadRequest& request, const std::vector<OPCHANDLE>& handles, RawValueSink& sink);

    // The server's description, else its path up to the first "/", else the whole path.
    std::string DisplayName() const;

    // Throws when the server offers no IOPCHDA_SyncUpdate: nothing can be written.
    void RequireWriting();
    // One InsertReplace of the values at one time, all of good quality. Throws ComError
    // when the call fails as a whole.
    ItemResults InsertReplace(const std::vector<OPCHANDLE>& handles, const FILETIME& time,
                              std::vector<platform::UniqueVariant>& values);

private:
    friend class OpcHdaProxy;
    ServerSession() = default;

    void Configure(std::shared_ptr<DcomIdentity> identity, OPCURL address);
    void SetUseNullTimeValues(bool use) {
        useNullTimeValues_ = use;
        readPlan_.unspecifiedStart = use;
    }
    void SetReadShape(ReadShape shape, double callCost, std::chrono::seconds timeLimit) {
        readPlan_.shape = shape;
        readPlan_.callCost = callCost;
        readPlan_.timeLimit = timeLimit;
    }
    // The server's maximum of values per item and call, asked once per connection.
    void AskValueLimit();
    // Releases the handles and the server's interfaces. Never throws: a failure is logged.
    void Release() noexcept;
    // Drops the server's interfaces and every handle of it without a call to it.
    void Forget() noexcept;
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

    bool configured_ = false;
    bool useNullTimeValues_ = true;
    ReadPlan readPlan_;      // what reads may ask, and what they learned of this server
    bool valueLimitAsked_ = false;
    std::shared_ptr<DcomIdentity> identity_;
    OPCURL address_;
    platform::ComPtr<IOPCHDA_Server> server_;
    platform::ComPtr<IOPCHDA_SyncRead> reader_;    // null when the server offers none
    platform::ComPtr<IOPCHDA_SyncUpdate> updater_; // null when the server offers none
    std::vector<OPCHANDLE> serverHandles_;                  // granted, in the order given
    std::map<std::string, ItemHandleResult> answeredItems_; // every item id asked, by id
};

} // namespace kesti
