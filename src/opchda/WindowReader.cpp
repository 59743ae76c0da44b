#include "opchda/WindowReader.h"

#include <algorithm>

#include <boost/format.hpp>

#include "base/ComError.h"
#include "base/Log.h"
#include "base/ResultText.h"
#include "base/TimeFormat.h"

namespace kesti {
namespace {

// A call asks at most this many values for all its items, and from 1 024 to 65 536 per item:
// what one answer holds stays within tens of megabytes.
constexpr DWORD kValuesPerCall = 1u << 19;
constexpr DWORD kLeastValuesPerItem = 1024;
constexpr DWORD kMostValuesPerItem = 65536;
// The first chunk of an automatic read: enough values per item to tell how dense the data
// is against the rows, few enough to cost little beside reading each row: at most 64, twice
// the rows (and 16 at least) when fewer.
constexpr DWORD kMostFirstChunk = 64;
constexpr DWORD kLeastFirstChunk = 16;

void LogSplit(const IntervalReader& forward, std::int64_t from, std::int64_t to) {
    if (forward.SplitReason() == S_OK) return;
    LogMessage(LogInformation, (boost::format("The server could not read %1% to %2% at once (result: %3%): the "
                                              "interval was split and read in %4% calls.") %
                                FileTimeText(FileTimeOfTicks(from)) % FileTimeText(FileTimeOfTicks(to)) %
                                HResultText(forward.SplitReason()) % forward.Calls()).str());
}

} // namespace

ChunkSizes WindowReader::Chunks() const {
    if (plan_.shape == ReadShape::Whole) return ChunkSizes{};
    DWORD most = kMostValuesPerItem;
    if (plan_.serverMaxValues > 0) most = std::min(most, plan_.serverMaxValues);
    return ChunkSizes{kValuesPerCall, std::min(kLeastValuesPerItem, most), most};
}

void WindowReader::Read(const ReadWindow& window, ReadRequest& request, const std::vector<OPCHANDLE>& handles) {
    std::vector<ItemStream> streams(handles.size());
    std::vector<ItemStream*> items;
    for (std::size_t i = 0; i < handles.size(); ++i) {
        streams[i].handle = handles[i];
        streams[i].index = i;
        items.push_back(&streams[i]);
    }
    const bool span = request.numValues == 0 && !(*request.start.Get()).bString && !(*request.end.Get()).bString;
    if (!span) {
        ReadOnce(request, items);
        return;
    }
    RowGrid grid;
    grid.first = TicksOf(FileTimeFromTimePoint(window.start));
    grid.step = window.step.is_special() ? 0 : window.step.total_microseconds() * 10;
    grid.rows = window.rows;
    ReadSpan(grid, TicksOf((*request.start.Get()).ftTime), TicksOf((*request.end.Get()).ftTime), items);
}

// The current value or a value at one time: one call, nothing to continue.
void WindowReader::ReadOnce(ReadRequest& request, const std::vector<ItemStream*>& items) {
    RawCall call;
    reader_.ReadRaw(request.start.Get(), request.end.Get(), request.numValues, request.bounds, HandlesOf(items), call);
    ThrowIfFailed(call.result, "IOPCHDA_SyncRead::ReadRaw");
    for (std::size_t i = 0; i < items.size(); ++i) {
        ItemStream& stream = *items[i];
        stream.lastAnswer = call.ItemResultOf(i);
        if (FAILED(stream.lastAnswer)) continue;
        HandOn(stream, call.items[i], kNoLimit, sink_);
    }
    sink_.AnswerEnds();
    for (ItemStream* stream : items) {
        if (FAILED(stream->lastAnswer)) EndFailed(*stream, stream->lastAnswer, sink_);
        else EndComplete(*stream, sink_);
    }
}

void WindowReader::ReadSpan(const RowGrid& grid, std::int64_t from, std::int64_t last, const std::vector<ItemStream*>& items) {
    // A forward read gives [from, to): the values at the last row's time are asked as values,
    // not only as the end's bound, which would be just the first of several at that time.
    const std::int64_t to = last > from ? last + 1 : last;
    IntervalReader forward(reader_, sink_, Chunks(), plan_.continuationTime);
    // Rows a second or more apart; a step below a second is a point read, whatever its rows.
    const bool backward = !plan_.backwardRefused && grid.step >= 10'000'000;
    if (plan_.shape == ReadShape::Rows && backward) {
        ReadRows(grid, 0, from, to, items, forward);
    } else if (plan_.shape == ReadShape::Automatic) {
        const DWORD most = Chunks().PerItem(items.size());
        const DWORD twiceTheRows = static_cast<DWORD>(std::min<std::size_t>(2 * grid.rows + 2, kMostFirstChunk));
        const DWORD firstChunk = std::min(std::max(twiceTheRows, kLeastFirstChunk), most);
        std::vector<ItemStream*> pending = forward.Begin(items, from, to, firstChunk);
        if (!pending.empty() && backward && RowsAreCheaper(grid, from, to, pending)) {
            std::int64_t reached = to;
            for (const ItemStream* stream : pending) reached = std::min(reached, stream->lastTick);
            const std::size_t firstRow = grid.FirstRowFrom(reached);
            LogMessage(LogInformation, (boost::format("Reading rows %1% to %2% one at a time: the server holds many "
                                                      "values between them.") % (firstRow + 1) % grid.rows).str());
            ReadRows(grid, firstRow, from, to, pending, forward);
        } else {
            forward.Continue(std::move(pending), to);
        }
    } else {
        forward.Continue(forward.Begin(items, from, to, Chunks().PerItem(items.size())), to);
    }
    LogSplit(forward, from, last);
}

void WindowReader::ReadRows(const RowGrid& grid, std::size_t firstRow, std::int64_t from, std::int64_t to,
                            const std::vector<ItemStream*>& items, IntervalReader& forward) {
    RowReader rows(reader_, sink_, plan_.unspecifiedStart);
    const std::optional<BackwardRefusal> refusal = rows.Read(items, grid, firstRow);
    if (!refusal) return;
    plan_.backwardRefused = true;
    const std::string why = refusal->result == S_OK ? std::string("it answered outside the stretch asked")
                                                    : "result: " + HResultText(refusal->result);
    LogMessage(LogInformation, (boost::format("The server does not read backwards as asked (%1%): this connection reads "
                                              "forward from now on.") % why).str());
    forward.Read(items, refusal->row > 0 ? grid.Time(refusal->row - 1) : from, to);
}

// Reading on forward costs the values left, estimated from the first chunk of each item;
// reading the rows left costs a call each with one value per item.
bool WindowReader::RowsAreCheaper(const RowGrid& grid, std::int64_t from, std::int64_t to,
                                  const std::vector<ItemStream*>& pending) const {
    double valuesLeft = 0;
    std::int64_t reached = to;
    for (const ItemStream* stream : pending) {
        // The time of the span the chunk covered (a bound long before the span is not counted).
        const double start = static_cast<double>(std::max(stream->firstTick, from));
        const double last = static_cast<double>(stream->lastTick);
        const double covered = std::max(last - start, 1.0);
        valuesLeft += static_cast<double>(stream->outcome.values) * std::max(static_cast<double>(to) - last, 0.0) / covered;
        reached = std::min(reached, stream->lastTick);
    }
    const double rowsLeft = static_cast<double>(grid.rows - grid.FirstRowFrom(reached));
    return rowsLeft * (plan_.callCost + static_cast<double>(pending.size())) < valuesLeft;
}

} // namespace kesti
