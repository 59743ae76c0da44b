#include "HistorianServer.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <sstream>

#include "SimBrowser.h"
#include "SimText.h"
#include "opchda/OpcHdaConstants.h"
#include "platform/ComMemory.h"

namespace kesti::sim {
namespace {

using namespace opc;

// Item attributes of the standard that the simulation knows.
constexpr DWORD kAttrDataType = 0x01;
constexpr DWORD kAttrDescription = 0x02;
constexpr DWORD kAttrItemId = 0x0D;

FILETIME ToFileTime(Ticks t) { return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(static_cast<std::uint64_t>(t) >> 32)}; }
Ticks ToTicks(const FILETIME& ft) { return static_cast<Ticks>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime); }

// An item's history as reads see it: its stored samples, or its generated series computed
// value by value.
class SeriesView {
public:
    explicit SeriesView(const Item& item) : item_(item) {}

    std::size_t Size() const { return item_.generated ? item_.generated->count : item_.history.size(); }
    Ticks TimeAt(std::size_t i) const {
        return item_.generated ? item_.generated->first + static_cast<Ticks>(i) * item_.generated->step : item_.history[i].time;
    }
    DWORD QualityAt(std::size_t i) const { return item_.generated ? 0xC0 | kRaw : item_.history[i].quality; }
    void ValueInto(std::size_t i, VARIANT& out) const {
        if (item_.generated) item_.generated->ValueInto(i, out);
        else VariantCopy(&out, const_cast<VARIANT*>(item_.history[i].value.Get()));
    }
    // The first value at or after t, and the first after t.
    std::size_t LowerBound(Ticks t) const { return Bound(t, false); }
    std::size_t UpperBound(Ticks t) const { return Bound(t, true); }

private:
    std::size_t Bound(Ticks t, bool after) const {
        if (item_.generated) {
            const GeneratedSeries& g = *item_.generated;
            if (t < g.first || (!after && t == g.first)) return 0;
            const Ticks since = t - g.first;
            const Ticks k = after ? since / g.step + 1 : (since + g.step - 1) / g.step;
            return static_cast<std::size_t>(std::min<Ticks>(k, static_cast<Ticks>(g.count)));
        }
        const auto& h = item_.history;
        const auto earlier = [after](Ticks time, Ticks v) { return after ? time <= v : time < v; };
        return static_cast<std::size_t>(
            std::lower_bound(h.begin(), h.end(), t, [&](const Sample& s, Ticks v) { return earlier(s.time, v); }) - h.begin());
    }

    const Item& item_;
};

constexpr std::size_t kPlaceholder = static_cast<std::size_t>(-1);

// One value to hand out: value `index` of the history, or a placeholder without a value.
struct Output {
    Ticks time;
    DWORD quality;
    std::size_t index;
};

// Index of the first sample at or after t.
std::size_t LowerBound(const std::vector<Sample>& h, Ticks t) {
    return static_cast<std::size_t>(std::lower_bound(h.begin(), h.end(), t, [](const Sample& s, Ticks v) { return s.time < v; }) - h.begin());
}

struct RawRequest {
    bool startGiven, endGiven;
    Ticks start, end;
    DWORD numValues;
    bool bounds;
    DWORD maxValues; // 0: no limit of the server
};

// The values of one item for a raw read, in the order they are returned, and whether more
// were left out. Forward reads give [start, end), backward ones (start after end) (end,
// start] newest first; a read of one instant gives the values at it. Only the values
// returned are visited, so a read costs what it returns, not what the history holds.
class RawSelection {
public:
    RawSelection(const SeriesView& h, const RawRequest& r)
        : h_(h), limit_(r.numValues > 0 ? r.numValues : (r.maxValues > 0 ? r.maxValues : SIZE_MAX)) {}

    std::vector<Output> Select(const RawRequest& r) {
        if (r.startGiven && r.endGiven) {
            if (r.start <= r.end) Forward(r.start, r.end, r.bounds);
            else Backward(r.start, r.end, r.bounds);
        } else if (r.startGiven) { // forward from the start
            Forward(r.start, std::numeric_limits<Ticks>::max(), r.bounds);
        } else { // backward from the end, the end included
            const std::size_t j = h_.UpperBound(r.end);
            if (r.bounds && !(j > 0 && h_.TimeAt(j - 1) == r.end)) PushAfter(j, r.end);
            for (std::size_t k = j; k > 0 && Push(k - 1);) --k;
        }
        return std::move(out_);
    }
    bool More() const { return more_; }

private:
    void Forward(Ticks lo, Ticks hi, bool bounds) {
        std::size_t i = h_.LowerBound(lo);
        if (bounds && !(i < h_.Size() && h_.TimeAt(i) == lo)) { // the values at the start are its bound
            if (i > 0 ? !Push(i - 1) : !Push(Output{lo, kNoBound, kPlaceholder})) return;
        }
        const std::size_t end = lo == hi ? h_.UpperBound(lo) : h_.LowerBound(hi);
        for (; i < end; ++i)
            if (!Push(i)) return;
        if (bounds && lo != hi && hi != std::numeric_limits<Ticks>::max()) PushAfter(end, hi);
    }
    void Backward(Ticks hi, Ticks lo, bool bounds) {
        const std::size_t j = h_.UpperBound(hi);
        if (bounds && !(j > 0 && h_.TimeAt(j - 1) == hi) && !PushAfter(j, hi)) return;
        const std::size_t stop = h_.UpperBound(lo);
        for (std::size_t k = j; k > stop; --k)
            if (!Push(k - 1)) return;
        if (bounds) {
            if (stop > 0) Push(stop - 1);
            else Push(Output{lo, kNoBound, kPlaceholder});
        }
    }
    // The value at index k as the bound after `at`, or a placeholder when there is none.
    bool PushAfter(std::size_t k, Ticks at) { return k < h_.Size() ? Push(k) : Push(Output{at, kNoBound, kPlaceholder}); }
    bool Push(std::size_t k) { return Push(Output{h_.TimeAt(k), h_.QualityAt(k), k}); }
    bool Push(const Output& o) {
        if (out_.size() >= limit_) {
            more_ = true;
            return false;
        }
        out_.push_back(o);
        return true;
    }

    const SeriesView& h_;
    std::size_t limit_;
    std::vector<Output> out_;
    bool more_ = false;
};

// The value held at `at` (the last one at or before it), stamped with `stamp`.
Output HeldAt(const SeriesView& h, Ticks at, Ticks stamp) {
    const std::size_t k = h.UpperBound(at);
    if (k == 0) return Output{stamp, kNoData, kPlaceholder};
    return Output{stamp, h.QualityAt(k - 1), k - 1};
}

bool HasRealValue(const std::vector<Output>& values) {
    return std::any_of(values.begin(), values.end(), [](const Output& o) { return o.index != kPlaceholder; });
}

void Fill(OPCHDA_ITEM& item, const std::vector<Output>& values, const SeriesView& h) {
    item.dwCount = static_cast<DWORD>(values.size());
    item.pftTimeStamps = tools::CoTaskArray<FILETIME>(values.size());
    item.pdwQualities = tools::CoTaskArray<DWORD>(values.size());
    item.pvDataValues = tools::CoTaskArray<VARIANT>(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        item.pftTimeStamps[i] = ToFileTime(values[i].time);
        item.pdwQualities[i] = values[i].quality;
        VariantInit(&item.pvDataValues[i]);
        if (values[i].index != kPlaceholder) h.ValueInto(values[i].index, item.pvDataValues[i]);
    }
}

// A careless server's answer: one of the item's arrays NULL while its count stays.
void DropArray(OPCHDA_ITEM& item, const std::string& which) {
    if (which == "times") platform::UniqueCoTaskMem<FILETIME> dropped(std::exchange(item.pftTimeStamps, nullptr));
    if (which == "qualities") platform::UniqueCoTaskMem<DWORD> dropped(std::exchange(item.pdwQualities, nullptr));
    if (which == "values") {
        platform::UniqueCoTaskMemArray<VARIANT> dropped(std::exchange(item.pvDataValues, nullptr), item.dwCount);
    }
}

std::string TimeText(const OPCHDA_TIME* t) {
    if (t == nullptr) return "null";
    std::ostringstream text;
    text << "{bString=" << t->bString << ",szTime=" << (t->szTime ? Utf8(t->szTime) : std::string("null"))
         << ",ft=" << ToTicks(t->ftTime) << "}";
    return text.str();
}

template <class T>
std::string ListText(const T* values, DWORD n) {
    std::ostringstream text;
    text << "[";
    for (DWORD i = 0; i < n; ++i) text << (i ? "," : "") << values[i];
    text << "]";
    return text.str();
}

std::string VariantText(const VARIANT& v) {
    platform::UniqueVariant text;
    std::string shown = "vt" + std::to_string(V_VT(&v));
    if (SUCCEEDED(VariantChangeTypeEx(text.Get(), const_cast<VARIANT*>(&v), LOCALE_INVARIANT, 0, VT_BSTR)))
        shown += ":" + Utf8(V_BSTR(text.Get()));
    return shown;
}

} // namespace

template <class PerItem>
void HistorianServer::ForEachKnownItem(DWORD count, const OPCHANDLE* handles, HRESULT* results, PerItem perItem) {
    for (DWORD i = 0; i < count; ++i) {
        Item* item = ItemOf(handles[i]);
        results[i] = item == nullptr ? kInvalidHandle : perItem(*item, i);
    }
}

template <class Out, class PerItem>
void HistorianServer::ForEachItem(DWORD count, const OPCHANDLE* handles, Out* out, HRESULT* results, PerItem perItem) {
    ForEachKnownItem(count, handles, results, [&](Item& item, DWORD i) {
        const auto client = clientOfHandle_.find(handles[i]);
        out[i].hClient = client != clientOfHandle_.end() ? client->second : 0;
        return perItem(item, out[i], i);
    });
}

HistorianServer::HistorianServer(std::shared_ptr<SimData> data, std::shared_ptr<const Journal> journal, Journal writes)
    : data_(std::move(data)), journal_(std::move(journal)), writes_(std::move(writes)) {
    if (data_->options.hostileSeed) hostile_.emplace(*data_->options.hostileSeed);
}

void HistorianServer::KeepRecords(const std::vector<std::string>& records) const {
    if (records.empty()) return;
    std::string joined;
    for (const std::string& record : records) joined += (joined.empty() ? "" : "\r\n") + record;
    writes_.Write(joined);
}

HRESULT HistorianServer::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    const auto& missing = data_->options.missingInterfaces;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOPCHDA_Server))
        *object = static_cast<IOPCHDA_Server*>(this);
    else if (IsEqualIID(riid, IID_IOPCHDA_SyncRead) && !missing.count("IOPCHDA_SyncRead"))
        *object = static_cast<IOPCHDA_SyncRead*>(this);
    else if (IsEqualIID(riid, IID_IOPCHDA_SyncUpdate) && !missing.count("IOPCHDA_SyncUpdate"))
        *object = static_cast<IOPCHDA_SyncUpdate*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

Item* HistorianServer::ItemOf(OPCHANDLE handle) {
    if (handle == 0 || handle > data_->items.size()) return nullptr;
    return &data_->items[handle - 1];
}

HRESULT HistorianServer::Finish(const char* call, HRESULT* errorArray, DWORD count, HRESULT** errors) const {
    const bool anyError = std::any_of(errorArray, errorArray + count, [](HRESULT e) { return e != S_OK; });
    if (anyError && data_->options.sFalseWithoutErrors.count(call)) {
        platform::UniqueCoTaskMem<HRESULT> dropped(errorArray); // the client is told nothing per item
        *errors = nullptr;
        return S_FALSE;
    }
    *errors = errorArray;
    return anyError ? S_FALSE : S_OK;
}

HRESULT HistorianServer::HostileRefusal() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!hostile_) return S_OK;
    hostile_->Delay();
    return hostile_->RefusedCall();
}

const CallFault* HistorianServer::FaultOfThisCall(const std::string& call) {
    std::lock_guard<std::mutex> guard(lock_);
    const unsigned number = ++callCounts_[call];
    const auto fault = data_->options.faultOnCall.find(call);
    return fault != data_->options.faultOnCall.end() && fault->second.call == number ? &fault->second : nullptr;
}

HRESULT HistorianServer::ResolveTime(OPCHDA_TIME* time, bool& given, Ticks& ticks) const {
    given = false;
    if (time == nullptr) return E_INVALIDARG;
    if (!time->bString) {
        given = true;
        ticks = ToTicks(time->ftTime);
        return S_OK;
    }
    const std::wstring text = time->szTime != nullptr ? time->szTime : L"";
    if (text.find_first_not_of(L" \t") == std::wstring::npos) return S_OK; // unspecified
    const auto parsed = ParseTimeText(Utf8(text), NowTicks());
    if (!parsed) return E_INVALIDARG;
    given = true;
    ticks = *parsed;
    time->ftTime = ToFileTime(ticks);
    return S_OK;
}

HRESULT HistorianServer::GetItemAttributes(DWORD* count, DWORD** ids, LPWSTR** names, LPWSTR** descriptions,
                                           VARTYPE** types) {
    journal_->Write("GetItemAttributes");
    static const struct {
        DWORD id;
        const wchar_t* name;
        const wchar_t* description;
        VARTYPE type;
    } kAttributes[] = {{kAttrDataType, L"Data Type", L"The type of the item's values", VT_I2},
                       {kAttrDescription, L"Description", L"What the item is", VT_BSTR},
                       {kAttrItemId, L"ItemID", L"The item's id", VT_BSTR}};
    const DWORD n = static_cast<DWORD>(std::size(kAttributes));
    *count = n;
    *ids = tools::CoTaskArray<DWORD>(n);
    *names = tools::CoTaskArray<LPWSTR>(n);
    *descriptions = tools::CoTaskArray<LPWSTR>(n);
    *types = tools::CoTaskArray<VARTYPE>(n);
    for (DWORD i = 0; i < n; ++i) {
        (*ids)[i] = kAttributes[i].id;
        (*names)[i] = tools::CoTaskText(kAttributes[i].name);
        (*descriptions)[i] = tools::CoTaskText(kAttributes[i].description);
        (*types)[i] = kAttributes[i].type;
    }
    return S_OK;
}

HRESULT HistorianServer::GetAggregates(DWORD* count, DWORD** ids, LPWSTR** names, LPWSTR** descriptions) {
    journal_->Write("GetAggregates");
    *count = 2;
    *ids = tools::CoTaskArray<DWORD>(2);
    *names = tools::CoTaskArray<LPWSTR>(2);
    *descriptions = tools::CoTaskArray<LPWSTR>(2);
    (*ids)[0] = OPCHDA_START;
    (*names)[0] = tools::CoTaskText(L"Start");
    (*descriptions)[0] = tools::CoTaskText(L"The value at the start of the interval");
    (*ids)[1] = OPCHDA_END;
    (*names)[1] = tools::CoTaskText(L"End");
    (*descriptions)[1] = tools::CoTaskText(L"The value at the end of the interval");
    return S_OK;
}

HRESULT HistorianServer::GetHistorianStatus(OPCHDA_SERVERSTATUS* status, FILETIME** currentTime, FILETIME** startTime,
                                            WORD* major, WORD* minor, WORD* build, DWORD* maxReturnValues,
                                            LPWSTR* statusText, LPWSTR* vendorInfo) {
    journal_->Write("GetHistorianStatus");
    HostileAnswers::StatusSpoil spoil = HostileAnswers::StatusSpoil::None;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (hostile_) spoil = hostile_->SpoilStatus();
    }
    if (spoil == HostileAnswers::StatusSpoil::Refuse) {
        *currentTime = *startTime = nullptr;
        *statusText = *vendorInfo = nullptr;
        return E_FAIL;
    }
    *status = OPCHDA_UP;
    *currentTime = tools::CoTaskArray<FILETIME>(1);
    **currentTime = ToFileTime(NowTicks());
    *startTime = tools::CoTaskArray<FILETIME>(1);
    **startTime = ToFileTime(data_->loadedAt);
    *major = 1;
    *minor = 20;
    *build = 1;
    // A hostile server may keep a maximum it does not tell.
    *maxReturnValues = spoil == HostileAnswers::StatusSpoil::HideMaximum ? 0 : data_->options.maxValuesPerCall;
    *statusText = tools::CoTaskText(L"Running");
    *vendorInfo = tools::CoTaskText(data_->options.vendorInfo);
    return S_OK;
}

HRESULT HistorianServer::GetItemHandles(DWORD count, LPWSTR* itemIds, OPCHANDLE* clientHandles,
                                        OPCHANDLE** serverHandles, HRESULT** errors) {
    std::ostringstream line;
    line << "GetItemHandles count=" << count << " ids=[";
    for (DWORD i = 0; i < count; ++i) line << (i ? "," : "") << Utf8(itemIds[i] ? itemIds[i] : L"");
    line << "] clients=" << ListText(clientHandles, count);
    journal_->Write(line.str());
    *serverHandles = nullptr;
    *errors = nullptr;
    if (const HRESULT failure = InjectedFailure(data_->options, "GetItemHandles"); FAILED(failure)) return failure;
    std::lock_guard<std::mutex> guard(lock_);
    auto* handles = tools::CoTaskArray<OPCHANDLE>(count);
    auto* results = tools::CoTaskArray<HRESULT>(count);
    for (DWORD i = 0; i < count; ++i) {
        const auto found = data_->itemById.find(itemIds[i] ? itemIds[i] : L"");
        if (found == data_->itemById.end()) {
            results[i] = kUnknownItemId;
            continue;
        }
        const Item& item = data_->items[found->second];
        if (FAILED(item.handleError)) {
            results[i] = item.handleError;
            handles[i] = item.handleValue;
            continue;
        }
        // A handle of its own, or the one the data file gives it (which may be another item's).
        handles[i] = item.handleValue != 0 ? item.handleValue : static_cast<OPCHANDLE>(found->second + 1);
        clientOfHandle_[handles[i]] = clientHandles[i];
    }
    if (hostile_) hostile_->SpoilHandles(handles, count);
    *serverHandles = handles;
    return Finish("GetItemHandles", results, count, errors);
}

HRESULT HistorianServer::ReleaseItemHandles(DWORD count, OPCHANDLE* serverHandles, HRESULT** errors) {
    journal_->Write("ReleaseItemHandles count=" + std::to_string(count) + " handles=" + ListText(serverHandles, count));
    *errors = nullptr;
    if (const HRESULT failure = InjectedFailure(data_->options, "ReleaseItemHandles"); FAILED(failure)) return failure;
    std::lock_guard<std::mutex> guard(lock_);
    auto* results = tools::CoTaskArray<HRESULT>(count);
    for (DWORD i = 0; i < count; ++i) {
        const Item* item = ItemOf(serverHandles[i]);
        results[i] = item == nullptr ? kInvalidHandle : item->releaseError;
        if (item != nullptr && SUCCEEDED(results[i])) clientOfHandle_.erase(serverHandles[i]);
    }
    return Finish("ReleaseItemHandles", results, count, errors);
}

HRESULT HistorianServer::ValidateItemIDs(DWORD count, LPWSTR* itemIds, HRESULT** errors) {
    journal_->Write("ValidateItemIDs count=" + std::to_string(count));
    auto* results = tools::CoTaskArray<HRESULT>(count);
    for (DWORD i = 0; i < count; ++i)
        results[i] = data_->itemById.count(itemIds[i] ? itemIds[i] : L"") ? S_OK : kUnknownItemId;
    return Finish("ValidateItemIDs", results, count, errors);
}

HRESULT HistorianServer::CreateBrowse(DWORD count, DWORD* attributeIds, OPCHDA_OPERATORCODES* operators,
                                      VARIANT* filters, IOPCHDA_Browser** browser, HRESULT** errors) {
    std::ostringstream line;
    line << "CreateBrowse count=" << count << " attributes=" << ListText(attributeIds, count) << " operators=[";
    for (DWORD i = 0; i < count; ++i) line << (i ? "," : "") << operators[i];
    line << "] filters=[";
    for (DWORD i = 0; i < count; ++i) line << (i ? "," : "") << VariantText(filters[i]);
    line << "]";
    journal_->Write(line.str());
    *browser = nullptr;
    *errors = tools::CoTaskArray<HRESULT>(count);
    if (const HRESULT failure = InjectedFailure(data_->options, "CreateBrowse"); FAILED(failure)) return failure;
    for (DWORD i = 0; i < count; ++i) (*errors)[i] = kNoFilter;
    *browser = new SimBrowser(data_, journal_);
    return count > 0 ? S_FALSE : S_OK;
}

HRESULT HistorianServer::ReadRaw(OPCHDA_TIME* start, OPCHDA_TIME* end, DWORD numValues, BOOL bounds, DWORD numItems,
                                 OPCHANDLE* serverHandles, OPCHDA_ITEM** items, HRESULT** errors) {
    journal_->Write("ReadRaw start=" + TimeText(start) + " end=" + TimeText(end) + " numValues=" +
                    std::to_string(numValues) + " bounds=" + std::to_string(bounds) + " handles=" +
                    ListText(serverHandles, numItems));
    *items = nullptr;
    *errors = nullptr;
    if (const HRESULT failure = InjectedFailure(data_->options, "ReadRaw"); FAILED(failure)) return failure;
    if (const HRESULT refused = HostileRefusal(); FAILED(refused)) return refused;
    const CallFault* fault = FaultOfThisCall("ReadRaw");
    if (fault != nullptr && FAILED(fault->result)) return fault->result;
    RawRequest request{};
    if (FAILED(ResolveTime(start, request.startGiven, request.start)) ||
        FAILED(ResolveTime(end, request.endGiven, request.end)))
        return E_INVALIDARG;
    if (!request.startGiven && !request.endGiven) return E_INVALIDARG;
    if ((!request.startGiven || !request.endGiven) && numValues == 0) return E_INVALIDARG;
    const DWORD maxValues = data_->options.maxValuesPerCall;
    if (maxValues > 0 && numValues > maxValues) return kMaxExceeded;
    if (request.startGiven && request.endGiven && data_->options.maxInterval > 0 &&
        std::max(request.start, request.end) - std::min(request.start, request.end) > data_->options.maxInterval)
        return E_OUTOFMEMORY;
    request.numValues = numValues;
    request.bounds = bounds != FALSE;
    request.maxValues = maxValues;
    if (request.startGiven && request.endGiven && request.start > request.end) { // a backward read
        if (data_->options.backwardReads == "fail") return E_INVALIDARG;
        if (data_->options.backwardReads == "outside") { // the value before the end, outside (end, start]
            request.startGiven = false;
            request.end -= 1;
        }
    }

    std::lock_guard<std::mutex> guard(lock_);
    auto* out = tools::CoTaskArray<OPCHDA_ITEM>(numItems);
    auto* results = tools::CoTaskArray<HRESULT>(numItems);
    ForEachItem(numItems, serverHandles, out, results, [&](const Item& item, OPCHDA_ITEM& result, DWORD) {
        if (FAILED(item.readError)) return item.readError;
        if (fault != nullptr && FAILED(fault->itemError)) return fault->itemError;
        if (item.maxInterval > 0 && request.startGiven && request.endGiven &&
            std::max(request.start, request.end) - std::min(request.start, request.end) > item.maxInterval)
            return kMaxExceeded;
        if (fault != nullptr && fault->empty) return S_OK;
        const SeriesView history(item);
        RawSelection selection(history, request);
        const std::vector<Output> values = selection.Select(request);
        const bool more = selection.More();
        if (!HasRealValue(values)) return kNoDataResult;
        Fill(result, values, history);
        if (fault != nullptr && !fault->nullArray.empty()) DropArray(result, fault->nullArray);
        return more ? kMoreData : S_OK;
    });
    *items = out;
    const HRESULT result = Finish("ReadRaw", results, numItems, errors);
    return hostile_ ? hostile_->SpoilRead(*items, *errors, numItems, result) : result;
}

HRESULT HistorianServer::ReadProcessed(OPCHDA_TIME* start, OPCHDA_TIME* end, FILETIME resampleInterval,
                                       DWORD numItems, OPCHANDLE* serverHandles, DWORD* aggregates,
                                       OPCHDA_ITEM** items, HRESULT** errors) {
    journal_->Write("ReadProcessed start=" + TimeText(start) + " end=" + TimeText(end) + " interval=" +
                    std::to_string(ToTicks(resampleInterval)) + " handles=" + ListText(serverHandles, numItems) +
                    " aggregates=" + ListText(aggregates, numItems));
    *items = nullptr;
    *errors = nullptr;
    bool startGiven = false, endGiven = false;
    Ticks from = 0, to = 0;
    if (FAILED(ResolveTime(start, startGiven, from)) || FAILED(ResolveTime(end, endGiven, to)) || !startGiven ||
        !endGiven || from > to)
        return E_INVALIDARG;
    const Ticks interval = ToTicks(resampleInterval) > 0 ? ToTicks(resampleInterval) : (to - from);
    std::lock_guard<std::mutex> guard(lock_);
    auto* out = tools::CoTaskArray<OPCHDA_ITEM>(numItems);
    auto* results = tools::CoTaskArray<HRESULT>(numItems);
    ForEachItem(numItems, serverHandles, out, results, [&](const Item& item, OPCHDA_ITEM& result, DWORD i) {
        result.haAggregate = aggregates[i];
        if (aggregates[i] != OPCHDA_START && aggregates[i] != OPCHDA_END) return kInvalidAggregate;
        const SeriesView history(item);
        std::vector<Output> values;
        for (Ticks t = from; t < to || (t == from && from == to); t += interval) {
            values.push_back(HeldAt(history, aggregates[i] == OPCHDA_START ? t : std::min(t + interval, to), t));
            if (interval <= 0) break;
        }
        Fill(result, values, history);
        return S_OK;
    });
    *items = out;
    return Finish("ReadProcessed", results, numItems, errors);
}

HRESULT HistorianServer::ReadAtTime(DWORD numTimes, FILETIME* times, DWORD numItems, OPCHANDLE* serverHandles,
                                    OPCHDA_ITEM** items, HRESULT** errors) {
    std::ostringstream line;
    line << "ReadAtTime times=[";
    for (DWORD t = 0; t < numTimes; ++t) line << (t ? "," : "") << ToTicks(times[t]);
    line << "] handles=" << ListText(serverHandles, numItems);
    journal_->Write(line.str());
    std::lock_guard<std::mutex> guard(lock_);
    auto* out = tools::CoTaskArray<OPCHDA_ITEM>(numItems);
    auto* results = tools::CoTaskArray<HRESULT>(numItems);
    ForEachItem(numItems, serverHandles, out, results, [&](const Item& item, OPCHDA_ITEM& result, DWORD) {
        const SeriesView history(item);
        std::vector<Output> values;
        for (DWORD t = 0; t < numTimes; ++t) values.push_back(HeldAt(history, ToTicks(times[t]), ToTicks(times[t])));
        Fill(result, values, history);
        return S_OK;
    });
    *items = out;
    return Finish("ReadAtTime", results, numItems, errors);
}

HRESULT HistorianServer::ReadModified(OPCHDA_TIME* start, OPCHDA_TIME* end, DWORD numValues, DWORD numItems,
                                      OPCHANDLE* serverHandles, OPCHDA_MODIFIEDITEM** items, HRESULT** errors) {
    journal_->Write("ReadModified start=" + TimeText(start) + " end=" + TimeText(end) + " numValues=" +
                    std::to_string(numValues) + " handles=" + ListText(serverHandles, numItems));
    bool startGiven = false, endGiven = false;
    Ticks from = 0, to = 0;
    if (FAILED(ResolveTime(start, startGiven, from)) || FAILED(ResolveTime(end, endGiven, to)) || !startGiven || !endGiven)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(lock_);
    auto* out = tools::CoTaskArray<OPCHDA_MODIFIEDITEM>(numItems);
    auto* results = tools::CoTaskArray<HRESULT>(numItems);
    ForEachItem(numItems, serverHandles, out, results, [&](const Item&, OPCHDA_MODIFIEDITEM& m, DWORD i) {
        std::vector<const EditRecord*> chosen;
        for (const auto& edit : edits_[serverHandles[i] - 1])
            if (edit.sample.time >= from && edit.sample.time < to && (numValues == 0 || chosen.size() < numValues))
                chosen.push_back(&edit);
        const std::size_t n = chosen.size();
        m.dwCount = static_cast<DWORD>(n);
        m.pftTimeStamps = tools::CoTaskArray<FILETIME>(n);
        m.pdwQualities = tools::CoTaskArray<DWORD>(n);
        m.pvDataValues = tools::CoTaskArray<VARIANT>(n);
        m.pftModificationTime = tools::CoTaskArray<FILETIME>(n);
        m.pEditType = tools::CoTaskArray<OPCHDA_EDITTYPE>(n);
        m.szUser = tools::CoTaskArray<LPWSTR>(n);
        for (std::size_t k = 0; k < n; ++k) {
            m.pftTimeStamps[k] = ToFileTime(chosen[k]->sample.time);
            m.pdwQualities[k] = chosen[k]->sample.quality;
            VariantInit(&m.pvDataValues[k]);
            VariantCopy(&m.pvDataValues[k], const_cast<VARIANT*>(chosen[k]->sample.value.Get()));
            m.pftModificationTime[k] = ToFileTime(chosen[k]->modifiedAt);
            m.pEditType[k] = chosen[k]->type;
            m.szUser[k] = tools::CoTaskText(L"simulation");
        }
        return n == 0 ? kNoDataResult : S_OK;
    });
    *items = out;
    return Finish("ReadModified", results, numItems, errors);
}

HRESULT HistorianServer::ReadAttribute(OPCHDA_TIME* start, OPCHDA_TIME* end, OPCHANDLE serverHandle,
                                       DWORD numAttributes, DWORD* attributeIds, OPCHDA_ATTRIBUTE** values,
                                       HRESULT** errors) {
    journal_->Write("ReadAttribute start=" + TimeText(start) + " end=" + TimeText(end) + " handle=" +
                    std::to_string(serverHandle) + " attributes=" + ListText(attributeIds, numAttributes));
    *values = nullptr;
    *errors = nullptr;
    bool startGiven = false, endGiven = false;
    Ticks from = 0, to = 0;
    if (FAILED(ResolveTime(start, startGiven, from)) || FAILED(ResolveTime(end, endGiven, to))) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(lock_);
    const Item* item = ItemOf(serverHandle);
    if (item == nullptr) return kInvalidHandle;
    auto* out = tools::CoTaskArray<OPCHDA_ATTRIBUTE>(numAttributes);
    auto* results = tools::CoTaskArray<HRESULT>(numAttributes);
    for (DWORD i = 0; i < numAttributes; ++i) {
        OPCHDA_ATTRIBUTE& a = out[i];
        a.hClient = clientOfHandle_[serverHandle];
        a.dwAttributeID = attributeIds[i];
        VARIANT value;
        VariantInit(&value);
        if (attributeIds[i] == kAttrDataType) {
            V_VT(&value) = VT_I2;
            V_I2(&value) = static_cast<SHORT>(item->type);
        } else if (attributeIds[i] == kAttrDescription) {
            V_VT(&value) = VT_BSTR;
            V_BSTR(&value) = SysAllocString(item->description.c_str());
        } else if (attributeIds[i] == kAttrItemId) {
            V_VT(&value) = VT_BSTR;
            V_BSTR(&value) = SysAllocString(item->id.c_str());
        } else {
            results[i] = kInvalidAttrId;
            continue;
        }
        a.dwNumValues = 1;
        a.ftTimeStamps = tools::CoTaskArray<FILETIME>(1);
        a.ftTimeStamps[0] = ToFileTime(startGiven ? from : data_->loadedAt);
        a.vAttributeValues = tools::CoTaskArray<VARIANT>(1);
        a.vAttributeValues[0] = value;
    }
    *values = out;
    return Finish("ReadAttribute", results, numAttributes, errors);
}

HRESULT HistorianServer::QueryCapabilities(OPCHDA_UPDATECAPABILITIES* capabilities) {
    journal_->Write("QueryCapabilities");
    *capabilities = static_cast<OPCHDA_UPDATECAPABILITIES>(OPCHDA_INSERTCAP | OPCHDA_REPLACECAP | OPCHDA_INSERTREPLACECAP |
                                                           OPCHDA_DELETERAWCAP | OPCHDA_DELETEATTIMECAP);
    return S_OK;
}

HRESULT HistorianServer::Edit(const char* call, EditKind kind, DWORD n, OPCHANDLE* handles, FILETIME* times,
                              VARIANT* values, DWORD* qualities, HRESULT** errors) {
    std::ostringstream line;
    line << call << " count=" << n << " handles=" << ListText(handles, n) << " times=[";
    for (DWORD j = 0; j < n; ++j) line << (j ? "," : "") << ToTicks(times[j]);
    line << "] values=[";
    for (DWORD j = 0; j < n; ++j) line << (j ? "," : "") << VariantText(values[j]);
    line << "] qualities=" << ListText(qualities, n);
    journal_->Write(line.str());
    *errors = nullptr;
    if (const HRESULT failure = InjectedFailure(data_->options, call); FAILED(failure)) return failure;
    std::lock_guard<std::mutex> guard(lock_);
    auto* results = tools::CoTaskArray<HRESULT>(n);
    std::vector<std::string> records;
    ForEachKnownItem(n, handles, results, [&](Item& item, DWORD j) {
        if (FAILED(item.writeError)) return item.writeError;
        if (V_VT(&values[j]) == VT_EMPTY && !data_->options.storeEmptyWrites) return kInvalidDataType;
        const Ticks t = ToTicks(times[j]);
        StoreGenerated(item, data_->options.keepRepeatedTimes);
        std::vector<Sample>& h = item.history;
        const std::size_t k = LowerBound(h, t);
        const bool exists = k < h.size() && h[k].time == t;
        if (kind == EditKind::Insert && exists) return kDataExists;
        if (kind == EditKind::Replace && !exists) return kNoDataExists;
        Sample sample{t, qualities[j], Variant()};
        VariantCopy(sample.value.Get(), &values[j]);
        edits_[handles[j] - 1].push_back({sample, NowTicks(), exists ? OPCHDA_REPLACE : OPCHDA_INSERT});
        records.push_back(WrittenValueRecord(item.id, sample));
        if (exists) h[k] = std::move(sample);
        else h.insert(h.begin() + static_cast<std::ptrdiff_t>(k), std::move(sample));
        if (kind != EditKind::InsertReplace) return S_OK;
        return exists ? kReplaced : kInserted;
    });
    KeepRecords(records);
    const HRESULT result = Finish(call, results, n, errors);
    return hostile_ ? hostile_->SpoilWrite(*errors, n, result) : result;
}

HRESULT HistorianServer::Insert(DWORD n, OPCHANDLE* handles, FILETIME* times, VARIANT* values, DWORD* qualities,
                                HRESULT** errors) {
    return Edit("Insert", EditKind::Insert, n, handles, times, values, qualities, errors);
}

HRESULT HistorianServer::Replace(DWORD n, OPCHANDLE* handles, FILETIME* times, VARIANT* values, DWORD* qualities,
                                 HRESULT** errors) {
    return Edit("Replace", EditKind::Replace, n, handles, times, values, qualities, errors);
}

HRESULT HistorianServer::InsertReplace(DWORD n, OPCHANDLE* handles, FILETIME* times, VARIANT* values,
                                       DWORD* qualities, HRESULT** errors) {
    return Edit("InsertReplace", EditKind::InsertReplace, n, handles, times, values, qualities, errors);
}

HRESULT HistorianServer::DeleteRaw(OPCHDA_TIME* start, OPCHDA_TIME* end, DWORD n, OPCHANDLE* handles,
                                   HRESULT** errors) {
    journal_->Write("DeleteRaw start=" + TimeText(start) + " end=" + TimeText(end) + " handles=" + ListText(handles, n));
    *errors = nullptr;
    bool startGiven = false, endGiven = false;
    Ticks from = 0, to = 0;
    if (FAILED(ResolveTime(start, startGiven, from)) || FAILED(ResolveTime(end, endGiven, to)) || !startGiven || !endGiven)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(lock_);
    auto* results = tools::CoTaskArray<HRESULT>(n);
    std::vector<std::string> records;
    ForEachKnownItem(n, handles, results, [&](Item& item, DWORD) {
        StoreGenerated(item, data_->options.keepRepeatedTimes);
        auto& h = item.history;
        const auto first = h.begin() + static_cast<std::ptrdiff_t>(LowerBound(h, std::min(from, to)));
        const auto last = h.begin() + static_cast<std::ptrdiff_t>(LowerBound(h, std::max(from, to)));
        if (first == last) return kNoDataExists;
        h.erase(first, last);
        records.push_back(DeletionRecord(item.id, std::min(from, to), std::max(from, to)));
        return S_OK;
    });
    KeepRecords(records);
    return Finish("DeleteRaw", results, n, errors);
}

HRESULT HistorianServer::DeleteAtTime(DWORD n, OPCHANDLE* handles, FILETIME* times, HRESULT** errors) {
    journal_->Write("DeleteAtTime handles=" + ListText(handles, n));
    std::lock_guard<std::mutex> guard(lock_);
    auto* results = tools::CoTaskArray<HRESULT>(n);
    std::vector<std::string> records;
    ForEachKnownItem(n, handles, results, [&](Item& item, DWORD j) {
        StoreGenerated(item, data_->options.keepRepeatedTimes);
        auto& h = item.history;
        const Ticks t = ToTicks(times[j]);
        const std::size_t k = LowerBound(h, t);
        if (k >= h.size() || h[k].time != t) return kNoDataExists;
        h.erase(h.begin() + static_cast<std::ptrdiff_t>(k));
        records.push_back(DeletionRecord(item.id, t, t + 1));
        return S_OK;
    });
    KeepRecords(records);
    return Finish("DeleteAtTime", results, n, errors);
}

} // namespace kesti::sim
