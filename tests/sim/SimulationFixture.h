#pragma once
// A client of the out-of-process simulation server for tests: activation through the
// registry, handles, readers, and the memory that reads hand out.
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "common/SimulationServer.h"
#include "opchda.h"
#include "opchda/OpcHdaConstants.h"
#include "platform/ComApartment.h"
#include "platform/ComMemory.h"
#include "platform/OpcHdaMemory.h"
#include "platform/ComPtr.h"

namespace kesti::test {

using platform::ComPtr;
using platform::TaskMemStringBatch;
using platform::UniqueCoTaskMem;
using platform::UniqueCoTaskMemArray;
using platform::UniqueCoTaskMemString;
using platform::UniqueVariant;

using namespace opc;



inline FILETIME At(const char* text) {
    SYSTEMTIME st{};
    std::sscanf(text, "%hu-%hu-%hu %hu:%hu:%hu", &st.wYear, &st.wMonth, &st.wDay, &st.wHour, &st.wMinute, &st.wSecond);
    FILETIME ft{};
    SystemTimeToFileTime(&st, &ft);
    return ft;
}

inline std::wstring Text(const wchar_t* text) { return text != nullptr ? text : L"(null)"; }

// A relative time as a caller hands it over: the text in task memory, which the [in, out]
// marshaling may free or replace.
struct RelativeTime : platform::RequestTime {
    explicit RelativeTime(const wchar_t* text) { SetText(text); }
    OPCHDA_TIME* operator&() { return Get(); }
};

class SimulationTest : public ::testing::Test {
protected:
    void SetUp() override { apartment_.emplace(COINIT_MULTITHREADED); }
    void TearDown() override {
        server_.Reset();
        apartment_.reset();
    }

    IOPCHDA_Server& Connect(const std::string& json) {
        sim_ = std::make_unique<SimulationServer>(json);
        return Activate();
    }
    // A new server process over the same data file.
    IOPCHDA_Server& Activate() {
        server_.Reset();
        MULTI_QI request{&IID_IOPCHDA_Server, nullptr, S_OK};
        EXPECT_EQ(CoCreateInstanceEx(kSimulationServerClsid, nullptr, CLSCTX_LOCAL_SERVER, nullptr, 1, &request), S_OK);
        server_.Attach(static_cast<IOPCHDA_Server*>(request.pItf));
        if (!server_) throw std::runtime_error("no server");
        return *server_.Get();
    }

    std::vector<OPCHANDLE> Handles(const std::vector<const wchar_t*>& ids) {
        std::vector<OPCHANDLE> clients(ids.size());
        for (std::size_t i = 0; i < ids.size(); ++i) clients[i] = static_cast<OPCHANDLE>(100 + i);
        UniqueCoTaskMem<OPCHANDLE> handles;
        UniqueCoTaskMem<HRESULT> errors;
        server_->GetItemHandles(static_cast<DWORD>(ids.size()), const_cast<LPWSTR*>(ids.data()), clients.data(),
                                handles.Put(), errors.Put());
        return std::vector<OPCHANDLE>(handles.Get(), handles.Get() + ids.size());
    }

    ComPtr<IOPCHDA_SyncRead> Reader() {
        ComPtr<IOPCHDA_SyncRead> reader;
        EXPECT_EQ(server_.As(&reader), S_OK);
        return reader;
    }

    std::optional<platform::ComApartment> apartment_;
    std::unique_ptr<SimulationServer> sim_;
    ComPtr<IOPCHDA_Server> server_;
};

// What ReadRaw and ReadProcessed hand out, given to its owners when the test is done.
struct ReadResult {
    OPCHDA_ITEM* items = nullptr;
    HRESULT* errors = nullptr;
    DWORD count = 0;
    ~ReadResult() {
        const platform::UniqueCoTaskMemArray<OPCHDA_ITEM> ownedItems(items, count);
        const platform::UniqueCoTaskMem<HRESULT> ownedErrors(errors);
    }
};


} // namespace kesti::test
