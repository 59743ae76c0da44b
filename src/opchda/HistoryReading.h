#pragma once
// What a read asks the server for and what comes back for one item.
#include <cstddef>
#include <cstdint>
#include <memory>
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

// The values the server returned for one item, in time order. They stay in the server's
// arrays, which the series shares with the other items of the same answers: nothing is
// copied between the server's reply and the sampling. A series is a list of runs of values
// of one item of one answer (continuations and halves of a split read add runs).
class RawSeries {
public:
    HRESULT error = S_OK;
    // The server stopped before the end of the request and would not go on: nothing is known
    // of the item after the last value held here. `error` then tells why it stopped.
    bool cutShort = false;

    std::size_t Count() const { return count_; }
    bool Empty() const { return count_ == 0; }
    std::int64_t Tick(std::size_t k) const;
    DWORD Quality(std::size_t k) const {
        const Place place = Locate(k);
        return place.item->pdwQualities[place.position];
    }
    const VARIANT& Value(std::size_t k) const {
        const Place place = Locate(k);
        return place.item->pvDataValues[place.position];
    }
    std::int64_t LastTick() const { return Tick(count_ - 1); }

    // Adds the values [from, end) of item `index` of the answer.
    void Append(const std::shared_ptr<const RawAnswer>& answer, std::size_t index, std::size_t from = 0);
    // Adds value k of another series.
    void AppendValueOf(const RawSeries& other, std::size_t k);

private:
    struct Run {
        std::shared_ptr<const RawAnswer> answer;
        const OPCHDA_ITEM* item;
        std::size_t begin, end; // positions in the item's arrays
        std::size_t first;      // the series' index of `begin`
    };
    struct Place {
        const OPCHDA_ITEM* item;
        std::size_t position;
    };
    const Run& RunOf(std::size_t k) const;
    Place Locate(std::size_t k) const;
    void AddRun(const std::shared_ptr<const RawAnswer>& answer, const OPCHDA_ITEM* item, std::size_t begin, std::size_t end);

    std::vector<Run> runs_;
    std::size_t count_ = 0;
};

// Whether an item of a ReadRaw answer holds the values its count promises: a careless server
// may give a count with a NULL time, quality or value array (the wire allows it). Such an
// item is never read from.
bool HoldsItsValues(const OPCHDA_ITEM& item);

std::int64_t TicksOf(const FILETIME& ft);
FILETIME FileTimeOfTicks(std::int64_t ticks);

} // namespace kesti
