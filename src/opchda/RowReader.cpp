#include "opchda/RowReader.h"

#include <algorithm>
#include <limits>

#include "opchda/OpcHdaConstants.h"

namespace kesti {
namespace {

bool EveryItemFailed(const RawCall& call, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (SUCCEEDED(call.ItemResultOf(i))) return false;
    return true;
}

} // namespace

std::size_t RowGrid::FirstRowFrom(std::int64_t tick) const {
    if (rows == 0 || tick <= first) return 0;
    if (step <= 0) return rows;
    const std::int64_t r = (tick - first + step - 1) / step;
    return r >= static_cast<std::int64_t>(rows) ? rows : static_cast<std::size_t>(r);
}

void RowReader::CallRow(const RowGrid& grid, std::size_t r, const std::vector<ItemStream*>& items, RawCall& call) {
    ++calls_;
    platform::RequestTime start, end;
    BOOL bounds = FALSE;
    if (r > 0) {
        start.SetTime(FileTimeOfTicks(grid.Time(r)));
        end.SetTime(FileTimeOfTicks(grid.Time(r - 1)));
    } else if (unspecifiedStart_) { // the one value that ends at the row's time
        start.SetText(L"");
        end.SetTime(FileTimeOfTicks(grid.first));
    } else { // the bound at or before the row's time, and every value at that time
        start.SetTime(FileTimeOfTicks(grid.first));
        end.SetTime(FileTimeOfTicks(grid.first + 1));
        bounds = TRUE;
    }
    reader_.ReadRaw(start.Get(), end.Get(), bounds ? 0 : 1, bounds, HandlesOf(items), call);
}

bool RowReader::WithinStretch(const RawCall& call, const std::vector<ItemStream*>& items, const RowGrid& grid,
                              std::size_t r, bool unspecifiedStart) {
    const std::int64_t newest = grid.Time(r);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (FAILED(call.ItemResultOf(i))) continue;
        // The previous row's time itself is allowed (a server may take the end as inclusive).
        // A value of the stretch that arrived before must come again, or a newer one.
        std::int64_t oldest = r > 0 ? grid.Time(r - 1) : std::numeric_limits<std::int64_t>::min();
        const bool known = items[i]->any && items[i]->lastTick > oldest && items[i]->lastTick <= newest;
        if (known) oldest = items[i]->lastTick;
        bool answered = false;
        const OPCHDA_ITEM& answer = call.items[i];
        for (DWORD k = 0; k < answer.dwCount; ++k) {
            if (answer.pdwQualities[k] & opc::kNoBound) continue;
            const std::int64_t tick = TicksOf(answer.pftTimeStamps[k]);
            if (r == 0 && !unspecifiedStart && tick > newest) continue; // the bound after row 0's time
            if (tick > newest || tick < oldest) return false;
            answered = true;
        }
        if (known && !answered) return false;
    }
    return true;
}

std::optional<BackwardRefusal> RowReader::Read(const std::vector<ItemStream*>& items, const RowGrid& grid,
                                               std::size_t firstRow) {
    for (std::size_t r = firstRow; r < grid.rows; ++r) {
        const std::vector<ItemStream*> live = LiveItems(items);
        if (live.empty()) return std::nullopt;
        const bool firstCall = calls_ == 0;
        RawCall call;
        CallRow(grid, r, live, call);
        // A read whose time ran out tells nothing of how the server reads.
        if (firstCall && call.result != kTimeLimitPassed && EveryItemFailed(call, live.size()))
            return BackwardRefusal{r, call.ItemResultOf(0)};
        if (!WithinStretch(call, live, grid, r, unspecifiedStart_)) return BackwardRefusal{r, S_OK};
        const std::int64_t known = r > 0 ? grid.Time(r - 1) : std::numeric_limits<std::int64_t>::min();
        for (std::size_t i = 0; i < live.size(); ++i) {
            ItemStream& stream = *live[i];
            const HRESULT result = call.ItemResultOf(i);
            stream.lastAnswer = result;
            if (FAILED(result)) {
                if (r == 0) EndFailed(stream, result, sink_);
                else EndCutShort(stream, result, stream.any ? std::max(known, stream.lastTick) : known, sink_);
                continue;
            }
            HandOn(stream, call.items[i], grid.Time(r) + 1, sink_);
        }
        sink_.AnswerEnds();
        for (ItemStream* stream : LiveItems(live)) sink_.KnownThrough(stream->index, grid.Time(r));
    }
    for (ItemStream* stream : LiveItems(items)) EndComplete(*stream, sink_);
    return std::nullopt;
}

} // namespace kesti
