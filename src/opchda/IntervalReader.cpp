#include "opchda/IntervalReader.h"

#include <limits>

#include <boost/format.hpp>

#include "base/ComError.h"
#include "base/Log.h"
#include "base/ResultText.h"
#include "base/TimeFormat.h"
#include "opchda/OpcHdaConstants.h"

namespace kesti {
namespace {

constexpr int kMaxContinuations = 100000;
// Halving stops at 2^10 spans per item, or at spans of one second.
constexpr int kMaxSplitDepth = 10;
constexpr std::int64_t kShortestSpan = 10'000'000;

bool IsPlaceholder(const RawSeries& s, std::size_t k) { return (s.Quality(k) & opc::kNoBound) != 0; }

// One series per item of the answer, sharing it.
std::vector<RawSeries> Collect(RawAnswer& items, const platform::UniqueCoTaskMemArray<HRESULT>& errors,
                               std::size_t count) {
    const auto answer = std::make_shared<const RawAnswer>(std::move(items));
    std::vector<RawSeries> series(count);
    for (std::size_t i = 0; i < count; ++i) {
        series[i].error = errors ? errors[i] : S_OK;
        if (HoldsItsValues((*answer)[i])) {
            series[i].Append(answer, i);
        } else { // nothing is known of the item: its rows stay missing, and the read says why
            if (SUCCEEDED(series[i].error)) series[i].error = E_POINTER;
            series[i].cutShort = true;
        }
    }
    return series;
}

} // namespace

RawSeries JoinSpans(RawSeries left, RawSeries right) {
    if (left.cutShort || FAILED(left.error)) return left; // nothing after it is known
    std::int64_t firstRight = std::numeric_limits<std::int64_t>::max();
    for (std::size_t k = 0; k < right.Count(); ++k)
        if (!IsPlaceholder(right, k)) {
            firstRight = right.Tick(k);
            break;
        }
    RawSeries joined;
    joined.error = FAILED(right.error) || left.error != S_OK ? right.error : S_OK;
    joined.cutShort = right.cutShort || FAILED(right.error); // the right part's values are unknown
    for (std::size_t k = 0; k < left.Count() && left.Tick(k) < firstRight; ++k)
        if (k == 0 || !IsPlaceholder(left, k)) joined.AppendValueOf(left, k);
    for (std::size_t k = 0; k < right.Count(); ++k) {
        const bool keep = !IsPlaceholder(right, k) || (k + 1 == right.Count() && right.Tick(k) > firstRight) ||
                          joined.Empty();
        if (keep && (joined.Empty() || right.Tick(k) >= joined.LastTick())) joined.AppendValueOf(right, k);
    }
    return joined;
}

HRESULT IntervalReader::Call(OPCHDA_TIME* start, OPCHDA_TIME* end, DWORD numValues, BOOL bounds,
                             const std::vector<OPCHANDLE>& handles, platform::UniqueCoTaskMemArray<OPCHDA_ITEM>& items,
                             platform::UniqueCoTaskMemArray<HRESULT>& errors) {
    ++calls_;
    const DWORD count = static_cast<DWORD>(handles.size());
    const HRESULT result = reader_.ReadRaw(start, end, numValues, bounds, count, const_cast<OPCHANDLE*>(handles.data()),
                                           items.Put(count), errors.Put(count));
    return NullAsFailure(result, items.Get());
}

std::vector<RawSeries> IntervalReader::Read(ReadRequest& r, const std::vector<OPCHANDLE>& handles) {
    const bool span = r.numValues == 0 && !(*r.start).bString && !(*r.end).bString;
    if (!span) { // the current value or a value at one time: one call, nothing to continue
        platform::UniqueCoTaskMemArray<OPCHDA_ITEM> items;
        platform::UniqueCoTaskMemArray<HRESULT> errors;
        ThrowIfFailed(Call(r.start.Get(), r.end.Get(), r.numValues, r.bounds, handles, items, errors),
                      "IOPCHDA_SyncRead::ReadRaw");
        return Collect(items, errors, handles.size());
    }
    std::vector<RawSeries> series = ReadSpan(Span{TicksOf((*r.start).ftTime), TicksOf((*r.end).ftTime), r.bounds, 0}, handles);
    if (splitReason_ != S_OK)
        LogMessage(LogInformation, (boost::format("The server could not read %1% to %2% at once (result: %3%): the "
                                                  "interval was split and read in %4% calls.") %
                                    FileTimeText((*r.start).ftTime) % FileTimeText((*r.end).ftTime) %
                                    HResultText(splitReason_) % calls_).str());
    return series;
}

bool IntervalReader::ShouldSplit(HRESULT result, const Span& span) const {
    return (result == opc::kMaxExceeded || result == E_OUTOFMEMORY) && span.depth < kMaxSplitDepth &&
           span.to - span.from >= 2 * kShortestSpan;
}

std::vector<RawSeries> IntervalReader::ReadSpan(const Span& span, const std::vector<OPCHANDLE>& handles) {
    platform::RequestTime from, to;
    from.SetTime(FileTimeOfTicks(span.from));
    to.SetTime(FileTimeOfTicks(span.to));
    platform::UniqueCoTaskMemArray<OPCHDA_ITEM> items;
    platform::UniqueCoTaskMemArray<HRESULT> errors;
    const HRESULT result = Call(from.Get(), to.Get(), 0, span.bounds, handles, items, errors);
    if (ShouldSplit(result, span)) return ReadHalves(span, handles, result);
    ThrowIfFailed(result, "IOPCHDA_SyncRead::ReadRaw");

    std::vector<RawSeries> series = Collect(items, errors, handles.size());
    for (std::size_t i = 0; i < handles.size(); ++i) {
        // A read of all values continues where the server stopped, as the standard says.
        ContinueAfterMoreData(FileTimeOfTicks(span.to), span.bounds, handles[i], series[i]);
        if (ShouldSplit(series[i].error, span))
            series[i] = std::move(ReadHalves(span, {handles[i]}, series[i].error).front());
    }
    return series;
}

std::vector<RawSeries> IntervalReader::ReadHalves(const Span& span, const std::vector<OPCHANDLE>& handles,
                                                  HRESULT reason) {
    if (splitReason_ == S_OK) splitReason_ = reason;
    const std::int64_t middle = span.from + (span.to - span.from) / 2;
    std::vector<RawSeries> left = ReadSpan(Span{span.from, middle, span.bounds, span.depth + 1}, handles);
    std::vector<RawSeries> right = ReadSpan(Span{middle, span.to, span.bounds, span.depth + 1}, handles);
    for (std::size_t i = 0; i < left.size(); ++i) left[i] = JoinSpans(std::move(left[i]), std::move(right[i]));
    return left;
}

// Reads on from the newest value, up to the end of the span, while the server says there is
// more; the repeated boundary value is dropped. A continuation that fails, brings nothing,
// or brings nothing newer while still promising more leaves the series cut short; one whose
// values reach the end of the span ends the reading, as nothing after it is asked.
void IntervalReader::ContinueAfterMoreData(const FILETIME& end, BOOL bounds, OPCHANDLE handle, RawSeries& series) {
    for (int round = 0; series.error == opc::kMoreData; ++round) {
        if (series.Empty() || round == kMaxContinuations) {
            series.cutShort = true;
            return;
        }
        if (series.LastTick() >= TicksOf(end)) { // the span is known to its end, whatever the server promises
            series.error = S_OK;
            return;
        }
        platform::RequestTime from, to;
        from.SetTime(FileTimeOfTicks(series.LastTick()));
        to.SetTime(end);
        platform::UniqueCoTaskMemArray<OPCHDA_ITEM> items;
        platform::UniqueCoTaskMemArray<HRESULT> errors;
        const HRESULT result = Call(from.Get(), to.Get(), 0, bounds, {handle}, items, errors);
        const HRESULT itemError = FAILED(result)               ? result
                                  : !HoldsItsValues(items[0]) ? E_POINTER
                                  : errors                    ? errors[0]
                                                              : S_OK;
        if (FAILED(itemError) || items[0].dwCount == 0) {
            series.error = itemError;
            series.cutShort = true;
            return;
        }
        const std::size_t before = series.Count();
        const std::int64_t last = series.LastTick();
        std::size_t skip = 0; // the repeated boundary value (and anything before it)
        while (skip < items[0].dwCount && TicksOf(items[0].pftTimeStamps[skip]) <= last) ++skip;
        series.Append(std::make_shared<const RawAnswer>(std::move(items)), 0, skip);
        series.error = itemError;
        if (series.Count() == before && itemError == opc::kMoreData) {
            series.cutShort = true; // more values at one time stamp than the server gives per call
            return;
        }
    }
}

} // namespace kesti
