#pragma once
// The shape of one read of a window: the one call of a current or point read, or, for a span
// of rows, forward chunks of a bounded number of values (continued to the end), or one
// backward read per row. Automatic reads ask a first chunk sized to the rows; when its values
// show many raw values per row, the rows left are read one at a time, where that costs fewer
// values than reading on (a call counted as ReadPlan::callCost values). Whatever the shape,
// the sink sees the same values for each row: the newest at or before the row's time.
#include <chrono>
#include <vector>

#include "config/ReadShape.h"
#include "opchda.h"
#include "opchda/HistoryReading.h"
#include "opchda/IntervalReader.h"
#include "opchda/RawReader.h"
#include "opchda/RowReader.h"

namespace kesti {

// What a read of the connection may ask and what it learned of the server.
struct ReadPlan {
    ReadShape shape = ReadShape::Automatic;
    bool unspecifiedStart = true; // the connection's use of null time values
    DWORD serverMaxValues = 0;    // the server's maximum of values per item and call, 0: none
    bool backwardRefused = false; // the server refused or mishandled a backward read
    // How long a read goes on continuing items with calls that bring (almost) nothing new;
    // the items left then are cut short (a server that promises more for ever, a little at a
    // time).
    std::chrono::milliseconds continuationTime{30000};
    // How long one read may go on asking the server (the ServerTimeLimit setting): once it has
    // passed, no further call is made and the items not finished are cut short.
    std::chrono::milliseconds timeLimit{600000};
    // How many values one call is worth when an automatic read chooses between reading on and
    // reading row by row (the ReadCallCost setting).
    double callCost = 2000;
};

class WindowReader {
public:
    // The read's time limit counts from here.
    WindowReader(IOPCHDA_SyncRead& reader, RawValueSink& sink, ReadPlan& plan)
        : reader_(reader, RawReader::Clock::now() + plan.timeLimit), sink_(sink), plan_(plan) {}

    // Reads the request's items (one per handle, in order) and ends each in the sink. Throws
    // ComError when the read's first call fails as a whole or the server is lost.
    void Read(const ReadWindow& window, ReadRequest& request, const std::vector<OPCHANDLE>& handles);

private:
    void ReadOnce(ReadRequest& request, const std::vector<ItemStream*>& items);
    void ReadSpan(const RowGrid& grid, std::int64_t from, std::int64_t last, const std::vector<ItemStream*>& items);
    // Rows [firstRow, rows) one at a time; forward from the last row read when the server
    // refuses that.
    void ReadRows(const RowGrid& grid, std::size_t firstRow, std::int64_t from, std::int64_t to,
                  const std::vector<ItemStream*>& items, IntervalReader& forward);
    bool RowsAreCheaper(const RowGrid& grid, std::int64_t from, std::int64_t to, const std::vector<ItemStream*>& pending) const;
    ChunkSizes Chunks() const;

    RawReader reader_;
    RawValueSink& sink_;
    ReadPlan& plan_;
};

} // namespace kesti
