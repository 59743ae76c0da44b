#pragma once
// The raw values of items over one request, the whole of them: one ReadRaw for all items,
// the continuation of each item the server cut short, and, where the server finds a span of
// explicit times too long (OPC_E_MAXEXCEEDED or E_OUTOFMEMORY, for the call or for one item),
// the halves of the span read apart and joined in time order.
#include <cstdint>
#include <vector>

#include "opchda.h"
#include "opchda/HistoryReading.h"

namespace kesti {

class IntervalReader {
public:
    explicit IntervalReader(IOPCHDA_SyncRead& reader) : reader_(reader) {}

    // One series per handle, in the handles' order. Throws ComError when the server fails a
    // call as a whole and halving cannot help.
    std::vector<RawSeries> Read(ReadRequest& request, const std::vector<OPCHANDLE>& handles);

private:
    struct Span {
        std::int64_t from;
        std::int64_t to;
        BOOL bounds;
        int depth;
    };

    std::vector<RawSeries> ReadSpan(const Span& span, const std::vector<OPCHANDLE>& handles);
    std::vector<RawSeries> ReadHalves(const Span& span, const std::vector<OPCHANDLE>& handles, HRESULT reason);
    // Whether the server's answer asks for a shorter span, and the span can be halved.
    bool ShouldSplit(HRESULT result, const Span& span) const;
    void ContinueAfterMoreData(const FILETIME& end, BOOL bounds, OPCHANDLE handle, RawSeries& series);
    HRESULT Call(OPCHDA_TIME* start, OPCHDA_TIME* end, DWORD numValues, BOOL bounds,
                 const std::vector<OPCHANDLE>& handles, RawAnswer& items,
                 platform::UniqueCoTaskMemArray<HRESULT>& errors);

    IOPCHDA_SyncRead& reader_;
    int calls_ = 0;
    HRESULT splitReason_ = S_OK; // the first answer that made a span split
};

// Joins the values of two adjacent spans, left before right: the seam's bounding values are
// not doubled and no "no bound" placeholder is left inside the series. A left part cut short
// ends the whole.
RawSeries JoinSpans(RawSeries left, RawSeries right);

} // namespace kesti
