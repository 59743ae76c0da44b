#pragma once
// What a read asks the server for and what comes back for one item.
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

// The values the server returned for one item, in time order, owned here.
struct RawSeries {
    HRESULT error = S_OK;
    std::vector<std::int64_t> ticks; // FILETIME as 100-ns intervals since 1601
    std::vector<DWORD> qualities;
    std::vector<platform::UniqueVariant> values;
    // The server stopped before the end of the request and would not go on: nothing is known
    // of the item after the last value held here. `error` then tells why it stopped.
    bool cutShort = false;

    std::size_t Count() const { return values.size(); }
    // Takes over the item's values from position `from` on, without copying a VARIANT; what
    // is left in the item is freed with it.
    void Append(OPCHDA_ITEM& item, std::size_t from = 0);
};

std::int64_t TicksOf(const FILETIME& ft);
FILETIME FileTimeOfTicks(std::int64_t ticks);

} // namespace kesti
