#pragma once
// Sample and hold of one item's values into the rows, as the values arrive: each row gets
// the newest value at or before its time, missing where that value's quality is bad or
// uncertain. Only the held value is kept between answers, so a read of any span holds one
// value per item. The records of the item's read are written when it ends.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "model/ItemHandles.h"
#include "model/ValueTable.h"
#include "opchda/HistoryReading.h"
#include "platform/ComMemory.h"

namespace kesti {

// The time of row r (every row of a current read is "now", later than any value).
struct RowTimes {
    std::int64_t first = 0;
    std::int64_t step = 0;
    bool current = false;

    std::int64_t operator()(std::size_t r) const {
        return current ? std::numeric_limits<std::int64_t>::max() : first + static_cast<std::int64_t>(r) * step;
    }
};

// The rows a record tells of, by their times: how many, the first and the last.
struct RowSpan {
    std::size_t count = 0;
    std::int64_t first = 0, last = 0;

    void Add(std::int64_t rowTicks) {
        if (count++ == 0) first = rowTicks;
        last = rowTicks;
    }
    // "\nRows left missing: N, from <first> to <last>."
    std::string MissingText() const;
};

class ItemSampler {
public:
    ItemSampler(const ServerItem& item, const RowTimes& times, ValueTable& table, bool debug)
        : item_(item), times_(times), table_(table), debug_(debug) {}
    ItemSampler(ItemSampler&&) = default;
    ItemSampler& operator=(ItemSampler&&) = delete;

    // The item's next value (see RawValueSink::Take): the rows before its time get the value
    // held until now.
    void Take(std::int64_t tick, DWORD quality, const VARIANT& value);
    // Rows at or before `tick` get the value held now.
    void KnownThrough(std::int64_t tick);
    // Copies the held value out of the answer about to be freed.
    void KeepHeldValue();
    // Fills the rows up to what is known of the item and writes its records: the Debug dump
    // of its values, the read cut short, values out of time order, the bad or uncertain
    // values held (one Warning per value and tag), values of a type it cannot read (one
    // Warning) and array values of the wrong size (one Error). Never throws.
    void End(const ItemOutcome& outcome) noexcept;

private:
    struct Held {
        std::int64_t tick = 0;
        DWORD quality = 0;
        const VARIANT* value = nullptr; // in the answer, or `owned`
        platform::UniqueVariant owned;
        std::size_t number = 0; // counts the values taken: which one is held
    };
    // The rows one bad or uncertain held value leaves missing.
    struct BadValueRows {
        std::size_t number;
        std::string valueText;
        RowSpan rows;
    };

    void FillRowsThrough(std::int64_t tick);
    void FillRowsBefore(std::int64_t tick);
    void FillRow(std::size_t r);
    void NoteBadValue(std::int64_t rowTicks);
    void WriteRecords(const ItemOutcome& outcome) const;

    const ServerItem& item_;
    RowTimes times_;
    ValueTable& table_;
    bool debug_;
    std::size_t nextRow_ = 0;
    bool holding_ = false;
    Held held_;
    std::size_t taken_ = 0;
    std::string dumped_; // the Debug text of the first values
    std::vector<BadValueRows> badValues_;
    std::size_t unreadableRows_ = 0; // rows whose value is of a type that cannot be read
    unsigned unreadableType_ = 0;     // the type of the first of them
    std::size_t mismatchRead_ = 0;   // elements of the first array value of the wrong size
    RowSpan mismatched_;
};

} // namespace kesti
