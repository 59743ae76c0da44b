#pragma once
// Machines of the local network, the OPC servers registered on one machine, a bounded probe
// of a machine, and activation of a class locally or remotely with an optional identity.
#include <cstdint>
#include <string>
#include <vector>

#include <objbase.h>

#include "discovery/DcomIdentity.h"
#include "discovery/OPCURL.h"

namespace kesti {

// The id of the OPC server-list component and the class that the probe asks for, which is
// registered nowhere: a machine that says so has answered.
extern const CLSID kServerListClassId;
extern const CLSID kProbeClassId;
constexpr HRESULT kRpcServerUnavailable = static_cast<HRESULT>(0x800706BA);

// The small object whose wait bounds a probe. It holds 0xFFFFFFFF when created; for that
// value (and for 0xFFFFFFF0) the wait is the "OPCTimeout" setting of section "Lantrel" in
// seconds (HKEY_CURRENT_USER, else HKEY_LOCAL_MACHINE, Software\Norvane\Kesti\Lantrel),
// else 10 seconds. Any other stored value is the wait in milliseconds.
class ServerListObject {
public:
    static constexpr std::uint32_t kUnbounded = 0xFFFFFFFFu;
    static constexpr std::uint32_t kFromSettings = 0xFFFFFFF0u;

    explicit ServerListObject(std::uint32_t storedWait = kUnbounded) : storedWait_(storedWait) {}
    const std::string& ClassName() const { return className_; }
    std::uint32_t GetWait() const;

private:
    std::string className_ = "OPC.NorvaneSimplerList.1";
    std::uint32_t storedWait_;
};

// The names of the machines that the LAN Manager lists; whether any came back.
bool ListNetworkHosts(std::vector<std::string>& hosts);

// Whether the host answers COM activation requests within waitMs: 0 when it does (also when
// it says the probe class is not registered), 0x800706BA when the wait ran out, else the
// activation's failure. An empty host is this machine and answers at once.
HRESULT PingHost(const std::string& host, std::uint32_t waitMs);

// Activates clsid for the interface iid: locally for an empty host or "localhost" (any
// case), otherwise on the host. An explicit identity goes with the request when given.
HRESULT NvCreateInstanceEx(const CLSID& clsid, const std::string& host, const IID& iid, IUnknown** instance,
                           DcomIdentity* identity);

// The OPC servers of a host (empty: this machine), found under the categories of OPCSpecifications().
// Throws the system's message when the host does not answer or has no server list.
std::vector<OPCServerInfo> EnumerateServers(const std::string& host, DcomIdentity* identity);

} // namespace kesti
