#include "opchda/ItemStream.h"

#include <algorithm>
#include <numeric>

#include "base/ComError.h"
#include "opchda/OpcHdaConstants.h"
#include "opchda/RawReader.h"

namespace kesti {
namespace {

bool InTimeOrder(const OPCHDA_ITEM& answer) {
    for (DWORD k = 1; k < answer.dwCount; ++k)
        if (TicksOf(answer.pftTimeStamps[k]) < TicksOf(answer.pftTimeStamps[k - 1])) return false;
    return true;
}

// The positions of the answer's values in time order; a repeated time keeps the order sent.
std::vector<DWORD> TimeOrder(const OPCHDA_ITEM& answer) {
    std::vector<DWORD> order(answer.dwCount);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](DWORD a, DWORD b) {
        return TicksOf(answer.pftTimeStamps[a]) < TicksOf(answer.pftTimeStamps[b]);
    });
    return order;
}

} // namespace

std::vector<ItemStream*> LiveItems(const std::vector<ItemStream*>& items) {
    std::vector<ItemStream*> live;
    for (ItemStream* item : items)
        if (!item->ended) live.push_back(item);
    return live;
}

std::vector<OPCHANDLE> HandlesOf(const std::vector<ItemStream*>& items) {
    std::vector<OPCHANDLE> handles;
    handles.reserve(items.size());
    for (const ItemStream* item : items) handles.push_back(item->handle);
    return handles;
}

std::size_t HandOn(ItemStream& stream, const OPCHDA_ITEM& answer, std::int64_t limit, RawValueSink& sink) {
    std::vector<DWORD> order;
    if (!InTimeOrder(answer)) {
        order = TimeOrder(answer);
        stream.outcome.disordered = true;
    }
    std::size_t handed = 0;
    for (DWORD n = 0; n < answer.dwCount; ++n) {
        const DWORD k = order.empty() ? n : order[n];
        if (answer.pdwQualities[k] & opc::kNoBound) continue; // a placeholder holds no value
        const std::int64_t tick = TicksOf(answer.pftTimeStamps[k]);
        if (tick >= limit) break;
        if (stream.any && tick < stream.lastTick) continue;
        sink.Take(stream.index, tick, answer.pdwQualities[k], answer.pvDataValues[k]);
        if (!stream.any) stream.firstTick = tick;
        stream.any = true;
        stream.lastTick = tick;
        ++stream.outcome.values;
        ++handed;
    }
    return handed;
}

void EndComplete(ItemStream& stream, RawValueSink& sink) {
    if (stream.ended) return;
    stream.ended = true;
    stream.outcome.result = stream.any ? S_OK : (stream.lastAnswer == opc::kMoreData ? S_OK : stream.lastAnswer);
    stream.outcome.knownUntil = kNoLimit;
    sink.End(stream.index, stream.outcome);
}

void EndCutShort(ItemStream& stream, HRESULT why, std::int64_t knownUntil, RawValueSink& sink) {
    if (stream.ended) return;
    stream.ended = true;
    stream.outcome.result = why;
    stream.outcome.cutShort = true;
    stream.outcome.knownUntil = knownUntil;
    sink.End(stream.index, stream.outcome);
}

void EndCutShortAtLast(ItemStream& stream, HRESULT why, RawValueSink& sink) {
    EndCutShort(stream, why, stream.any ? stream.lastTick : std::numeric_limits<std::int64_t>::min(), sink);
}

void EndFailed(ItemStream& stream, HRESULT why, RawValueSink& sink) {
    if (stream.ended) return;
    if (stream.any || why == E_POINTER || why == kTimeLimitPassed) {
        EndCutShortAtLast(stream, why, sink);
        return;
    }
    stream.ended = true;
    stream.outcome.result = why;
    stream.outcome.knownUntil = std::numeric_limits<std::int64_t>::min();
    sink.End(stream.index, stream.outcome);
}

} // namespace kesti
