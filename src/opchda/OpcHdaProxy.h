#pragma once
// The client of one OPC HDA server: COM for the calling thread, the credentials and address,
// the server's IOPCHDA_Server, and the item handles obtained from it, released on disconnect.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <objbase.h>

#include "discovery/DcomIdentity.h"
#include "model/TagEntry.h"
#include "model/ValueTable.h"
#include "opchda/TimeConversion.h"
#include "discovery/OPCURL.h"
#include "opchda.h"
#include "platform/ComMemory.h"

namespace kesti {

using BrowsedLeaf = std::pair<std::string, std::string>; // browse name, item id

// One item of a read or write: its server handle and the request entries it serves (one for
// an ordinary tag, all requested elements for an array).
struct ServerItem {
    OPCHANDLE handle;
    std::vector<const TagEntry*> entries;
};

class OpcHdaProxy {
public:
    OpcHdaProxy();
    ~OpcHdaProxy();
    OpcHdaProxy(const OpcHdaProxy&) = delete;
    OpcHdaProxy& operator=(const OpcHdaProxy&) = delete;

    // Credentials in the ANSI code page and the server's address text; nothing is activated.
    void SetConnection(const std::string& userName, const std::string& password, const std::string& domain,
                       const std::string& addressText);
    // Probes the host and activates the server; true when connected.
    bool Connect();
    // Releases the item handles and the server; always true.
    bool Disconnect();
    // Whether the host answers the bounded reachability probe.
    static bool IsHostReachable(const std::string& host);

    void SetUseNullTimeValues(bool use) { useNullTimeValues_ = use; }
    bool UseNullTimeValues() const { return useNullTimeValues_; }

    // The leaves under a configured node: the flat list for "OPC" with an empty second text,
    // else the leaves at the browse position the first text names.
    std::vector<BrowsedLeaf> BrowseTags(const std::string& position, const std::string& second);
    // The server's description, else its path up to the first "/", else the whole path.
    std::string ServerDisplayName() const;

    // Server handles for every tag of the request that has none yet, in one GetItemHandles.
    // Throws when the whole call fails; items the server refuses are remembered as failed.
    void UpdateServerHandles(const std::vector<TagEntry>& request);
    // The items of the request that have a handle, in request order.
    static std::vector<ServerItem> CollectServerItems(const std::vector<TagEntry>& request);

    // Reads the request's cells of the table: current values when start is not-a-date-time,
    // else the values held at start + r x step for every row r.
    void ReadData(const std::vector<TagEntry>& request, const TimePoint& start, const Duration& step, ValueTable& table);

    // Writes row r of the rows at start + r x step, one InsertReplace per row. Throws when
    // the handles cannot be had or the server cannot be written to at all.
    void WriteData(const std::vector<TagEntry>& request, const TimePoint& start, const Duration& step,
                   const std::vector<const ValueVector*>& rows);

    bool IsConnected() const { return connected_; }
    const std::vector<OPCHANDLE>& ServerHandles() const { return serverHandles_; }
    const OPCURL& Address() const { return address_; }

private:
    bool configured_ = false;
    bool connected_ = false;
    bool comInitialized_ = false;
    bool useNullTimeValues_ = true;
    std::shared_ptr<DcomIdentity> identity_;
    OPCURL address_;
    platform::ComPtr<IOPCHDA_Server> server_;
    platform::ComPtr<IMalloc> malloc_;
    std::vector<OPCHANDLE> serverHandles_;
};

} // namespace kesti
