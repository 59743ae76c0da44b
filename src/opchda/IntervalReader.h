#pragma once
// Reading items forward over an interval, a bounded number of values at a time: one ReadRaw
// for the items, then, for each item the server has more values of (OPC_S_MOREDATA), calls
// from its newest value on (items that stopped at the same time share a call), until the
// end. Where the server finds the interval too long (OPC_E_MAXEXCEEDED or E_OUTOFMEMORY, for
// the call or for one item), its halves are read apart, the earlier first. Each answer's
// values are handed on and freed before the next call.
#include <chrono>
#include <cstdint>
#include <vector>

#include "opchda.h"
#include "opchda/ItemStream.h"
#include "opchda/RawReader.h"

namespace kesti {

// How many values a call asks per item: a read of n items asks perCall / n, within
// [leastPerItem, mostPerItem]; 0 asks for every value the server gives at once.
struct ChunkSizes {
    DWORD perCall = 0;
    DWORD leastPerItem = 0;
    DWORD mostPerItem = 0;

    DWORD PerItem(std::size_t items) const;
};

class IntervalReader {
public:
    // Continuing items after OPC_S_MOREDATA stops once continuations that bring (almost)
    // nothing new have taken `creepingTime` of the read: a server that creeps on for ever.
    IntervalReader(RawReader& reader, RawValueSink& sink, ChunkSizes sizes, std::chrono::milliseconds creepingTime)
        : reader_(reader), sink_(sink), sizes_(sizes), creepingLimit_(creepingTime) {}

    // The first call of a read over [from, to] for the items, asking `valuesPerItem` values of
    // each: the items whose values go on after it, to be continued. Throws ComError when the
    // call fails as a whole and halving the interval cannot help.
    std::vector<ItemStream*> Begin(const std::vector<ItemStream*>& items, std::int64_t from, std::int64_t to,
                                   DWORD valuesPerItem);
    // Reads the items on from their newest values to `to` and ends them.
    void Continue(std::vector<ItemStream*> pending, std::int64_t to);
    // Reads the items over [from, to] and ends them. A failed call cuts its items short; only a
    // lost server throws (ComError).
    void Read(const std::vector<ItemStream*>& items, std::int64_t from, std::int64_t to);

    int Calls() const { return calls_; }
    // The first answer that made an interval be read in halves, or S_OK.
    HRESULT SplitReason() const { return splitReason_; }

private:
    struct Piece {
        std::int64_t from, to;
        bool last;  // no piece of the read comes after it: its items end with it
        int depth;
        std::int64_t Limit() const { return last ? kNoLimit : to; } // values at or after the next piece's start are its
    };

    std::vector<ItemStream*> BeginPiece(const Piece& piece, const std::vector<ItemStream*>& items, DWORD valuesPerItem,
                                        bool firstOfRead);
    void ContinuePiece(const Piece& piece, std::vector<ItemStream*> pending);
    void ReadPiece(const Piece& piece, const std::vector<ItemStream*>& items);
    void ReadHalves(const Piece& piece, const std::vector<ItemStream*>& items, HRESULT reason);
    bool ShouldSplit(HRESULT result, const Piece& piece) const;
    // One call of the items from `from`; a refusal of too many values is asked again for what
    // the server gives at once. Throws ComError for a lost server only.
    void Call(std::int64_t from, std::int64_t to, DWORD values, const std::vector<ItemStream*>& items, RawCall& call);
    // After an item's answer with code `result`: whether it goes on being read in this piece.
    bool GoesOn(ItemStream& stream, HRESULT result, bool progressed, const Piece& piece);
    void PieceDone(ItemStream& stream, const Piece& piece);

    RawReader& reader_;
    RawValueSink& sink_;
    ChunkSizes sizes_;
    std::chrono::steady_clock::duration creepingLimit_;
    std::chrono::steady_clock::duration creeping_{}; // time of continuations that brought almost nothing
    int calls_ = 0;
    HRESULT splitReason_ = S_OK;
};

} // namespace kesti
