// The faults a data file can ask of the simulation server, seen across the process boundary.
#include <chrono>

#include <gtest/gtest.h>

#include "sim/SimulationFixture.h"

namespace kesti::test {
namespace {

ComPtr<IOPCHDA_Browser> Browse(IOPCHDA_Server& server) {
    ComPtr<IOPCHDA_Browser> browser;
    UniqueCoTaskMem<HRESULT> errors;
    DWORD attribute = 0;
    OPCHDA_OPERATORCODES op = OPCHDA_EQUAL;
    platform::UniqueVariant filter;
    server.CreateBrowse(0, &attribute, &op, filter.Get(), browser.GetAddressOf(), errors.Put());
    return browser;
}

std::vector<std::wstring> AllNames(IEnumString& names, HRESULT& last) {
    std::vector<std::wstring> all;
    for (;;) {
        platform::TaskMemStringBatch<100> batch;
        last = names.Next(batch.Capacity(), batch.Names(), batch.Fetched());
        for (ULONG i = 0; i < batch.Count(); ++i) all.emplace_back(batch[i]);
        if (last != S_OK || batch.Count() == 0) return all;
    }
}

TEST_F(SimulationTest, BranchFaultsOfTheAddressSpace) {
    IOPCHDA_Server& server = Connect(R"({ "server": { "qualifiedBrowseNames": false },
      "branches": [ { "name": "Top", "branches": [
          { "name": "Closed", "noDirect": true },
          { "name": "Nameless", "itemIdFails": true },
          { "link": "Top" } ] } ] })");
    ComPtr<IOPCHDA_Browser> browser = Browse(server);
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->ChangeBrowsePosition(OPCHDA_BROWSE_DIRECT, L"Top"), S_OK);
    ComPtr<IEnumString> branches;
    ASSERT_EQ(browser->GetEnum(OPCHDA_BRANCH, branches.GetAddressOf()), S_OK);
    HRESULT last = S_OK;
    EXPECT_EQ(AllNames(*branches.Get(), last), (std::vector<std::wstring>{L"Closed", L"Nameless", L"Top"}));
    platform::UniqueCoTaskMemString id;
    EXPECT_EQ(browser->GetItemID(L"Nameless", id.Put()), E_FAIL);
    ASSERT_EQ(browser->GetItemID(L"Top", id.Put()), S_OK);
    EXPECT_EQ(Text(id.Get()), L"Top") << "the link leads back to its ancestor";
    EXPECT_EQ(browser->ChangeBrowsePosition(OPCHDA_BROWSE_DIRECT, L"Top.Closed"), E_INVALIDARG);
    EXPECT_EQ(browser->ChangeBrowsePosition(OPCHDA_BROWSE_DIRECT, L"Closed"), E_INVALIDARG)
        << "short names are no direct positions";
}

TEST_F(SimulationTest, AnEnumerationCanFailPartWay) {
    std::string items;
    for (int i = 0; i < 150; ++i) items += std::string(i ? "," : "") + "{\"name\":\"i" + std::to_string(i) + "\"}";
    IOPCHDA_Server& server =
        Connect(R"({ "branches": [ { "name": "B", "enumFails": "0x80004005", "enumFailsAfter": 120, "items": [)" + items + "] } ] }");
    ComPtr<IOPCHDA_Browser> browser = Browse(server);
    ASSERT_EQ(browser->ChangeBrowsePosition(OPCHDA_BROWSE_DIRECT, L"B"), S_OK);
    ComPtr<IEnumString> leaves;
    ASSERT_EQ(browser->GetEnum(OPCHDA_LEAF, leaves.GetAddressOf()), S_OK);
    HRESULT last = S_OK;
    EXPECT_EQ(AllNames(*leaves.Get(), last).size(), 100u) << "the batch that would pass 120 fails";
    EXPECT_EQ(last, E_FAIL);
}

TEST_F(SimulationTest, HandleFaultsKeepTheServersHandleAndCanDropTheErrorArray) {
    IOPCHDA_Server& server = Connect(R"({ "server": { "sFalseWithoutErrors": ["GetItemHandles"] },
      "items": [ { "name": "Good" }, { "name": "Broken", "handleError": "0xC0040008", "handleValue": 1 } ] })");
    const wchar_t* ids[] = {L"Good", L"Broken"};
    OPCHANDLE clients[] = {0, 1};
    UniqueCoTaskMem<OPCHANDLE> handles;
    UniqueCoTaskMem<HRESULT> errors;
    EXPECT_EQ(server.GetItemHandles(2, const_cast<LPWSTR*>(ids), clients, handles.Put(), errors.Put()), S_FALSE);
    EXPECT_FALSE(errors);
    EXPECT_EQ(handles[1], handles[0]) << "the failed item got another item's handle";
}

TEST_F(SimulationTest, WholeCallFaultsDelaysAndTooLongIntervals) {
    Connect(R"({ "server": { "failCalls": { "InsertReplace": "0x80070005" }, "delayMs": { "ReadRaw": 300 },
                             "maxIntervalSeconds": 3600 },
                 "items": [ { "name": "x", "values": [ { "time": "2024-01-01 00:00:00", "value": 1 } ] } ] })");
    auto handles = Handles({L"x"});
    OPCHDA_TIME start{FALSE, nullptr, At("2024-01-01 00:00:00")};
    OPCHDA_TIME end{FALSE, nullptr, At("2024-01-01 02:00:00")};
    OPCHDA_ITEM* items = nullptr;
    HRESULT* errors = nullptr;
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(Reader()->ReadRaw(&start, &end, 0, TRUE, 1, handles.data(), &items, &errors), E_OUTOFMEMORY);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(250));
    ComPtr<IOPCHDA_SyncUpdate> update;
    ASSERT_EQ(server_.As(&update), S_OK);
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_R8;
    DWORD quality = 0xC0;
    FILETIME t = At("2024-01-01 00:00:00");
    HRESULT* writeErrors = nullptr;
    EXPECT_EQ(update->InsertReplace(1, handles.data(), &t, &value, &quality, &writeErrors), E_ACCESSDENIED);
    EXPECT_EQ(sim_->Calls("InsertReplace").size(), 1u);
}

TEST_F(SimulationTest, PerItemReadAndWriteFaults) {
    Connect(R"({ "items": [ { "name": "a", "readError": "0xC0040001", "writeError": "0x80004005",
                              "values": [ { "time": "2024-01-01 00:00:00", "value": 1 } ] },
                            { "name": "b", "values": [ { "time": "2024-01-01 00:00:00", "value": 2 } ] } ] })");
    auto handles = Handles({L"a", L"b"});
    OPCHDA_TIME start{FALSE, nullptr, At("2024-01-01 00:00:00")};
    OPCHDA_TIME end{FALSE, nullptr, At("2024-01-01 00:00:00")};
    ReadResult r;
    r.count = 2;
    ASSERT_EQ(Reader()->ReadRaw(&start, &end, 0, FALSE, 2, handles.data(), &r.items, &r.errors), S_FALSE);
    EXPECT_EQ(r.errors[0], kInvalidHandle);
    EXPECT_EQ(r.items[0].dwCount, 0u);
    EXPECT_EQ(r.items[1].dwCount, 1u);
    ComPtr<IOPCHDA_SyncUpdate> update;
    ASSERT_EQ(server_.As(&update), S_OK);
    VARIANT values[2];
    for (VARIANT& v : values) VariantInit(&v), V_VT(&v) = VT_R8, V_R8(&v) = 5;
    V_VT(&values[1]) = VT_EMPTY;
    DWORD qualities[] = {0xC0, 0xC0};
    FILETIME times[] = {At("2024-01-02 00:00:00"), At("2024-01-02 00:00:00")};
    UniqueCoTaskMem<HRESULT> errors;
    EXPECT_EQ(update->InsertReplace(2, handles.data(), times, values, qualities, errors.Put()), S_FALSE);
    EXPECT_EQ(errors[0], E_FAIL);
    EXPECT_EQ(errors[1], static_cast<HRESULT>(0xC004100A)) << "VT_EMPTY is refused";
}

} // namespace
} // namespace kesti::test
