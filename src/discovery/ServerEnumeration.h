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

// The OPC servers of a host (empty: this machine), found under the categories of OPCSpecifications().
// Throws the system's message when the host does not answer or has no server list.
std::vector<OPCServerInfo> EnumerateServers(const std::string& host, DcomIdentity* identity);

} // namespace kesti
