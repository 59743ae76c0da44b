#pragma once
// One item's part of a ReadRaw answer. The sound answer is what a plain historian gives: the
// values of the asked stretch, in the asked direction, at most as many as asked, OPC_S_MOREDATA
// when more are left and OPC_S_NODATA for none. The hostile ones break one promise each:
// counts with NULL arrays, times out of order, repeated, wild or far away, continuations that
// creep by 100 ns or run backwards for ever, OPC_S_NODATA with values, more values than asked.
#include <cstdint>

#include "opchda.h"

#include "Chaos.h"

namespace kesti::chaos {

struct RawRequest {
    bool startGiven = true, endGiven = true;
    uint64_t start = 0, end = 0;
    DWORD numValues = 0;
    bool bounds = false;
    DWORD serverMaximum = 2000;
    bool hugeTextUsed = false; // at most one value of megabytes per answer
};

// Fills `item` (zeroed before) for the item of this server handle and gives its result.
HRESULT FillRawItem(Chaos& chaos, Chaos::Call& call, RawRequest& request, OPCHANDLE handle, OPCHDA_ITEM& item);

// The time a side of a request stands for: its FILETIME, or now for a text (any text but the
// empty one, which leaves the side unspecified).
bool TimeOf(const OPCHDA_TIME& time, uint64_t& ticks);

} // namespace kesti::chaos
