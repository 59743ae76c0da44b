#pragma once
// The client of one OPC HDA server: COM for the calling thread, the credentials and address,
// the server's IOPCHDA_Server, and the item handles obtained from it, released on disconnect.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <objbase.h>

#include "discovery/DcomIdentity.h"
#include "discovery/OPCURL.h"
#include "opchda.h"
#include "platform/ComMemory.h"

namespace kesti {

using BrowsedLeaf = std::pair<std::string, std::string>; // browse name, item id

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

    bool IsConnected() const { return connected_; }
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
