#pragma once
// A client of the out-of-process simulation server for tests: activation through the
// registry, handles, readers, and the memory that reads hand out.
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "common/SimulationServer.h"
#include "opchda.h"
#include "opchda/OpcHdaConstants.h"
#include "platform/ComMemory.h"

namespace kesti::test {

using platform::ComPtr;
using platform::UniqueCoTaskMem;

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
struct RelativeTime {
    OPCHDA_TIME time{};
    explicit RelativeTime(const wchar_t* text) {
        time.bString = TRUE;
        const std::size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
        time.szTime = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        memcpy(time.szTime, text, bytes);
    }
    ~RelativeTime() { CoTaskMemFree(time.szTime); }
    OPCHDA_TIME* operator&() { return &time; }
};

class SimulationTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    void TearDown() override {
        server_.Reset();
        CoUninitialize();
    }

    IOPCHDA_Server& Connect(const std::string& json) {
        sim_ = std::make_unique<SimulationServer>(json);
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

    std::unique_ptr<SimulationServer> sim_;
    ComPtr<IOPCHDA_Server> server_;
};

// Frees what ReadRaw handed out.
struct ReadResult {
    OPCHDA_ITEM* items = nullptr;
    HRESULT* errors = nullptr;
    DWORD count = 0;
    ~ReadResult() {
        for (DWORD i = 0; items != nullptr && i < count; ++i) {
            for (DWORD k = 0; k < items[i].dwCount; ++k) VariantClear(&items[i].pvDataValues[k]);
            CoTaskMemFree(items[i].pftTimeStamps);
            CoTaskMemFree(items[i].pdwQualities);
            CoTaskMemFree(items[i].pvDataValues);
        }
        CoTaskMemFree(items);
        CoTaskMemFree(errors);
    }
};


} // namespace kesti::test
