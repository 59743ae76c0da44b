#pragma once
// Activation of a class on this machine or another, with an optional explicit identity.
#include <string>

#include <objbase.h>

#include "discovery/DcomIdentity.h"
#include "platform/ComPtr.h"

namespace kesti {

// Activates clsid for the interface iid: locally for an empty host or "localhost" (any
// case), otherwise on the host. An explicit identity goes with the request when given.
HRESULT CreateInstanceOnHost(const CLSID& clsid, const std::string& host, const IID& iid, IUnknown** instance,
                             DcomIdentity* identity);

// Probes the host, activates clsid there for the interface iid, and gives the interface
// the identity. Throws ComError: call "PingHost" with "Ping failed. Could not reach OPC
// Server." when the host does not answer in time, call "NvCreateInstanceEx" with
// "NvCreateInstanceEx failed: <result>" when the activation fails.
platform::ComPtr<IUnknown> ActivateOnHost(const CLSID& clsid, const std::string& host, const IID& iid,
                                          DcomIdentity* identity);

// The same, typed: the activated object's interface I.
template <class I>
platform::ComPtr<I> ActivateOnHost(const CLSID& clsid, const std::string& host, DcomIdentity* identity);

} // namespace kesti

#include "discovery/ServerActivation.inl"
