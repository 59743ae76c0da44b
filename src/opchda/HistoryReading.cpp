// Reading of the OPC HDA proxy: the request of a window and the raw values of its items.
#include "opchda/HistoryReading.h"

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

void RawSeries::Append(OPCHDA_ITEM& item, std::size_t from) {
    const std::size_t added = item.dwCount > from ? item.dwCount - from : 0;
    ticks.reserve(ticks.size() + added);
    qualities.reserve(qualities.size() + added);
    values.reserve(values.size() + added);
    for (std::size_t k = from; k < item.dwCount; ++k) {
        ticks.push_back(TicksOf(item.pftTimeStamps[k]));
        qualities.push_back(item.pdwQualities[k]);
        values.push_back(platform::UniqueVariant::TakeFrom(item.pvDataValues[k]));
    }
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
