// The simulation server and the server list as real out-of-process COM servers: every call
// crosses the process boundary through the proxy/stub DLL built from our IDL.
#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "sim/SimulationFixture.h"
#include "common/Files.h"
#include "discovery/OPCSpecification.h"
#include "discovery/ServerEnumeration.h"
#include "opccomn.h"
#include "opchda.h"
#include "platform/ComMemory.h"

namespace kesti::test {
namespace {

const char* const kPlant = R"({
  "server": { "maxValuesPerCall": 50, "vendorInfo": "Test vendor \u00e4" },
  "branches": [
    { "name": "Area1", "branches": [ { "name": "Sub", "items": [ { "name": "Deep", "type": "VT_R8",
        "values": [ { "time": "2024-01-01 00:00:00", "value": 1 } ] } ] } ],
      "items": [
        { "name": "Real", "type": "VT_R8", "description": "a real",
          "values": [ { "time": "2024-01-01 00:00:00", "value": 1.5 },
                      { "time": "2024-01-01 00:01:00", "value": 2.5, "quality": "bad" },
                      { "time": "2024-01-01 00:02:00", "value": 3.5 } ] },
        { "name": "Text", "type": "VT_BSTR", "values": [ { "time": "2024-01-01 00:00:00", "value": "f\u00e4hrt" } ] },
        { "name": "Dec", "type": "VT_DECIMAL", "values": [ { "time": "2024-01-01 00:00:00", "value": 2.75 } ] },
        { "name": "Big", "type": "VT_I8", "values": [ { "time": "2024-01-01 00:00:00", "value": 9007199254740993 } ] },
        { "name": "Vec", "type": "VT_ARRAY|VT_VARIANT", "lowerBound": 1,
          "values": [ { "time": "2024-01-01 00:00:00", "value": [1.25, "two", null] } ] },
        { "name": "Many", "type": "VT_R4",
          "generate": { "kind": "ramp", "start": "2024-01-01 00:00:00", "interval": "1S", "count": 120 } }
      ] }
  ]
})";

TEST_F(SimulationTest, StatusStringsAndTimesCrossTheProcessBoundary) {
    IOPCHDA_Server& server = Connect(kPlant);
    OPCHDA_SERVERSTATUS status{};
    UniqueCoTaskMem<FILETIME> now, started;
    WORD major = 0, minor = 0, build = 0;
    DWORD maxValues = 0;
    UniqueCoTaskMemString statusText, vendor;
    ASSERT_EQ(server.GetHistorianStatus(&status, now.Put(), started.Put(), &major, &minor, &build, &maxValues,
                                        statusText.Put(), vendor.Put()),
              S_OK);
    EXPECT_EQ(status, OPCHDA_UP);
    ASSERT_TRUE(now);
    EXPECT_NE(now.Get()->dwHighDateTime, 0u);
    EXPECT_EQ(major, 1);
    EXPECT_EQ(minor, 20);
    EXPECT_EQ(maxValues, 50u);
    EXPECT_EQ(Text(statusText.Get()), L"Running");
    EXPECT_EQ(Text(vendor.Get()), L"Test vendor \u00e4");
}

TEST_F(SimulationTest, AttributesAndAggregatesArrive) {
    IOPCHDA_Server& server = Connect(kPlant);
    DWORD count = 0;
    UniqueCoTaskMemArray<DWORD> ids;
    UniqueCoTaskMemArray<LPWSTR> names, descriptions;
    UniqueCoTaskMemArray<VARTYPE> types;
    ASSERT_EQ(server.GetItemAttributes(&count, ids.Put(), names.Put(), descriptions.Put(), types.Put()), S_OK);
    for (auto* owner : {&names, &descriptions}) owner->SetCount(count);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(ids[2], 0x0Du);
    EXPECT_EQ(Text(names[1]), L"Description");
    EXPECT_EQ(types[0], VT_I2);
    UniqueCoTaskMemArray<DWORD> aggregateIds;
    UniqueCoTaskMemArray<LPWSTR> aggregateNames, aggregateDescriptions;
    ASSERT_EQ(server.GetAggregates(&count, aggregateIds.Put(), aggregateNames.Put(), aggregateDescriptions.Put()), S_OK);
    for (auto* owner : {&aggregateNames, &aggregateDescriptions}) owner->SetCount(count);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(Text(aggregateNames[0]), L"Start");
}

TEST_F(SimulationTest, BrowsingWalksBranchesLeavesAndTheFlatList) {
    IOPCHDA_Server& server = Connect(kPlant);
    ComPtr<IOPCHDA_Browser> browser;
    UniqueCoTaskMem<HRESULT> errors;
    DWORD noAttribute = 0;
    OPCHDA_OPERATORCODES noOperator = OPCHDA_EQUAL;
    UniqueVariant noFilter; // the arrays are empty, but their pointers must not be null
    ASSERT_EQ(server.CreateBrowse(0, &noAttribute, &noOperator, noFilter.Get(), browser.GetAddressOf(), errors.Put()),
              S_OK);
    ComPtr<IEnumString> branches;
    ASSERT_EQ(browser->GetEnum(OPCHDA_BRANCH, branches.GetAddressOf()), S_OK);
    TaskMemStringBatch<100> top;
    EXPECT_EQ(branches->Next(top.Capacity(), top.Names(), top.Fetched()), S_FALSE);
    ASSERT_EQ(top.Count(), 1u);
    EXPECT_EQ(Text(top[0]), L"Area1");

    ASSERT_EQ(browser->ChangeBrowsePosition(OPCHDA_BROWSE_DIRECT, L"Area1"), S_OK);
    UniqueCoTaskMemString itemId;
    ASSERT_EQ(browser->GetItemID(L"Area1.Real", itemId.Put()), S_OK);
    EXPECT_EQ(Text(itemId.Get()), L"Area1.Real") << "an [out] string crosses intact";
    UniqueCoTaskMemString position;
    ASSERT_EQ(browser->GetBranchPosition(position.Put()), S_OK);
    EXPECT_EQ(Text(position.Get()), L"Area1");

    ComPtr<IEnumString> leaves;
    ASSERT_EQ(browser->GetEnum(OPCHDA_LEAF, leaves.GetAddressOf()), S_OK);
    TaskMemStringBatch<100> leafNames;
    EXPECT_EQ(leaves->Next(leafNames.Capacity(), leafNames.Names(), leafNames.Fetched()), S_FALSE);
    EXPECT_EQ(leafNames.Count(), 6u);

    ASSERT_EQ(browser->ChangeBrowsePosition(OPCHDA_BROWSE_DIRECT, L"Area1.Sub"), S_OK);
    ComPtr<IEnumString> none;
    EXPECT_EQ(browser->GetEnum(OPCHDA_BRANCH, none.GetAddressOf()), S_FALSE);
    ASSERT_EQ(browser->ChangeBrowsePosition(OPCHDA_BROWSE_DIRECT, L""), S_OK);
    ComPtr<IEnumString> flat;
    ASSERT_EQ(browser->GetEnum(OPCHDA_FLAT, flat.GetAddressOf()), S_OK);
    TaskMemStringBatch<100> all;
    EXPECT_EQ(flat->Next(all.Capacity(), all.Names(), all.Fetched()), S_FALSE);
    EXPECT_EQ(all.Count(), 7u);
    EXPECT_TRUE(FAILED(browser->ChangeBrowsePosition(OPCHDA_BROWSE_DIRECT, L"Nowhere")));
}

TEST_F(SimulationTest, HandlesWithPerItemErrors) {
    IOPCHDA_Server& server = Connect(kPlant);
    const wchar_t* ids[] = {L"Area1.Real", L"No.Such.Item", L"Area1.Text"};
    OPCHANDLE clients[] = {7, 8, 9};
    UniqueCoTaskMem<OPCHANDLE> handles;
    UniqueCoTaskMem<HRESULT> errors;
    ASSERT_EQ(server.GetItemHandles(3, const_cast<LPWSTR*>(ids), clients, handles.Put(), errors.Put()), S_FALSE);
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(errors[1], kUnknownItemId);
    EXPECT_NE(handles[0], handles[2]);
    UniqueCoTaskMem<HRESULT> valid;
    EXPECT_EQ(server.ValidateItemIDs(3, const_cast<LPWSTR*>(ids), valid.Put()), S_FALSE);
    EXPECT_EQ(valid[2], S_OK);
    OPCHANDLE release[] = {handles[0], 999};
    UniqueCoTaskMem<HRESULT> released;
    EXPECT_EQ(server.ReleaseItemHandles(2, release, released.Put()), S_FALSE);
    EXPECT_EQ(released[1], kInvalidHandle);
    EXPECT_EQ(sim_->Calls("GetItemHandles").at(0), "GetItemHandles count=3 ids=[Area1.Real,No.Such.Item,Area1.Text] clients=[7,8,9]");
}

TEST_F(SimulationTest, RawReadsCarryEveryValueTypeAndTheRelativeTimesComeBack) {
    Connect(kPlant);
    const auto handles = Handles({L"Area1.Text", L"Area1.Dec", L"Area1.Big", L"Area1.Vec"});
    RelativeTime start(L"NOW-10Y");
    RelativeTime end(L"NOW");
    ReadResult r;
    r.count = 4;
    ASSERT_EQ(Reader()->ReadRaw(&start, &end, 0, FALSE, 4, const_cast<OPCHANDLE*>(handles.data()), &r.items, &r.errors), S_OK);
    EXPECT_NE((*start).ftTime.dwHighDateTime, 0u) << "relative times are written back";
    EXPECT_EQ(r.items[0].hClient, 100u);
    ASSERT_EQ(r.items[0].dwCount, 1u);
    EXPECT_EQ(V_VT(&r.items[0].pvDataValues[0]), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&r.items[0].pvDataValues[0])), L"f\u00e4hrt");
    EXPECT_EQ(V_VT(&r.items[1].pvDataValues[0]), VT_DECIMAL);
    double decimal = 0;
    VarR8FromDec(&V_DECIMAL(&r.items[1].pvDataValues[0]), &decimal);
    EXPECT_EQ(decimal, 2.75);
    EXPECT_EQ(V_VT(&r.items[2].pvDataValues[0]), VT_I8);
    EXPECT_EQ(V_I8(&r.items[2].pvDataValues[0]), 9007199254740993LL);
    const VARIANT& vec = r.items[3].pvDataValues[0];
    ASSERT_EQ(V_VT(&vec), VT_ARRAY | VT_VARIANT);
    LONG lower = 0;
    SafeArrayGetLBound(V_ARRAY(&vec), 1, &lower);
    EXPECT_EQ(lower, 1);
    UniqueVariant second;
    LONG index = 2;
    SafeArrayGetElement(V_ARRAY(&vec), &index, second.Get());
    EXPECT_EQ(std::wstring(V_BSTR(second.Get())), L"two");
}

TEST_F(SimulationTest, BoundsPlaceholdersMoreDataAndLimits) {
    Connect(kPlant);
    const auto handles = Handles({L"Area1.Real", L"Area1.Many"});
    OPCHDA_TIME start{FALSE, nullptr, At("2023-12-31 23:00:00")};
    OPCHDA_TIME end{FALSE, nullptr, At("2024-01-01 00:01:30")};
    ReadResult r;
    r.count = 2;
    ASSERT_EQ(Reader()->ReadRaw(&start, &end, 0, TRUE, 2, const_cast<OPCHANDLE*>(handles.data()), &r.items, &r.errors),
              S_FALSE);
    ASSERT_EQ(r.items[0].dwCount, 4u) << "placeholder, two values, end bound";
    EXPECT_EQ(r.items[0].pdwQualities[0], kNoBound);
    EXPECT_EQ(V_VT(&r.items[0].pvDataValues[0]), VT_EMPTY);
    EXPECT_EQ(r.items[0].pdwQualities[2] & 0xC0, 0u) << "the bad value keeps its quality";
    EXPECT_EQ(V_R8(&r.items[0].pvDataValues[3]), 3.5);
    EXPECT_EQ(r.errors[1], kMoreData);
    EXPECT_EQ(r.items[1].dwCount, 50u) << "the server's maximum per call";

    OPCHDA_TIME empty{FALSE, nullptr, At("2030-01-01 00:00:00")};
    OPCHDA_TIME emptyEnd{FALSE, nullptr, At("2030-01-02 00:00:00")};
    ReadResult none;
    none.count = 1;
    ASSERT_EQ(Reader()->ReadRaw(&empty, &emptyEnd, 0, FALSE, 1, const_cast<OPCHANDLE*>(handles.data()), &none.items,
                                &none.errors),
              S_FALSE);
    EXPECT_EQ(none.errors[0], kNoDataResult);
    OPCHDA_ITEM* items = nullptr;
    HRESULT* errors = nullptr;
    EXPECT_EQ(Reader()->ReadRaw(&start, &end, 51, TRUE, 1, const_cast<OPCHANDLE*>(handles.data()), &items, &errors),
              kMaxExceeded);
}

TEST_F(SimulationTest, ACurrentReadGivesTheLastValue) {
    Connect(kPlant);
    const auto handles = Handles({L"Area1.Real"});
    RelativeTime start(L"NOW");
    RelativeTime end(L"");
    ReadResult r;
    r.count = 1;
    ASSERT_EQ(Reader()->ReadRaw(&start, &end, 1, TRUE, 1, const_cast<OPCHANDLE*>(handles.data()), &r.items, &r.errors), S_OK);
    ASSERT_EQ(r.items[0].dwCount, 1u);
    EXPECT_EQ(V_R8(&r.items[0].pvDataValues[0]), 3.5);
    EXPECT_NE(sim_->Calls("ReadRaw").at(0).find("numValues=1 bounds=1"), std::string::npos);
}

TEST_F(SimulationTest, TheOtherReadsCrossToo) {
    Connect(kPlant);
    const auto handles = Handles({L"Area1.Real"});
    FILETIME times[] = {At("2024-01-01 00:00:30"), At("2023-01-01 00:00:00")};
    ReadResult atTime;
    atTime.count = 1;
    ASSERT_EQ(Reader()->ReadAtTime(2, times, 1, const_cast<OPCHANDLE*>(handles.data()), &atTime.items, &atTime.errors), S_OK);
    ASSERT_EQ(atTime.items[0].dwCount, 2u);
    EXPECT_EQ(V_R8(&atTime.items[0].pvDataValues[0]), 1.5);
    EXPECT_EQ(V_VT(&atTime.items[0].pvDataValues[1]), VT_EMPTY);

    OPCHDA_TIME start{FALSE, nullptr, At("2024-01-01 00:00:00")};
    OPCHDA_TIME end{FALSE, nullptr, At("2024-01-01 00:03:00")};
    FILETIME minute{600000000, 0};
    DWORD aggregate = OPCHDA_START;
    ReadResult processed;
    processed.count = 1;
    ASSERT_EQ(Reader()->ReadProcessed(&start, &end, minute, 1, const_cast<OPCHANDLE*>(handles.data()), &aggregate,
                                      &processed.items, &processed.errors),
              S_OK);
    EXPECT_EQ(processed.items[0].dwCount, 3u);
    EXPECT_EQ(V_R8(&processed.items[0].pvDataValues[2]), 3.5);

    UniqueCoTaskMemArray<OPCHDA_ATTRIBUTE> attributes;
    UniqueCoTaskMemArray<HRESULT> errors;
    DWORD ids[] = {0x02, 0x77};
    ASSERT_EQ(Reader()->ReadAttribute(&start, &end, handles[0], 2, ids, attributes.Put(2), errors.Put(2)), S_FALSE);
    EXPECT_EQ(std::wstring(V_BSTR(&attributes[0].vAttributeValues[0])), L"a real");
    EXPECT_EQ(errors[1], static_cast<HRESULT>(0xC004100C));
}

TEST_F(SimulationTest, WritesAreStoredWithInsertedAndReplacedResults) {
    Connect(kPlant);
    const auto handles = Handles({L"Area1.Real", L"Area1.Text"});
    ComPtr<IOPCHDA_SyncUpdate> update;
    ASSERT_EQ(server_.As(&update), S_OK);
    OPCHDA_UPDATECAPABILITIES caps{};
    ASSERT_EQ(update->QueryCapabilities(&caps), S_OK);
    EXPECT_TRUE(caps & OPCHDA_INSERTREPLACECAP);

    OPCHANDLE h[] = {handles[0], handles[1]};
    FILETIME t[] = {At("2024-01-01 00:01:00"), At("2024-02-01 00:00:00")};
    UniqueVariant values[2];
    V_VT(values[0].Get()) = VT_R4;
    V_R4(values[0].Get()) = 9.5f;
    V_BSTR(values[1].Get()) = SysAllocString(L"new");
    V_VT(values[1].Get()) = VT_BSTR;
    VARIANT* v = values[0].Get(); // the owners lie side by side like a VARIANT array
    DWORD q[] = {0xC0, 0xC0};
    UniqueCoTaskMem<HRESULT> errors;
    ASSERT_EQ(update->InsertReplace(2, h, t, v, q, errors.Put()), S_FALSE);
    EXPECT_EQ(errors[0], kReplaced);
    EXPECT_EQ(errors[1], kInserted);
    UniqueCoTaskMem<HRESULT> again;
    EXPECT_EQ(update->Insert(1, h, t, v, q, again.Put()), S_FALSE);
    EXPECT_EQ(again[0], kDataExists);

    OPCHDA_TIME start{FALSE, nullptr, At("2024-01-01 00:01:00")};
    OPCHDA_TIME end{FALSE, nullptr, At("2024-01-01 00:01:00")};
    ReadResult r;
    r.count = 1;
    ASSERT_EQ(Reader()->ReadRaw(&start, &end, 0, FALSE, 1, h, &r.items, &r.errors), S_OK);
    ASSERT_EQ(r.items[0].dwCount, 1u);
    EXPECT_EQ(V_VT(&r.items[0].pvDataValues[0]), VT_R4);
    EXPECT_EQ(r.items[0].pdwQualities[0], 0xC0u);

    OPCHDA_TIME all{FALSE, nullptr, At("2024-01-01 00:00:00")};
    OPCHDA_TIME later{FALSE, nullptr, At("2024-03-01 00:00:00")};
    UniqueCoTaskMemArray<OPCHDA_MODIFIEDITEM> modified;
    UniqueCoTaskMemArray<HRESULT> modErrors;
    ASSERT_EQ(Reader()->ReadModified(&all, &later, 0, 1, h + 1, modified.Put(1), modErrors.Put(1)), S_OK);
    ASSERT_EQ(modified[0].dwCount, 1u);
    EXPECT_EQ(modified[0].pEditType[0], OPCHDA_INSERT);
    EXPECT_EQ(Text(modified[0].szUser[0]), L"simulation");

    UniqueCoTaskMem<HRESULT> deleted;
    EXPECT_EQ(update->DeleteAtTime(1, h + 1, t + 1, deleted.Put()), S_OK);
    UniqueCoTaskMem<HRESULT> deletedRaw;
    EXPECT_EQ(update->DeleteRaw(&all, &later, 1, h, deletedRaw.Put()), S_OK);
    EXPECT_EQ(sim_->Calls("InsertReplace").size(), 1u);
}

// What clients write and delete is kept beside the data file, replayed by the next server
// process, and forgotten by "opchda-sim --reset"; the data file itself never changes.
TEST_F(SimulationTest, WritesAndDeletionsOutliveTheServerProcessUntilReset) {
    Connect(kPlant);
    const std::string dataFileBefore = ReadFileBytes(sim_->DataFile());
    auto handles = Handles({L"Area1.Real", L"Area1.Text", L"Area1.Big", L"Area1.Vec", L"Area1.Sub.Deep", L"Area1.Many"});
    ComPtr<IOPCHDA_SyncUpdate> update;
    ASSERT_EQ(server_.As(&update), S_OK);
    const auto write = [&](OPCHANDLE handle, const char* time, UniqueVariant& value) {
        FILETIME t = At(time);
        DWORD quality = 0xC0;
        UniqueCoTaskMem<HRESULT> errors;
        return update->InsertReplace(1, &handle, &t, value.Get(), &quality, errors.Put());
    };
    UniqueVariant real, text, big, vec;
    V_VT(real.Get()) = VT_R4;
    V_R4(real.Get()) = 9.5f;
    V_VT(text.Get()) = VT_BSTR;
    V_BSTR(text.Get()) = SysAllocString(L"n\u00e9u \"quoted\"");
    V_VT(big.Get()) = VT_I8;
    V_I8(big.Get()) = 9007199254740995LL;
    SAFEARRAYBOUND bound{2, 1};
    V_VT(vec.Get()) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(vec.Get()) = SafeArrayCreate(VT_VARIANT, 1, &bound);
    UniqueVariant element;
    V_VT(element.Get()) = VT_R8;
    V_R8(element.Get()) = 4.5;
    LONG index = 1;
    SafeArrayPutElement(V_ARRAY(vec.Get()), &index, element.Get());
    EXPECT_EQ(write(handles[0], "2024-01-01 00:01:00", real), S_FALSE); // replaced
    EXPECT_EQ(write(handles[1], "2024-02-01 00:00:00", text), S_FALSE); // inserted
    EXPECT_EQ(write(handles[2], "2024-01-01 00:00:00", big), S_FALSE);
    EXPECT_EQ(write(handles[3], "2024-01-01 00:05:00", vec), S_FALSE);
    UniqueVariant integers; // a type the data file cannot give: kept as an array of variants
    SAFEARRAYBOUND two{2, 0};
    V_VT(integers.Get()) = VT_ARRAY | VT_I4;
    V_ARRAY(integers.Get()) = SafeArrayCreate(VT_I4, 1, &two);
    for (LONG i = 0; i < 2; ++i) {
        LONG number = 30 + i;
        SafeArrayPutElement(V_ARRAY(integers.Get()), &i, &number);
    }
    EXPECT_EQ(write(handles[3], "2024-01-01 00:06:00", integers), S_FALSE);
    FILETIME deep = At("2024-01-01 00:00:00");
    UniqueCoTaskMem<HRESULT> deleted;
    EXPECT_EQ(update->DeleteAtTime(1, &handles[4], &deep, deleted.Put()), S_OK);
    OPCHDA_TIME from{FALSE, nullptr, At("2024-01-01 00:00:10")};
    OPCHDA_TIME to{FALSE, nullptr, At("2024-01-01 00:00:20")};
    UniqueCoTaskMem<HRESULT> deletedRaw;
    EXPECT_EQ(update->DeleteRaw(&from, &to, 1, &handles[5], deletedRaw.Put()), S_OK);
    update.Reset();

    const auto readAll = [&](ReadResult& r) {
        Activate();
        handles = Handles({L"Area1.Real", L"Area1.Text", L"Area1.Big", L"Area1.Vec", L"Area1.Sub.Deep", L"Area1.Many"});
        OPCHDA_TIME start{FALSE, nullptr, At("2024-01-01 00:00:00")};
        OPCHDA_TIME end{FALSE, nullptr, At("2024-03-01 00:00:00")};
        r.count = 6;
        return Reader()->ReadRaw(&start, &end, 0, FALSE, 6, handles.data(), &r.items, &r.errors);
    };
    {
        ReadResult r;
        ASSERT_TRUE(SUCCEEDED(readAll(r)));
        ASSERT_EQ(r.items[0].dwCount, 3u);
        EXPECT_EQ(V_VT(&r.items[0].pvDataValues[1]), VT_R4);
        EXPECT_EQ(V_R4(&r.items[0].pvDataValues[1]), 9.5f);
        EXPECT_EQ(r.items[0].pdwQualities[1], 0xC0u);
        ASSERT_EQ(r.items[1].dwCount, 2u);
        EXPECT_EQ(std::wstring(V_BSTR(&r.items[1].pvDataValues[1])), L"n\u00e9u \"quoted\"");
        EXPECT_EQ(V_I8(&r.items[2].pvDataValues[0]), 9007199254740995LL) << "every digit survives";
        ASSERT_EQ(r.items[3].dwCount, 3u);
        const VARIANT& written = r.items[3].pvDataValues[1];
        ASSERT_EQ(V_VT(&written), VT_ARRAY | VT_VARIANT);
        LONG lower = 0, upper = 0;
        SafeArrayGetLBound(V_ARRAY(&written), 1, &lower);
        SafeArrayGetUBound(V_ARRAY(&written), 1, &upper);
        EXPECT_EQ(lower, 1);
        EXPECT_EQ(upper, 2);
        UniqueVariant first;
        SafeArrayGetElement(V_ARRAY(&written), &lower, first.Get());
        EXPECT_EQ(V_R8(first.Get()), 4.5);
        const VARIANT& numbers = r.items[3].pvDataValues[2];
        ASSERT_EQ(V_VT(&numbers), VT_ARRAY | VT_VARIANT);
        UniqueVariant second;
        LONG one = 1;
        SafeArrayGetElement(V_ARRAY(&numbers), &one, second.Get());
        EXPECT_EQ(V_VT(second.Get()), VT_R8);
        EXPECT_EQ(V_R8(second.Get()), 31.0);
        EXPECT_EQ(r.items[4].dwCount, 0u) << "the only value of Deep was deleted";
        ASSERT_GT(r.items[5].dwCount, 10u);
        EXPECT_EQ(CompareFileTime(&r.items[5].pftTimeStamps[10], &to.ftTime), 0) << "ten values of Many were deleted";
    }
    EXPECT_EQ(ReadFileBytes(sim_->DataFile()), dataFileBefore);
    EXPECT_TRUE(FileExists(sim_->WritesFile()));

    server_.Reset();
    EXPECT_EQ(SimulationServer::RunProgram("--reset"), 0u);
    EXPECT_FALSE(FileExists(sim_->WritesFile()));
    ReadResult r;
    ASSERT_TRUE(SUCCEEDED(readAll(r)));
    ASSERT_EQ(r.items[0].dwCount, 3u);
    EXPECT_EQ(V_VT(&r.items[0].pvDataValues[1]), VT_R8);
    EXPECT_EQ(V_R8(&r.items[0].pvDataValues[1]), 2.5) << "the data file's value is back";
    EXPECT_EQ(r.items[1].dwCount, 1u);
    EXPECT_EQ(r.items[4].dwCount, 1u);
    ASSERT_GT(r.items[5].dwCount, 10u);
    EXPECT_EQ(CompareFileTime(&r.items[5].pftTimeStamps[10], &from.ftTime), 0);
}

TEST_F(SimulationTest, AMissingInterfaceIsNotOffered) {
    Connect(R"({ "server": { "missingInterfaces": ["IOPCHDA_SyncUpdate"] } })");
    ComPtr<IOPCHDA_SyncUpdate> update;
    EXPECT_EQ(server_.As(&update), E_NOINTERFACE);
}

TEST_F(SimulationTest, ABadDataFileFailsTheActivationAndSaysWhereAndWhy) {
    sim_ = std::make_unique<SimulationServer>(R"({ "items": [ { "name": "x", "type": "VT_NOPE" } ] })");
    MULTI_QI request{&IID_IOPCHDA_Server, nullptr, S_OK};
    EXPECT_TRUE(FAILED(CoCreateInstanceEx(kSimulationServerClsid, nullptr, CLSCTX_LOCAL_SERVER, nullptr, 1, &request)));
    const auto lines = sim_->Calls("DataFileError");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(sim_->DataFile() + ": /items/0/type: unknown type \"VT_NOPE\""), std::string::npos) << lines[0];
}

// The same list through IOPCServerList2 and, from a component that lacks it, IOPCServerList.
TEST_F(SimulationTest, TheServerListShowsTheHdaServerAndTheDataAccessOne) {
    const auto key = platform::RegistryKey::Create(HKEY_CURRENT_USER, "Software\\Norvane\\OpcHdaSim", KEY_SET_VALUE);
    struct SwitchOff {
        HKEY key;
        ~SwitchOff() { RegDeleteValueA(key, "RefuseServerList2"); }
    } switchOff{key.Get()};
    for (const DWORD refuse : {0u, 1u}) {
        SCOPED_TRACE(refuse ? "IOPCServerList" : "IOPCServerList2");
        RegSetValueExA(key.Get(), "RefuseServerList2", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&refuse), sizeof refuse);
        const auto servers = EnumerateServers("", nullptr).servers;
        const OPCServerInfo* hda = nullptr;
        const OPCServerInfo* da = nullptr;
        for (const auto& s : servers) {
            if (s.address.ProgId() == "OpcHdaSim.Server.1") hda = &s;
            if (s.address.ProgId() == "OpcHdaSim.DataAccess.1") da = &s;
        }
        ASSERT_NE(hda, nullptr);
        ASSERT_NE(da, nullptr);
        EXPECT_EQ(hda->address.Specifications(), static_cast<std::uint32_t>(SpecHistoricalDataAccess10));
        EXPECT_EQ(hda->address.Description(), "OpcHDAKesti Simulation HDA Server");
        EXPECT_EQ(hda->address.ToString(), "opchda:///OpcHdaSim.Server/{4A5B6C7D-1E2F-4A3B-8C9D-0E1F2A3B4C5D}");
        EXPECT_EQ(da->address.Specifications(), static_cast<std::uint32_t>(SpecDataAccess20));
        EXPECT_EQ(da->address.Path(), "OpcHdaSim.DataAccess.1/{4A5B6C7D-1E2F-4A3B-8C9D-0E1F2A3B4C5E}");
    }
}

} // namespace
} // namespace kesti::test
