#pragma once
// What a read asks the server for, and how the values that come back reach their reader:
// one value at a time, in time order per item, while the server's answer that holds them
// is alive. Nothing keeps an answer once its values are handed on, so a read holds at most
// one answer at a time, whatever its span.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/TimeConversion.h"
#include "opchda.h"
#include "platform/ComMemory.h"
#include "platform/OpcHdaMemory.h"

namespace kesti {

// Rows at start + r x step for r < rows; a start that is not-a-date-time with one row asks
// for the current values.
struct ReadWindow {
    TimePoint start;
    Duration step;
    std::size_t rows = 1;

    bool IsCurrent() const { return start.is_not_a_date_time() && rows == 1; }
};

// The arguments of ReadRaw for a window: times as text ("NOW") or FILETIME, the number of
// values, whether bounding values are wanted.
struct ReadRequest {
    platform::RequestTime start;
    platform::RequestTime end;
    DWORD numValues = 0;
    BOOL bounds = TRUE;
};

// One answer of ReadRaw: the items' values in the server's own arrays.
using RawAnswer = platform::UniqueCoTaskMemArray<OPCHDA_ITEM>;

// How the reading of one item ended.
struct ItemOutcome {
    // S_OK, or why the item has no values (OPC_S_NODATA), or the failure that stopped it.
    HRESULT result = S_OK;
    // The server stopped before the end of the read and would not go on: nothing is known of
    // the item after `knownUntil`.
    bool cutShort = false;
    std::int64_t knownUntil = 0;
    // The values handed on (a value the server sent again at a continuation counts again).
    std::size_t values = 0;
    // The server sent values out of time order; they were handed on in time order.
    bool disordered = false;
};

// The receiver of a read's values; `item` is the position of the item's handle in the read.
class RawValueSink {
public:
    virtual ~RawValueSink() = default;
    // The next value of an item: never older than the one before; a value at the same time
    // as the one before comes after it (a later value of that time, or the same one sent
    // again) and replaces it. `value` lives until AnswerEnds.
    virtual void Take(std::size_t item, std::int64_t tick, DWORD quality, const VARIANT& value) = 0;
    // No value at or before `tick` is left to come for the item.
    virtual void KnownThrough(std::size_t item, std::int64_t tick) = 0;
    // The answer that holds the values taken so far is about to be freed.
    virtual void AnswerEnds() = 0;
    // The item's reading is over; nothing more comes for it.
    virtual void End(std::size_t item, const ItemOutcome& outcome) = 0;
};

// Whether an item of a ReadRaw answer holds the values its count promises: a careless server
// may give a count with a NULL time, quality or value array (the wire allows it). Such an
// item is never read from.
bool HoldsItsValues(const OPCHDA_ITEM& item);

std::int64_t TicksOf(const FILETIME& ft);
FILETIME FileTimeOfTicks(std::int64_t ticks);

} // namespace kesti
