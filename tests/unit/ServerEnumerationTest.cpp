// Discovery through the platform seams: what would be sent to another machine, and what a
// server list's answers become.
#include <array>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "FakeCom.h"
#include "TempDataFolder.h"
#include "base/ComError.h"
#include "base/Exception.h"
#include "base/ResultText.h"
#include "discovery/OPCSpecification.h"
#include "discovery/ReachabilityProbe.h"
#include "discovery/ServerActivation.h"
#include "discovery/ServerEnumeration.h"
#include "opccomn.h"
#include "platform/ComApartment.h"
#include "platform/ComMemory.h"
#include "platform/RegistryKey.h"

namespace kesti::test {
namespace {

GUID MakeClassId(unsigned n) { return GUID{0x5E5E0000u + n, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}}; }

// A server list whose categories and class details a test decides.
class FakeServerList : public FakeComObject<IOPCServerList2> {
public:
    FakeServerList() : FakeComObject(IID_IOPCServerList2) {}

    std::map<std::uint32_t, std::vector<GUID>> classesByFlag; // by the flag of an OPC category
    std::uint32_t failingFlag = 0;
    std::map<unsigned long, std::array<const wchar_t*, 3>> details; // by Data1
    int nextCalls = 0;

    HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG implemented, CATID* categories, ULONG, CATID*,
                                                      IOPCEnumGUID** result) override;
    HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR* progId, LPOLESTR* userType,
                                              LPOLESTR* versionIndependent) override {
        const auto found = details.find(clsid.Data1);
        const std::array<const wchar_t*, 3> texts =
            found != details.end() ? found->second : std::array<const wchar_t*, 3>{nullptr, nullptr, nullptr};
        *progId = Copy(texts[0]);
        *userType = Copy(texts[1]);
        *versionIndependent = Copy(texts[2]);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CLSIDFromProgID(LPCOLESTR, LPCLSID) override { return E_NOTIMPL; }

private:
    static LPOLESTR Copy(const wchar_t* text) { return text == nullptr ? nullptr : platform::CopyToCoTaskMem(text); }
};

class FakeGuidEnumerator : public FakeComObject<IOPCEnumGUID> {
public:
    FakeGuidEnumerator(std::vector<GUID> ids, int& calls) : FakeComObject(IID_IOPCEnumGUID), ids_(std::move(ids)), calls_(calls) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG count, GUID* out, ULONG* fetched) override {
        ++calls_;
        ULONG n = 0;
        while (n < count && next_ < ids_.size()) out[n++] = ids_[next_++];
        *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IOPCEnumGUID**) override { return E_NOTIMPL; }

private:
    std::vector<GUID> ids_;
    std::size_t next_ = 0;
    int& calls_;
};

HRESULT FakeServerList::EnumClassesOfCategories(ULONG implemented, CATID* categories, ULONG, CATID*,
                                                IOPCEnumGUID** result) {
    *result = nullptr;
    if (implemented != 1) return E_INVALIDARG;
    for (const OPCSpecification& category : OPCSpecifications()) {
        if (!IsEqualGUID(category.CategoryId(), categories[0])) continue;
        if (category.Flag() == failingFlag) return E_ACCESSDENIED;
        *result = new FakeGuidEnumerator(classesByFlag[category.Flag()], nextCalls);
        return S_OK;
    }
    return E_INVALIDARG;
}

struct Activation {
    CLSID clsid{};
    DWORD context = 0;
    bool hasServer = false;
    std::wstring serverName;
    bool hasAuthInfo = false;
    COAUTHINFO authInfo{};
    std::wstring user, domain, password;
    ULONG identityFlags = 0;
    IID iid{};
};

class DiscoveryTest : public TempDataFolderTest {
protected:
    void SetUp() override {
        TempDataFolderTest::SetUp();
        platform::SetActivationHandler([this](const CLSID& clsid, DWORD context, COSERVERINFO* server, ULONG count,
                                              MULTI_QI* results) { return Record(clsid, context, server, count, results); });
        platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
            messages_.push_back(r.text);
            return IDOK;
        });
    }
    void TearDown() override {
        platform::SetActivationHandler(nullptr);
        platform::SetProxyBlanketHandler(nullptr);
        platform::SetNetworkHostsHandler(nullptr);
        if (list_ != nullptr) list_->Release();
        TempDataFolderTest::TearDown();
    }

    HRESULT Record(const CLSID& clsid, DWORD context, COSERVERINFO* server, ULONG count, MULTI_QI* results) {
        std::lock_guard<std::mutex> guard(lock_);
        Activation a;
        a.clsid = clsid;
        a.context = context;
        a.hasServer = server != nullptr && server->pwszName != nullptr;
        if (a.hasServer) a.serverName = server->pwszName;
        a.hasAuthInfo = server != nullptr && server->pAuthInfo != nullptr;
        if (a.hasAuthInfo) {
            a.authInfo = *server->pAuthInfo;
            const auto* id = server->pAuthInfo->pAuthIdentityData;
            a.user.assign(reinterpret_cast<const wchar_t*>(id->User), id->UserLength);
            a.domain.assign(reinterpret_cast<const wchar_t*>(id->Domain), id->DomainLength);
            a.password.assign(reinterpret_cast<const wchar_t*>(id->Password), id->PasswordLength);
            a.identityFlags = id->Flags;
        }
        if (count > 0) a.iid = *results[0].pIID;
        activations_.push_back(a);
        if (IsEqualCLSID(clsid, kProbeClassId)) {
            if (probeDelay_.count() > 0) std::this_thread::sleep_for(probeDelay_);
            return probeResult_;
        }
        if (list_ != nullptr && IsEqualIID(*results[0].pIID, IID_IOPCServerList2)) {
            list_->AddRef();
            results[0].pItf = list_;
            results[0].hr = S_OK;
            return S_OK;
        }
        results[0].pItf = nullptr;
        results[0].hr = interfaceResult_;
        return activationResult_;
    }

    std::vector<Activation> Activations() {
        std::lock_guard<std::mutex> guard(lock_);
        return activations_;
    }

    FakeServerList& ServerList() {
        if (list_ == nullptr) list_ = new FakeServerList();
        return *list_;
    }

    std::mutex lock_;
    std::vector<Activation> activations_;
    std::vector<std::string> messages_;
    HRESULT probeResult_ = REGDB_E_CLASSNOTREG;
    std::chrono::milliseconds probeDelay_{0};
    HRESULT activationResult_ = S_OK;
    HRESULT interfaceResult_ = E_NOINTERFACE;
    FakeServerList* list_ = nullptr;
};

const IID kAnyInterface = {0x1F1217B0, 0xDEE0, 0x11D2, {0xA5, 0xE5, 0x00, 0x00, 0x86, 0x33, 0x93, 0x99}};

TEST_F(DiscoveryTest, LocalHostsActivateLocallyWithoutServerName) {
    IUnknown* instance = reinterpret_cast<IUnknown*>(0x1);
    CreateInstanceOnHost(MakeClassId(1), "", kAnyInterface, &instance, nullptr);
    CreateInstanceOnHost(MakeClassId(1), "LOCALHOST", kAnyInterface, &instance, nullptr);
    CreateInstanceOnHost(MakeClassId(1), "plant-hda", kAnyInterface, &instance, nullptr);
    const auto sent = Activations();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].context, static_cast<DWORD>(CLSCTX_LOCAL_SERVER));
    EXPECT_FALSE(sent[0].hasServer);
    EXPECT_EQ(sent[1].context, static_cast<DWORD>(CLSCTX_LOCAL_SERVER));
    EXPECT_EQ(sent[1].serverName, L"LOCALHOST");
    EXPECT_EQ(sent[2].context, static_cast<DWORD>(CLSCTX_REMOTE_SERVER));
    EXPECT_EQ(sent[2].serverName, L"plant-hda");
    EXPECT_TRUE(IsEqualIID(sent[2].iid, kAnyInterface));
    EXPECT_EQ(instance, nullptr) << "a failed interface request gives no interface";
}

TEST_F(DiscoveryTest, AnExplicitIdentityAsksForPacketIntegrity) {
    DcomIdentity identity({L"operator", L"s3cret", L"PLANT"});
    IUnknown* instance = nullptr;
    EXPECT_EQ(CreateInstanceOnHost(MakeClassId(1), "plant-hda", kAnyInterface, &instance, &identity), S_OK);
    const Activation sent = Activations().at(0);
    ASSERT_TRUE(sent.hasAuthInfo);
    EXPECT_EQ(sent.authInfo.dwAuthnSvc, static_cast<DWORD>(RPC_C_AUTHN_WINNT));
    EXPECT_EQ(sent.authInfo.dwAuthzSvc, static_cast<DWORD>(RPC_C_AUTHZ_NONE));
    EXPECT_EQ(sent.authInfo.pwszServerPrincName, nullptr);
    EXPECT_EQ(sent.authInfo.dwAuthnLevel, static_cast<DWORD>(RPC_C_AUTHN_LEVEL_PKT_INTEGRITY));
    EXPECT_EQ(sent.authInfo.dwImpersonationLevel, static_cast<DWORD>(RPC_C_IMP_LEVEL_IMPERSONATE));
    EXPECT_EQ(sent.authInfo.dwCapabilities, static_cast<DWORD>(EOAC_NONE));
    EXPECT_EQ(sent.user, L"operator");
    EXPECT_EQ(sent.domain, L"PLANT");
    EXPECT_EQ(sent.password, L"s3cret");
    EXPECT_EQ(sent.identityFlags, static_cast<ULONG>(SEC_WINNT_AUTH_IDENTITY_UNICODE));
}

TEST_F(DiscoveryTest, AnEmptyUserNameSendsNoIdentityEvenWithAPassword) {
    DcomIdentity identity({L"", L"s3cret", L"PLANT"});
    IUnknown* instance = nullptr;
    CreateInstanceOnHost(MakeClassId(1), "plant-hda", kAnyInterface, &instance, &identity);
    EXPECT_FALSE(Activations().at(0).hasAuthInfo);
}

TEST_F(DiscoveryTest, TheIdentityGoesOnTheProxyAndOnItsUnknown) {
    std::vector<platform::ProxyBlanketRequest> blankets;
    platform::SetProxyBlanketHandler([&](const platform::ProxyBlanketRequest& r) {
        blankets.push_back(r);
        return S_OK;
    });
    DcomIdentity identity({L"operator", L"pw", L""});
    FakeServerList& proxy = ServerList();
    EXPECT_EQ(identity.ApplyTo(&proxy), S_OK);
    ASSERT_EQ(blankets.size(), 2u);
    EXPECT_EQ(blankets[0].authenticationLevel, static_cast<DWORD>(RPC_C_AUTHN_LEVEL_PKT_INTEGRITY));
    EXPECT_EQ(blankets[1].identity, blankets[0].identity);
    EXPECT_EQ(reinterpret_cast<const wchar_t*>(blankets[0].identity->User), std::wstring(L"operator"));

    DcomIdentity processIdentity({L"", L"pw", L""});
    EXPECT_EQ(processIdentity.ApplyTo(&proxy), S_OK);
    EXPECT_EQ(blankets.size(), 2u);
}

TEST_F(DiscoveryTest, PingAnswersAtOnceForThisMachine) {
    EXPECT_EQ(PingHost("", 1000), S_OK);
    EXPECT_TRUE(Activations().empty());
}

TEST_F(DiscoveryTest, PingSendsTheProbeAndTakesClassNotRegisteredAsAnAnswer) {
    EXPECT_EQ(PingHost("plant-hda", 5000), S_OK);
    const Activation probe = Activations().at(0);
    EXPECT_TRUE(IsEqualCLSID(probe.clsid, kProbeClassId));
    EXPECT_EQ(probe.context, static_cast<DWORD>(CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER));
    EXPECT_EQ(probe.serverName, L"plant-hda");
    EXPECT_FALSE(probe.hasAuthInfo);
    EXPECT_TRUE(IsEqualIID(probe.iid, IID_IUnknown));
    probeResult_ = E_ACCESSDENIED;
    EXPECT_EQ(PingHost("plant-hda", 5000), E_ACCESSDENIED);
}

TEST_F(DiscoveryTest, ASilentHostIsGivenUpAfterTheWait) {
    probeDelay_ = std::chrono::milliseconds(1500);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(PingHost("silent-host", 100), kRpcServerUnavailable);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1200));
    EXPECT_NE(LogText().find("[Warning]\r\nPingHost: the host silent-host did not answer within 100 ms"),
              std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(1600)); // let the probe end before the fixture goes
}

TEST_F(DiscoveryTest, TheWaitComesFromTheLantrelSettingOrTenSeconds) {
    EXPECT_EQ(ProbeWait(500).Milliseconds(), 500u);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Norvane\\Kesti\\Lantrel");
    EXPECT_EQ(ProbeWait().Milliseconds(), 10000u);
    {
        const auto key = platform::RegistryKey::Create(HKEY_CURRENT_USER, "Software\\Norvane\\Kesti\\Lantrel", KEY_SET_VALUE);
        ASSERT_TRUE(key);
        const DWORD seconds = 3;
        RegSetValueExA(key.Get(), "OPCTimeout", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seconds), sizeof seconds);
    }
    EXPECT_EQ(ProbeWait().Milliseconds(), 3000u);
    EXPECT_EQ(ProbeWait(ProbeWait::kFromSettings).Milliseconds(), 3000u);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Norvane\\Kesti\\Lantrel");
}

TEST_F(DiscoveryTest, ServersFoundUnderTwoCategoriesAreListedOnceWithBothFlags) {
    FakeServerList& list = ServerList();
    const GUID a = MakeClassId(1), b = MakeClassId(2);
    list.classesByFlag[SpecDataAccess20] = {a};
    list.classesByFlag[SpecDataAccess30] = {b, a};
    list.details[a.Data1] = {L"Vendor.DA.2", L"Vendor DA server", L"Vendor.DA"};
    list.details[b.Data1] = {L"Other.DA.3", nullptr, nullptr};
    const auto servers = EnumerateServers("", nullptr).servers;
    ASSERT_EQ(servers.size(), 2u);
    EXPECT_EQ(servers[0].address.Specifications(), 0x030u);
    EXPECT_EQ(servers[0].address.Description(), "Vendor DA server");
    EXPECT_EQ(servers[0].address.ProgId(), "Vendor.DA.2");
    EXPECT_EQ(servers[0].address.Host(), "");
    EXPECT_EQ(servers[0].address.Path().rfind("Vendor.DA/{5E5E0001-1111-2222-0102-030405060708}", 0), 0u);
    EXPECT_TRUE(IsEqualGUID(servers[0].address.ClassId(), a));
    EXPECT_EQ(servers[1].address.Description(), "Other.DA.3");
    EXPECT_EQ(servers[1].address.Path(), "Other.DA.3/{5E5E0002-1111-2222-0102-030405060708}");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(DiscoveryTest, ManyClassIdsAreReadInBatchesOfAHundred) {
    FakeServerList& list = ServerList();
    for (unsigned n = 0; n < 150; ++n) list.classesByFlag[SpecHistoricalDataAccess10].push_back(MakeClassId(100 + n));
    DcomIdentity identity({L"operator", L"pw", L"D"});
    platform::SetProxyBlanketHandler([](const platform::ProxyBlanketRequest&) { return S_OK; });
    const auto servers = EnumerateServers("plant-hda", &identity).servers;
    ASSERT_EQ(servers.size(), 150u);
    EXPECT_EQ(servers[149].address.Path(), "{5E5E00F9-1111-2222-0102-030405060708}") << "no ProgID anywhere";
    EXPECT_EQ(servers[0].address.Host(), "plant-hda");
    EXPECT_EQ(servers[0].userName, L"operator");
    EXPECT_EQ(list.nextCalls, 2 + 9) << "two batches for HDA, one for each other category";
}

TEST_F(DiscoveryTest, AFailingCategoryIsToldAndWhatWasFoundIsKept) {
    FakeServerList& list = ServerList();
    list.classesByFlag[SpecAlarmsEvents10] = {MakeClassId(1)};
    list.classesByFlag[SpecHistoricalDataAccess10] = {MakeClassId(2)};
    list.failingFlag = SpecDataAccess10;
    const ServerListing listing = EnumerateServers("", nullptr);
    EXPECT_TRUE(listing.categoryFailed);
    ASSERT_EQ(listing.servers.size(), 1u);
    EXPECT_TRUE(messages_.empty()) << "what a person sees is the dialog's to show";
}

// What the dialog shows under a machine that cannot be listed: the system's words for the
// code, or, where the system has none, the plug-in's own with the code.
TEST_F(DiscoveryTest, AnUnreachableHostOrAMissingServerListFailsWithWordsForTheCode) {
    const auto failure = [&] {
        try {
            EnumerateServers("plant-hda", nullptr);
        } catch (const ComError& e) {
            return std::make_pair(e.Result(), e.Message());
        }
        return std::make_pair(S_OK, std::string("no exception"));
    };
    probeResult_ = E_ACCESSDENIED;
    ASSERT_FALSE(SystemMessageText(E_ACCESSDENIED).empty());
    EXPECT_EQ(failure(), std::make_pair(E_ACCESSDENIED, SystemMessageText(E_ACCESSDENIED)));

    probeResult_ = REGDB_E_CLASSNOTREG; // the machine answered
    for (const auto& [code, own] : std::vector<std::pair<HRESULT, std::string>>{
             {REGDB_E_CLASSNOTREG, "The machine has no OPC server list registered (0x80040154)"},
             {CO_E_SERVER_EXEC_FAILURE, "The OPC server list could not be started on the machine (0x80080005)"},
             {static_cast<HRESULT>(0x8004D00A), "The OPC servers of the machine could not be listed (0x8004D00A)"}}) {
        activationResult_ = code;
        const std::string system = SystemMessageText(code);
        EXPECT_EQ(failure(), std::make_pair(code, system.empty() ? own : system));
    }
}

TEST_F(DiscoveryTest, NetworkHostsComeFromTheLanManagerList) {
    platform::SetNetworkHostsHandler([](std::vector<std::wstring>& names) {
        names = {L"HDA-01", L"WS-\u00c4"};
        return static_cast<DWORD>(ERROR_MORE_DATA);
    });
    std::vector<std::string> hosts{"stale"};
    EXPECT_TRUE(ListNetworkHosts(hosts));
    ASSERT_EQ(hosts.size(), 2u);
    EXPECT_EQ(hosts[0], "HDA-01");
    platform::SetNetworkHostsHandler([](std::vector<std::wstring>&) { return static_cast<DWORD>(ERROR_ACCESS_DENIED); });
    EXPECT_FALSE(ListNetworkHosts(hosts));
    EXPECT_TRUE(hosts.empty());
}

TEST(PingUnderWine, AnotherMachineAnswersThatTheProbeClassIsNotRegistered) {
    const platform::ComApartment apartment(COINIT_MULTITHREADED);
    EXPECT_EQ(PingHost("plant-hda-probe", 20000), S_OK);
}

} // namespace
} // namespace kesti::test
