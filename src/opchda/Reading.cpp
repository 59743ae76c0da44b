// Reading of the OPC HDA proxy: one ReadRaw per request, sampled into the table's rows.
#include <cmath>
#include <limits>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/format.hpp>

#include "config/Exception.h"
#include "config/Log.h"
#include "model/KestiTag.h"
#include "model/Node.h"
#include "opchda/OpcHdaConstants.h"
#include "opchda/OpcHdaProxy.h"
#include "opchda/ResultText.h"
#include "opchda/TextConversion.h"
#include "opchda/VariantValue.h"

namespace kesti {
namespace {

using platform::ComPtr;
using platform::UniqueCoTaskMem;

constexpr std::int64_t kCurrentRow = std::numeric_limits<std::int64_t>::max();
constexpr int kMaxContinuations = 100000;

std::int64_t Ticks(const FILETIME& ft) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}
FILETIME FileTimeOf(std::int64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32)};
}

// An OPCHDA_TIME whose text lives in task memory, as the [in, out] call wants it.
class RequestTime {
public:
    RequestTime() { time_.szTime = CopyText(L""); }
    ~RequestTime() { CoTaskMemFree(time_.szTime); }
    RequestTime(const RequestTime&) = delete;
    RequestTime& operator=(const RequestTime&) = delete;
    void SetText(const wchar_t* text) {
        CoTaskMemFree(time_.szTime);
        time_.bString = TRUE;
        time_.szTime = CopyText(text);
    }
    void SetTime(const FILETIME& ft) {
        time_.bString = FALSE;
        time_.ftTime = ft;
    }
    OPCHDA_TIME* Get() { return &time_; }
    const OPCHDA_TIME& operator*() const { return time_; }

private:
    static LPWSTR CopyText(const wchar_t* text) {
        const std::size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
        auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (copy != nullptr) memcpy(copy, text, bytes);
        return copy;
    }
    OPCHDA_TIME time_{};
};

struct ReadRequest {
    RequestTime start;
    RequestTime end;
    DWORD numValues = 0;
    BOOL bounds = TRUE;
    bool current = false;
};

void BuildReadRequest(const TimePoint& start, const Duration& step, std::size_t rows, bool useNullTimeValues,
                      ReadRequest& r) {
    if (start.is_not_a_date_time() && rows == 1) {
        r.current = true;
        r.start.SetText(L"NOW");
        r.end.SetText(useNullTimeValues ? L"" : L"NOW+1S");
        r.numValues = 1;
        LogMessage(LogInformation, "Reading Current Data");
        return;
    }
    if (static_cast<std::int32_t>(step.total_seconds()) != 0) {
        const TimePoint end = start + step * static_cast<int>(rows - 1);
        const TimePoint first = end == start ? start - step : start;
        r.start.SetTime(FileTimeFromTimePoint(first));
        r.end.SetTime(FileTimeFromTimePoint(end));
        LogMessage(LogInformation, (boost::format("Reading Historical Data, Start: %1%\tStop: %2%\tTimeSpan: %3%\tRows: %4%") %
                                    TimePointLogText(first) % TimePointLogText(end) % DurationLogText(step) % rows).str());
        return;
    }
    if (useNullTimeValues) {
        r.start.SetText(L"");
        r.numValues = 1;
        r.bounds = FALSE;
    } else {
        r.start.SetTime(FileTimeFromTimePoint(start));
    }
    r.end.SetTime(FileTimeFromTimePoint(start));
    LogMessage(LogInformation, (boost::format("Reading Historical Data, Time: %1%\tTimeSpan: %2%\tRows: %3%") %
                                TimePointLogText(start) % DurationLogText(step) % rows).str());
}

// The values of one item, owned here (their VARIANTs are cleared with it).
struct RawSeries {
    HRESULT error = S_OK;
    std::vector<std::int64_t> ticks;
    std::vector<DWORD> qualities;
    std::vector<VARIANT> values;
    RawSeries() = default;
    RawSeries(RawSeries&&) = default;
    RawSeries& operator=(RawSeries&&) = default;
    ~RawSeries() {
        for (VARIANT& v : values) VariantClear(&v);
    }
    // Takes over the item's values (the VARIANTs move without a copy) from `from` on.
    void Append(OPCHDA_ITEM& item, std::size_t from = 0) {
        const std::size_t added = item.dwCount > from ? item.dwCount - from : 0;
        ticks.reserve(ticks.size() + added);
        qualities.reserve(qualities.size() + added);
        values.reserve(values.size() + added);
        for (DWORD k = 0; k < item.dwCount; ++k) {
            if (k < from) {
                VariantClear(&item.pvDataValues[k]);
                continue;
            }
            ticks.push_back(Ticks(item.pftTimeStamps[k]));
            qualities.push_back(item.pdwQualities[k]);
            values.push_back(item.pvDataValues[k]); // ownership moves; the array is freed below
        }
        CoTaskMemFree(item.pftTimeStamps);
        CoTaskMemFree(item.pdwQualities);
        CoTaskMemFree(item.pvDataValues);
        item = OPCHDA_ITEM{};
    }
};

// What ReadRaw hands out, freed whatever happens.
struct RawResult {
    OPCHDA_ITEM* items = nullptr;
    HRESULT* errors = nullptr;
    DWORD count = 0;
    ~RawResult() {
        for (DWORD i = 0; items != nullptr && i < count; ++i) RawSeries().Append(items[i]);
        CoTaskMemFree(items);
        CoTaskMemFree(errors);
    }
};

std::string ValueText(const RawSeries& s, std::size_t k) {
    return (boost::format("\ntime: \"%1%\", quality: \"%2%\", value: %3%") % FileTimeText(FileTimeOf(s.ticks[k])) %
            QualityText(s.qualities[k]) % DumpVariant(s.values[k]))
        .str();
}

std::string ItemHeader(const RawSeries& s, const Tag& tag) {
    return (boost::format("%1% data values for tag %2%, result: %3%") % s.values.size() % tag.Name() % HResultText(s.error)).str();
}

// Writes the cell of one entry in one row from value k.
void WriteCell(const TagEntry& entry, const RawSeries& s, std::size_t k, ValueVector& row, bool current) {
    Tag& tag = *entry.tag;
    const VARIANT& value = s.values[k];
    std::size_t element = 0;
    if (tag.IsArrayElement()) {
        const auto& arrayTag = static_cast<const ArrayTag&>(tag);
        element = arrayTag.ElementIndex();
        const std::size_t count = ElementCount(value);
        if (count != arrayTag.Array().ElementCount()) {
            LogMessage(LogError, (boost::format("Array data does not match the set size. Returning missing values. %1% "
                                                "elements read from tag %2%, expected %3% (the size attribute set in the "
                                                "configuration)") % count % arrayTag.Array().ItemId() % arrayTag.Array().ElementCount()).str());
            return;
        }
    }
    const std::size_t column = static_cast<std::size_t>(entry.column);
    switch (ValueClassOf(value)) {
    case VariantValueClass::Integer:
        if (const auto integer = ExtractInteger(value, element)) row.SetFloat(column, integer->ToFloat());
        else row.SetNull(column);
        break;
    case VariantValueClass::Real: {
        const auto real = ExtractReal(value, element);
        if (real && !std::isnan(*real)) row.SetFloat(column, static_cast<float>(*real));
        else row.SetNull(column);
        break;
    }
    case VariantValueClass::Text: row.SetString(column, ExtractText(value, element)); break;
    default: row.SetNull(column); break;
    }
    if (current) tag.RaiseUpdateTime(SecondsSince1970(TimePointFromFileTime(FileTimeOf(s.ticks[k]))));
}

// Sample and hold: each row gets the newest value at or before its time.
void SampleInto(const TagEntry& entry, const RawSeries& s, std::int64_t firstRow, std::int64_t stepTicks,
                bool current, ValueTable& table) {
    const std::size_t n = s.values.size();
    std::size_t k = 0;
    for (std::size_t r = 0; r < table.RowCount(); ++r) {
        const std::int64_t t = current ? kCurrentRow : firstRow + static_cast<std::int64_t>(r) * stepTicks;
        while (k + 1 < n && !(s.qualities[k + 1] & opc::kNoBound) && s.ticks[k + 1] <= t) ++k;
        if (k >= n) continue;
        const DWORD quality = s.qualities[k] & opc::kQualityMask;
        if (quality == opc::kQualityBad || quality == opc::kQualityUncertain) {
            LogMessage(LogWarning, ItemHeader(s, *entry.tag) + ValueText(s, k));
            continue;
        }
        if (current || s.ticks[k] <= t) WriteCell(entry, s, k, table.Row(r), current);
    }
}

} // namespace

void OpcHdaProxy::ReadData(const std::vector<TagEntry>& request, const TimePoint& start, const Duration& step,
                           ValueTable& table) {
    try {
        UpdateServerHandles(request);
    } catch (const Exception& e) {
        LogMessage(LogError, (boost::format("Could not update server handles for read: %1%") % ExceptionText(e)).str());
        return;
    }
    ReadRequest r;
    BuildReadRequest(start, step, table.RowCount(), useNullTimeValues_, r);
    const std::vector<ServerItem> items = CollectServerItems(request);
    if (items.empty()) return; // nothing the server granted a handle for
    std::vector<OPCHANDLE> handles;
    for (const ServerItem& item : items) handles.push_back(item.handle);

    ComPtr<IOPCHDA_SyncRead> reader;
    if (!server_ || FAILED(server_.As(&reader))) throw Exception("Could not read data.");
    identity_->ApplyTo(reader.Get());
    const bool debug = GetLogLevel() >= LogDebug;
    if (debug)
        LogMessage(LogDebug, "Calling IOPCHDA_SyncRead::ReadRaw, input parameters:\n" + DumpOpcHdaTime("StartTime", *r.start) +
                                 "\n" + DumpOpcHdaTime("EndTime", *r.end) + "\nNumValues: " + std::to_string(r.numValues) +
                                 "\nIncludeBounds: " + (r.bounds ? "true" : "false") + "\nNumItems: " + std::to_string(handles.size()));
    RawResult raw;
    raw.count = static_cast<DWORD>(handles.size());
    const HRESULT result = reader->ReadRaw(r.start.Get(), r.end.Get(), r.numValues, r.bounds, raw.count, handles.data(),
                                           &raw.items, &raw.errors);
    if (FAILED(result) || raw.items == nullptr) {
        LogMessage(LogError, (boost::format("IOPCHDA_SyncRead::ReadRaw failed: %1%") % HResultText(FAILED(result) ? result : E_POINTER)).str());
        return;
    }
    if (debug)
        LogMessage(LogDebug, "IOPCHDA_SyncRead::ReadRaw succeeded, output parameters:\n" + DumpOpcHdaTime("StartTime", *r.start) +
                                 "\n" + DumpOpcHdaTime("EndTime", *r.end));

    std::vector<RawSeries> series(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        series[i].error = raw.errors != nullptr ? raw.errors[i] : S_OK;
        series[i].Append(raw.items[i]);
    }
    // A read of all values continues where the server stopped, as the standard says.
    if (r.numValues == 0) {
        for (std::size_t i = 0; i < items.size(); ++i)
            for (int round = 0; series[i].error == opc::kMoreData && !series[i].ticks.empty() && round < kMaxContinuations; ++round) {
                RequestTime from, to;
                from.SetTime(FileTimeOf(series[i].ticks.back()));
                to.SetTime((*r.end).ftTime);
                RawResult more;
                more.count = 1;
                OPCHANDLE handle = handles[i];
                if (FAILED(reader->ReadRaw(from.Get(), to.Get(), 0, r.bounds, 1, &handle, &more.items, &more.errors)) ||
                    more.items == nullptr)
                    break;
                const std::size_t before = series[i].ticks.size();
                const std::int64_t last = series[i].ticks.back();
                std::size_t skip = 0; // the repeated boundary value (and anything before it)
                while (skip < more.items[0].dwCount && Ticks(more.items[0].pftTimeStamps[skip]) <= last) ++skip;
                series[i].error = more.errors != nullptr ? more.errors[0] : S_OK;
                series[i].Append(more.items[0], skip);
                if (series[i].ticks.size() == before) break; // nothing new
            }
    }

    const std::int64_t firstRow = r.current ? 0 : Ticks(FileTimeFromTimePoint(start));
    const std::int64_t stepTicks = (r.current || step.is_special()) ? 0 : step.total_microseconds() * 10;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (debug) {
            std::string text = ItemHeader(series[i], *items[i].entries.front()->tag);
            for (std::size_t k = 0; k < series[i].values.size(); ++k) text += ValueText(series[i], k);
            LogMessage(LogDebug, text);
        }
        for (const TagEntry* entry : items[i].entries) SampleInto(*entry, series[i], firstRow, stepTicks, r.current, table);
    }
}

} // namespace kesti
