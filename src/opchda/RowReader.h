#pragma once
// Reading a window one row at a time, newest value first: for row r one ReadRaw from the
// row's time back to the previous row's time, one value per item, no bounds, which OPC HDA
// 1.20 answers with the newest value in that stretch (the previous row's value holds when it
// has none). Row 0 asks for the one value that ends at its time (or, without unspecified
// times, for the bound at or before it and every value at it). One call serves all items;
// what it costs grows with the rows, not with the values stored between them.
#include <cstdint>
#include <optional>
#include <vector>

#include "opchda.h"
#include "opchda/ItemStream.h"
#include "opchda/RawReader.h"

namespace kesti {

// The row times of a read: first + r x step for r < rows.
struct RowGrid {
    std::int64_t first = 0;
    std::int64_t step = 0;
    std::size_t rows = 0;

    std::int64_t Time(std::size_t r) const { return first + static_cast<std::int64_t>(r) * step; }
    // The first row at or after `tick` (rows when none is).
    std::size_t FirstRowFrom(std::int64_t tick) const;
};

// Where a server's answers to backward reads could not be used: the row, and why.
struct BackwardRefusal {
    std::size_t row;
    HRESULT result;      // the call's failure, or S_OK for an answer outside the stretch asked
};

class RowReader {
public:
    // `unspecifiedStart`: row 0 asks with an unspecified start (the connection's use of null
    // time values), else forward from its time with bounds.
    RowReader(RawReader& reader, RawValueSink& sink, bool unspecifiedStart)
        : reader_(reader), sink_(sink), unspecifiedStart_(unspecifiedStart) {}

    // Reads rows [firstRow, rows) of the items and ends them, or stops at the first call the
    // server refuses as a whole or answers outside the stretch asked, leaving the items open.
    // A later failure cuts its items short; a lost server throws ComError.
    std::optional<BackwardRefusal> Read(const std::vector<ItemStream*>& items, const RowGrid& grid, std::size_t firstRow);

    int Calls() const { return calls_; }

private:
    void CallRow(const RowGrid& grid, std::size_t r, const std::vector<ItemStream*>& items, RawCall& call);
    // Whether every value of the answer lies in the stretch of row r, and is not older than
    // a value of the stretch that arrived before.
    static bool WithinStretch(const RawCall& call, const std::vector<ItemStream*>& items, const RowGrid& grid,
                              std::size_t r, bool unspecifiedStart);

    RawReader& reader_;
    RawValueSink& sink_;
    bool unspecifiedStart_;
    int calls_ = 0;
};

} // namespace kesti
