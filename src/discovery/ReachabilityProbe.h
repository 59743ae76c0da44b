#pragma once
// A bounded probe of a machine before anything is activated there: a machine that does not
// answer COM activation requests in time is taken as unreachable instead of hanging the
// caller in DCOM's own, much longer time-out.
#include <cstdint>
#include <string>

#include <objbase.h>

namespace kesti {

// The class that the probe asks for, which is registered nowhere: a machine that says so
// has answered.
extern const CLSID kProbeClassId;
constexpr HRESULT kRpcServerUnavailable = static_cast<HRESULT>(0x800706BA);

// How long a probe waits. Created unbounded (0xFFFFFFFF); for that value (and for
// 0xFFFFFFF0) the wait is the "OPCTimeout" setting of section "Lantrel" in seconds
// (HKEY_CURRENT_USER, else HKEY_LOCAL_MACHINE, Software\Norvane\Kesti\Lantrel), else 10
// seconds. Any other stored value is the wait in milliseconds.
class ProbeWait {
public:
    static constexpr std::uint32_t kUnbounded = 0xFFFFFFFFu;
    static constexpr std::uint32_t kFromSettings = 0xFFFFFFF0u;

    explicit ProbeWait(std::uint32_t storedWait = kUnbounded) : storedWait_(storedWait) {}
    std::uint32_t Milliseconds() const;

private:
    std::uint32_t storedWait_;
};

// Whether the host answers COM activation requests within waitMs: 0 when it does (also when
// it says the probe class is not registered), 0x800706BA when the wait ran out, else the
// activation's failure. An empty host is this machine and answers at once.
HRESULT PingHost(const std::string& host, std::uint32_t waitMs);
// The same with the configured wait.
HRESULT PingHost(const std::string& host);

} // namespace kesti
