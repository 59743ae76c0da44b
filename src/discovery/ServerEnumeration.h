#pragma once
// Machines of the local network and the OPC servers registered on one machine.
#include <string>
#include <vector>

#include <objbase.h>

#include "discovery/DcomIdentity.h"
#include "discovery/OPCURL.h"

namespace kesti {

// The id of the OPC server-list component.
extern const CLSID kServerListClassId;

// The names of the machines that the LAN Manager lists; whether any came back.
bool ListNetworkHosts(std::vector<std::string>& hosts);

// The OPC servers of a host, and whether its server list could enumerate every category.
struct ServerListing {
    std::vector<OPCServerInfo> servers;
    // The list could not enumerate the classes of a category (typically DCOM access rights);
    // the servers found before it are kept.
    bool categoryFailed = false;
};

// The OPC servers of a host (empty: this machine), found under the categories of OPCSpecifications().
// Throws ComError when the host does not answer or has no server list; its message is the
// system's text for the code, or the plug-in's own with the code where the system has none.
ServerListing EnumerateServers(const std::string& host, DcomIdentity* identity);

} // namespace kesti
