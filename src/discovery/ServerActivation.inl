// The typed activation of ServerActivation.h.
#include "base/ComError.h"

namespace kesti {

template <class I>
platform::ComPtr<I> ActivateOnHost(const CLSID& clsid, const std::string& host, DcomIdentity* identity) {
    const platform::ComPtr<IUnknown> unknown = ActivateOnHost(clsid, host, __uuidof(I), identity);
    auto query = platform::Query<I>(unknown.Get());
    ThrowIfFailed(query.result, "NvCreateInstanceEx");
    if (identity != nullptr) LogIfFailed(identity->ApplyTo(query.pointer.Get()), "CoSetProxyBlanket");
    return query.pointer;
}

} // namespace kesti
