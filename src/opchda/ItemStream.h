#pragma once
// The state of one item while a read runs, and the one path by which an answer's values of
// it reach the sink: placeholders without a bound dropped, values put in time order, nothing
// older than what was handed on before.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "opchda/HistoryReading.h"

namespace kesti {

constexpr std::int64_t kNoLimit = std::numeric_limits<std::int64_t>::max();

struct ItemStream {
    OPCHANDLE handle = 0;
    std::size_t index = 0; // the item's position in the read
    ItemOutcome outcome;
    HRESULT lastAnswer = S_OK; // the code of the item's latest answer
    bool ended = false;
    bool any = false; // a value was handed on
    std::int64_t firstTick = 0, lastTick = 0;
};

// The items of a read that are not over yet.
std::vector<ItemStream*> LiveItems(const std::vector<ItemStream*>& items);
std::vector<OPCHANDLE> HandlesOf(const std::vector<ItemStream*>& items);

// Hands the answer's values of the item at times before `limit` on to the sink; returns how
// many. Values at times before the item's newest one were sent already and are passed over.
std::size_t HandOn(ItemStream& stream, const OPCHDA_ITEM& answer, std::int64_t limit, RawValueSink& sink);

// Ends the item: complete, or cut short after what is known of it with `why`.
void EndComplete(ItemStream& stream, RawValueSink& sink);
void EndCutShort(ItemStream& stream, HRESULT why, std::int64_t knownUntil, RawValueSink& sink);
// Cut short after the newest value handed on (nothing known when none was).
void EndCutShortAtLast(ItemStream& stream, HRESULT why, RawValueSink& sink);
// Ends a failed item: cut short after its values when it had some, its answer could not be
// read or the read's time ran out, else without values and with the server's reason (its
// rows stay missing).
void EndFailed(ItemStream& stream, HRESULT why, RawValueSink& sink);

} // namespace kesti
