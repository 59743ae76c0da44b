#include "discovery/DcomIdentity.h"

#include "platform/ComMemory.h"
#include "platform/ComPtr.h"
#include "platform/Seams.h"

namespace kesti {
namespace {

USHORT* Chars(std::wstring& text) { return reinterpret_cast<USHORT*>(&text[0]); }

} // namespace

DcomIdentity::DcomIdentity(ComCredentials credentials) : credentials_(std::move(credentials)) {
    identity_.User = Chars(credentials_.userName);
    identity_.UserLength = static_cast<ULONG>(credentials_.userName.size());
    identity_.Domain = Chars(credentials_.domain);
    identity_.DomainLength = static_cast<ULONG>(credentials_.domain.size());
    identity_.Password = Chars(credentials_.password);
    identity_.PasswordLength = static_cast<ULONG>(credentials_.password.size());
    identity_.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;

    authInfo_.dwAuthnSvc = RPC_C_AUTHN_WINNT;
    authInfo_.dwAuthzSvc = RPC_C_AUTHZ_NONE;
    authInfo_.pwszServerPrincName = nullptr;
    authInfo_.dwAuthnLevel = kAuthenticationLevel;
    authInfo_.dwImpersonationLevel = RPC_C_IMP_LEVEL_IMPERSONATE;
    authInfo_.pAuthIdentityData = &identity_;
    authInfo_.dwCapabilities = EOAC_NONE;
}

COAUTHINFO* DcomIdentity::AuthInfo() { return IsExplicit() ? &authInfo_ : nullptr; }

HRESULT DcomIdentity::ApplyTo(IUnknown* proxy) const {
    if (!IsExplicit() || proxy == nullptr) return S_OK;
    const auto blanket = [this](IUnknown* target) {
        return platform::SetProxyBlanket({target, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, kAuthenticationLevel,
                                          RPC_C_IMP_LEVEL_IMPERSONATE, &identity_, EOAC_NONE});
    };
    HRESULT result = blanket(proxy);
    const auto unknown = platform::Query<IUnknown>(proxy);
    if (SUCCEEDED(unknown.result)) {
        const HRESULT unknownResult = blanket(unknown.pointer.Get());
        if (SUCCEEDED(result)) result = unknownResult;
    }
    return result;
}

} // namespace kesti
