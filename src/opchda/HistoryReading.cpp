// Reading of the OPC HDA proxy: the request of a window and the raw values of its items.
#include "opchda/HistoryReading.h"

#include <algorithm>

#include <boost/format.hpp>

#include "base/ComError.h"
#include "base/Log.h"
#include "opchda/IntervalReader.h"
#include "opchda/OpcHdaConstants.h"
#include "opchda/OpcHdaProxy.h"
#include "opchda/OpcHdaText.h"

namespace kesti {
namespace {

std::string DumpRequestTimes(const ReadRequest& r) {
    return DumpOpcHdaTime("StartTime", *r.start) + "\n" + DumpOpcHdaTime("EndTime", *r.end);
}

} // namespace

std::int64_t TicksOf(const FILETIME& ft) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

FILETIME FileTimeOfTicks(std::int64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32)};
}

std::int64_t RawSeries::Tick(std::size_t k) const {
    const Place place = Locate(k);
    return TicksOf(place.item->pftTimeStamps[place.position]);
}

const RawSeries::Run& RawSeries::RunOf(std::size_t k) const {
    if (runs_.size() == 1) return runs_.front();
    // the last run that starts at or before k
    return *(std::upper_bound(runs_.begin(), runs_.end(), k, [](std::size_t index, const Run& r) { return index < r.first; }) - 1);
}

RawSeries::Place RawSeries::Locate(std::size_t k) const {
    const Run& run = RunOf(k);
    return Place{run.item, run.begin + (k - run.first)};
}

void RawSeries::AddRun(const std::shared_ptr<const RawAnswer>& answer, const OPCHDA_ITEM* item, std::size_t begin,
                       std::size_t end) {
    if (begin >= end) return;
    if (!runs_.empty() && runs_.back().item == item && runs_.back().end == begin) {
        runs_.back().end = end; // continues the last run
    } else {
        runs_.push_back(Run{answer, item, begin, end, count_});
    }
    count_ += end - begin;
}

void RawSeries::Append(const std::shared_ptr<const RawAnswer>& answer, std::size_t index, std::size_t from) {
    const OPCHDA_ITEM& item = (*answer)[index];
    AddRun(answer, &item, from, item.dwCount);
}

void RawSeries::AppendValueOf(const RawSeries& other, std::size_t k) {
    const Run& run = other.RunOf(k);
    const std::size_t position = run.begin + (k - run.first);
    AddRun(run.answer, run.item, position, position + 1);
}

ReadRequest OpcHdaProxy::PrepareRead(const ReadWindow& w) const {
    ReadRequest r;
    if (w.IsCurrent()) {
        r.start.SetText(L"NOW");
        r.end.SetText(useNullTimeValues_ ? L"" : L"NOW+1S");
        r.numValues = 1;
        LogMessage(LogInformation, "Reading Current Data");
        return r;
    }
    if (static_cast<std::int32_t>(w.step.total_seconds()) != 0) {
        const TimePoint end = w.start + w.step * static_cast<int>(w.rows - 1);
        const TimePoint first = end == w.start ? w.start - w.step : w.start;
        r.start.SetTime(FileTimeFromTimePoint(first));
        r.end.SetTime(FileTimeFromTimePoint(end));
        LogMessage(LogInformation, (boost::format("Reading Historical Data, Start: %1%\tStop: %2%\tTimeSpan: %3%\tRows: %4%") %
                                    TimePointLogText(first) % TimePointLogText(end) % DurationLogText(w.step) % w.rows).str());
        return r;
    }
    if (useNullTimeValues_) {
        r.start.SetText(L"");
        r.numValues = 1;
        r.bounds = FALSE;
    } else {
        r.start.SetTime(FileTimeFromTimePoint(w.start));
    }
    r.end.SetTime(FileTimeFromTimePoint(w.start));
    LogMessage(LogInformation, (boost::format("Reading Historical Data, Time: %1%\tTimeSpan: %2%\tRows: %3%") %
                                TimePointLogText(w.start) % DurationLogText(w.step) % w.rows).str());
    return r;
}

std::vector<RawSeries> OpcHdaProxy::ReadRaw(ReadRequest& r, const std::vector<OPCHANDLE>& handles) {
    if (handles.empty()) return {};
    return com_.Run([&] {
        Connect();
        if (!reader_) throw Exception("Could not read data.");
        IOPCHDA_SyncRead& reader = *reader_.Get();
        const bool debug = GetLogLevel() >= LogDebug;
        if (debug)
            LogMessage(LogDebug, "Calling IOPCHDA_SyncRead::ReadRaw, input parameters:\n" + DumpRequestTimes(r) +
                                     "\nNumValues: " + std::to_string(r.numValues) + "\nIncludeBounds: " +
                                     (r.bounds ? "true" : "false") + "\nNumItems: " + std::to_string(handles.size()));
        std::vector<RawSeries> series = IntervalReader(reader).Read(r, handles);
        if (debug) LogMessage(LogDebug, "IOPCHDA_SyncRead::ReadRaw succeeded, output parameters:\n" + DumpRequestTimes(r));
        return series;
    });
}

} // namespace kesti
