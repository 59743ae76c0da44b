#include "ChaosServer.h"

#include "ChaosBrowser.h"
#include "HostileValues.h"
#include "RawAnswer.h"

namespace kesti::chaos {

namespace {

// Frees what a hostile answer filled in before it decided to refuse after all, unless it
// chooses to hand over the filled arrays with its failure (a leak the client has to avoid).
template <class T>
void ClearUnlessLeaked(Chaos& chaos, Chaos::Call& call, T** block) {
    if (*block == nullptr) return;
    if (chaos.Hostile(0.2)) {
        call.Note("failure with the output arrays filled");
        return;
    }
    CoTaskMemFree(*block);
    *block = nullptr;
}

void FreeItems(OPCHDA_ITEM* items, DWORD count) {
    if (items == nullptr) return;
    for (DWORD i = 0; i < count; ++i) {
        CoTaskMemFree(items[i].pftTimeStamps);
        CoTaskMemFree(items[i].pdwQualities);
        if (items[i].pvDataValues != nullptr && items[i].dwCount != 0xFFFFFFFFu)
            for (DWORD v = 0; v < items[i].dwCount; ++v) VariantClear(&items[i].pvDataValues[v]);
        CoTaskMemFree(items[i].pvDataValues);
    }
    CoTaskMemFree(items);
}

} // namespace

ChaosServer::ChaosServer(std::shared_ptr<Chaos> chaos) : chaos_(std::move(chaos)) {}

HRESULT ChaosServer::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    const bool read = IsEqualIID(riid, IID_IOPCHDA_SyncRead), update = IsEqualIID(riid, IID_IOPCHDA_SyncUpdate);
    if (read || update) {
        Chaos::Call call(*chaos_, read ? "QueryInterface SyncRead" : "QueryInterface SyncUpdate");
        if (chaos_->Hostile(0.05)) return call.Result(E_NOINTERFACE);
        if (read) *object = static_cast<IOPCHDA_SyncRead*>(this);
        else *object = static_cast<IOPCHDA_SyncUpdate*>(this);
        AddRef();
        return call.Result(S_OK);
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCHDA_Server)) *object = static_cast<IOPCHDA_Server*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

HRESULT ChaosServer::GetItemAttributes(DWORD*, DWORD**, LPWSTR**, LPWSTR**, VARTYPE**) { return E_NOTIMPL; }
HRESULT ChaosServer::GetAggregates(DWORD*, DWORD**, LPWSTR**, LPWSTR**) { return E_NOTIMPL; }
HRESULT ChaosServer::ValidateItemIDs(DWORD, LPWSTR*, HRESULT**) { return E_NOTIMPL; }

HRESULT ChaosServer::GetHistorianStatus(OPCHDA_SERVERSTATUS* status, FILETIME** currentTime, FILETIME** startTime,
                                        WORD* major, WORD* minor, WORD* build, DWORD* maxReturnValues,
                                        LPWSTR* statusText, LPWSTR* vendorInfo) {
    Chaos::Call call(*chaos_, "GetHistorianStatus");
    if (status == nullptr || currentTime == nullptr || startTime == nullptr || major == nullptr || minor == nullptr ||
        build == nullptr || maxReturnValues == nullptr || statusText == nullptr || vendorInfo == nullptr)
        return call.Result(E_POINTER);
    *currentTime = *startTime = nullptr;
    *statusText = *vendorInfo = nullptr;
    *status = OPCHDA_UP;
    *major = 1;
    *minor = 20;
    *build = 1;
    *maxReturnValues = 2000;
    if (chaos_->Hostile(0.2)) return call.Result(RefusalCode(*chaos_));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    if (!chaos_->Hostile(0.2)) {
        *currentTime = tools::CoTaskArray<FILETIME>(1);
        **currentTime = now;
        *startTime = tools::CoTaskArray<FILETIME>(1);
        **startTime = Time(Ticks(now) - 3600 * kTicksPerSecond);
    } else {
        call.Note("NULL times");
    }
    if (chaos_->Hostile(0.3)) {
        const DWORD odd[] = {0, 1, 2, 0xFFFFFFFFu, 0x7FFFFFFFu, chaos_->Bits32()};
        *maxReturnValues = odd[chaos_->Between(0, 5)];
        call.Note("maximum " + std::to_string(*maxReturnValues));
    }
    if (chaos_->Hostile(0.2)) {
        *status = static_cast<OPCHDA_SERVERSTATUS>(chaos_->Between(0, 4));
        call.Note("status " + std::to_string(*status));
    }
    if (!chaos_->Hostile(0.2)) {
        *statusText = tools::CoTaskText(L"running");
        *vendorInfo = tools::CoTaskText(chaos_->Hostile(0.2) ? std::wstring(100000, L'\x07') : L"Norvane chaos");
    } else {
        call.Note("NULL texts");
    }
    return call.Result(S_OK);
}

HRESULT ChaosServer::HandleResults(Chaos::Call& call, DWORD count, HRESULT** errors) {
    *errors = tools::CoTaskArray<HRESULT>(count);
    for (DWORD i = 0; i < count; ++i) (*errors)[i] = S_OK;
    if (!chaos_->Hostile(0.4)) return S_OK;
    switch (chaos_->Between(0, 4)) {
    case 0:
        CoTaskMemFree(*errors);
        *errors = nullptr;
        call.Note("S_OK with no error array");
        return S_OK;
    case 1:
        CoTaskMemFree(*errors);
        *errors = nullptr;
        call.Note("S_FALSE with no error array");
        return S_FALSE;
    case 2:
        for (DWORD i = 0; i < count; ++i) (*errors)[i] = ItemCode(*chaos_);
        call.Note("random codes under S_OK");
        return S_OK;
    case 3:
        call.Note("S_FALSE with every item S_OK");
        return S_FALSE;
    default: {
        const HRESULT code = SuccessCode(*chaos_);
        for (DWORD i = 0; i < count; ++i) (*errors)[i] = ItemCode(*chaos_);
        call.Note("random codes under " + Hex(static_cast<uint32_t>(code)));
        return code;
    }
    }
}

HRESULT ChaosServer::GetItemHandles(DWORD count, LPWSTR* itemIds, OPCHANDLE* clientHandles, OPCHANDLE** serverHandles,
                                    HRESULT** errors) {
    Chaos::Call call(*chaos_, "GetItemHandles");
    call.Note(std::to_string(count) + " items" +
              (count > 0 && itemIds != nullptr && itemIds[0] != nullptr ? ", first \"" + Narrow(itemIds[0]) + "\"" : ""));
    (void)clientHandles;
    if (serverHandles == nullptr || errors == nullptr) return call.Result(E_POINTER);
    *serverHandles = nullptr;
    *errors = nullptr;
    if (count == 0 || itemIds == nullptr) return call.Result(E_INVALIDARG);
    *serverHandles = tools::CoTaskArray<OPCHANDLE>(count);
    for (DWORD i = 0; i < count; ++i) (*serverHandles)[i] = nextHandle_++;
    if (chaos_->Hostile(0.1)) {
        const HRESULT refusal = RefusalCode(*chaos_);
        ClearUnlessLeaked(*chaos_, call, serverHandles);
        return call.Result(refusal);
    }
    if (chaos_->Hostile(0.3)) {
        switch (chaos_->Between(0, 3)) {
        case 0:
            for (DWORD i = 0; i < count; ++i) (*serverHandles)[i] = 0;
            call.Note("zero handles");
            break;
        case 1:
            for (DWORD i = 0; i < count; ++i) (*serverHandles)[i] = 7;
            call.Note("one handle for all");
            break;
        case 2:
            for (DWORD i = 0; i < count; ++i) (*serverHandles)[i] = chaos_->Bits32();
            call.Note("random handles");
            break;
        default:
            CoTaskMemFree(*serverHandles);
            *serverHandles = nullptr;
            call.Note("NULL handle array");
        }
    }
    return call.Result(HandleResults(call, count, errors));
}

HRESULT ChaosServer::ReleaseItemHandles(DWORD count, OPCHANDLE* serverHandles, HRESULT** errors) {
    Chaos::Call call(*chaos_, "ReleaseItemHandles");
    call.Note(std::to_string(count) + " items");
    if (errors == nullptr) return call.Result(E_POINTER);
    *errors = nullptr;
    if (count == 0 || serverHandles == nullptr) return call.Result(E_INVALIDARG);
    if (chaos_->Hostile(0.1)) return call.Result(RefusalCode(*chaos_));
    return call.Result(HandleResults(call, count, errors));
}

HRESULT ChaosServer::CreateBrowse(DWORD count, DWORD* attributeIds, OPCHDA_OPERATORCODES* operators, VARIANT* filters,
                                  IOPCHDA_Browser** browser, HRESULT** errors) {
    Chaos::Call call(*chaos_, "CreateBrowse");
    (void)attributeIds;
    (void)operators;
    (void)filters;
    if (browser == nullptr || errors == nullptr) return call.Result(E_POINTER);
    *browser = nullptr;
    *errors = count > 0 ? tools::CoTaskArray<HRESULT>(count) : nullptr;
    if (chaos_->Hostile(0.1)) {
        CoTaskMemFree(*errors);
        *errors = nullptr;
        return call.Result(RefusalCode(*chaos_));
    }
    if (chaos_->Hostile(0.1)) {
        call.Note("NULL browser");
        return call.Result(chaos_->Chance(0.5) ? S_OK : S_FALSE);
    }
    *browser = new ChaosBrowser(chaos_);
    return call.Result(S_OK);
}

HRESULT ChaosServer::ReadRaw(OPCHDA_TIME* start, OPCHDA_TIME* end, DWORD numValues, BOOL bounds, DWORD numItems,
                             OPCHANDLE* serverHandles, OPCHDA_ITEM** items, HRESULT** errors) {
    Chaos::Call call(*chaos_, "ReadRaw");
    if (start == nullptr || end == nullptr || items == nullptr || errors == nullptr) return call.Result(E_POINTER);
    *items = nullptr;
    *errors = nullptr;
    RawRequest request;
    request.startGiven = TimeOf(*start, request.start);
    request.endGiven = TimeOf(*end, request.end);
    request.numValues = numValues;
    request.bounds = bounds != FALSE;
    call.Note((request.startGiven ? std::to_string(request.start) : std::string("-")) + " to " +
              (request.endGiven ? std::to_string(request.end) : std::string("-")) + ", " + std::to_string(numValues) +
              " values, bounds " + std::to_string(bounds) + ", " + std::to_string(numItems) + " items");
    if (numItems == 0 || serverHandles == nullptr) return call.Result(E_INVALIDARG);
    if (!request.startGiven && !request.endGiven) return call.Result(E_INVALIDARG);
    if (chaos_->Hostile(0.1)) return call.Result(RefusalCode(*chaos_));
    if (chaos_->Hostile(0.05)) {
        const int which = chaos_->Between(1, 3);
        call.Note(std::string("S_OK with NULL") + (which & 1 ? " items" : "") + (which & 2 ? " errors" : ""));
        if (!(which & 2)) {
            *errors = tools::CoTaskArray<HRESULT>(numItems);
        }
        if (!(which & 1)) {
            *items = tools::CoTaskArray<OPCHDA_ITEM>(numItems);
        }
        return call.Result(S_OK);
    }
    if (start->bString) start->ftTime = Time(request.start);
    if (end->bString) end->ftTime = Time(request.end);
    *items = tools::CoTaskArray<OPCHDA_ITEM>(numItems);
    *errors = tools::CoTaskArray<HRESULT>(numItems);
    bool allOk = true;
    for (DWORD i = 0; i < numItems; ++i) {
        (*errors)[i] = FillRawItem(*chaos_, call, request, serverHandles[i], (*items)[i]);
        allOk = allOk && (*errors)[i] == S_OK;
    }
    if (chaos_->Hostile(0.1)) {
        std::string what;
        OPCHDA_TIME& side = chaos_->Chance(0.5) ? *start : *end;
        side.ftTime = Time(WildTicks(*chaos_, what));
        call.Note("wrote back a time of " + what);
    }
    if (chaos_->Hostile(0.05)) {
        const HRESULT refusal = RefusalCode(*chaos_);
        if (chaos_->Hostile(0.5)) {
            call.Note("failure with the answer filled");
        } else {
            FreeItems(*items, numItems);
            *items = nullptr;
            CoTaskMemFree(*errors);
            *errors = nullptr;
        }
        return call.Result(refusal);
    }
    if (chaos_->Hostile(0.1)) {
        const HRESULT code = SuccessCode(*chaos_);
        call.Note("answers " + Hex(static_cast<uint32_t>(code)) + " whatever the items say");
        return call.Result(code);
    }
    return call.Result(allOk ? S_OK : S_FALSE);
}

HRESULT ChaosServer::ReadProcessed(OPCHDA_TIME*, OPCHDA_TIME*, FILETIME, DWORD, OPCHANDLE*, DWORD*, OPCHDA_ITEM**,
                                   HRESULT**) {
    return E_NOTIMPL;
}
HRESULT ChaosServer::ReadAtTime(DWORD, FILETIME*, DWORD, OPCHANDLE*, OPCHDA_ITEM**, HRESULT**) { return E_NOTIMPL; }
HRESULT ChaosServer::ReadModified(OPCHDA_TIME*, OPCHDA_TIME*, DWORD, DWORD, OPCHANDLE*, OPCHDA_MODIFIEDITEM**,
                                  HRESULT**) {
    return E_NOTIMPL;
}
HRESULT ChaosServer::ReadAttribute(OPCHDA_TIME*, OPCHDA_TIME*, OPCHANDLE, DWORD, DWORD*, OPCHDA_ATTRIBUTE**, HRESULT**) {
    return E_NOTIMPL;
}

HRESULT ChaosServer::QueryCapabilities(OPCHDA_UPDATECAPABILITIES* capabilities) {
    Chaos::Call call(*chaos_, "QueryCapabilities");
    if (capabilities == nullptr) return call.Result(E_POINTER);
    *capabilities = OPCHDA_INSERTREPLACECAP;
    if (chaos_->Hostile(0.2)) return call.Result(RefusalCode(*chaos_));
    if (chaos_->Hostile(0.3)) {
        *capabilities = static_cast<OPCHDA_UPDATECAPABILITIES>(chaos_->Bits32());
        call.Note("capabilities " + Hex(static_cast<uint32_t>(*capabilities)));
    }
    return call.Result(S_OK);
}

HRESULT ChaosServer::Insert(DWORD, OPCHANDLE*, FILETIME*, VARIANT*, DWORD*, HRESULT**) { return E_NOTIMPL; }
HRESULT ChaosServer::Replace(DWORD, OPCHANDLE*, FILETIME*, VARIANT*, DWORD*, HRESULT**) { return E_NOTIMPL; }

HRESULT ChaosServer::InsertReplace(DWORD numItems, OPCHANDLE* serverHandles, FILETIME* times, VARIANT* values,
                                   DWORD* qualities, HRESULT** errors) {
    Chaos::Call call(*chaos_, "InsertReplace");
    call.Note(std::to_string(numItems) + " values");
    if (errors == nullptr) return call.Result(E_POINTER);
    *errors = nullptr;
    if (numItems == 0 || serverHandles == nullptr || times == nullptr || values == nullptr || qualities == nullptr)
        return call.Result(E_INVALIDARG);
    if (chaos_->Hostile(0.15)) return call.Result(RefusalCode(*chaos_));
    const HRESULT result = HandleResults(call, numItems, errors);
    if (result == S_OK && *errors != nullptr && chaos_->Chance(0.3)) {
        for (DWORD i = 0; i < numItems; ++i) (*errors)[i] = chaos_->Chance(0.5) ? 0x4004100E : 0x4004100F;
        return call.Result(S_FALSE); // inserted or replaced: what a careful server says
    }
    return call.Result(result);
}

HRESULT ChaosServer::DeleteRaw(OPCHDA_TIME*, OPCHDA_TIME*, DWORD, OPCHANDLE*, HRESULT**) { return E_NOTIMPL; }
HRESULT ChaosServer::DeleteAtTime(DWORD, OPCHANDLE*, FILETIME*, HRESULT**) { return E_NOTIMPL; }

} // namespace kesti::chaos
