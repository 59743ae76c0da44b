#pragma once
// An explicit Windows identity for DCOM: user name, password and domain, kept alive for as
// long as the proxies that carry it.
#include <string>

#include <objbase.h>

namespace kesti {

struct ComCredentials {
    std::wstring userName;
    std::wstring password;
    std::wstring domain;
};

class DcomIdentity {
public:
    explicit DcomIdentity(ComCredentials credentials);
    DcomIdentity(const DcomIdentity&) = delete;
    DcomIdentity& operator=(const DcomIdentity&) = delete;

    // An empty user name means the process's own identity: nothing explicit is sent.
    bool IsExplicit() const { return !credentials_.userName.empty(); }
    const ComCredentials& Credentials() const { return credentials_; }
    // The activation's authentication record, or null when nothing explicit is sent.
    COAUTHINFO* AuthInfo();

    // Gives an interface proxy, and the IUnknown behind it (so that QueryInterface and
    // Release carry it too), the same identity. Does nothing when the identity is not explicit.
    HRESULT ApplyTo(IUnknown* proxy) const;

    // Windows' hardened DCOM activation expects at least packet integrity.
    static constexpr DWORD kAuthenticationLevel = RPC_C_AUTHN_LEVEL_PKT_INTEGRITY;

private:
    ComCredentials credentials_;
    COAUTHIDENTITY identity_{};
    COAUTHINFO authInfo_{};
};

} // namespace kesti
