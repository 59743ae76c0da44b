#include "opchda/IntervalReader.h"

#include <algorithm>

#include "base/ComError.h"
#include "opchda/OpcHdaConstants.h"

namespace kesti {
namespace {

// A read makes at most this many calls to continue its items (and creeps on for at most the
// plan's continuation time); the items left then are cut short.
constexpr int kMaxContinuations = 100000;
// Halving stops at 2^10 pieces, or at pieces of one second.
constexpr int kMaxSplitDepth = 10;
constexpr std::int64_t kShortestSpan = 10'000'000;

} // namespace

DWORD ChunkSizes::PerItem(std::size_t items) const {
    if (perCall == 0 || items == 0) return 0;
    const DWORD share = static_cast<DWORD>(perCall / items);
    return std::min(std::max(share, leastPerItem), mostPerItem);
}

void IntervalReader::Call(std::int64_t from, std::int64_t to, DWORD values, const std::vector<ItemStream*>& items,
                          RawCall& call) {
    ++calls_;
    platform::RequestTime start, end;
    start.SetTime(FileTimeOfTicks(from));
    end.SetTime(FileTimeOfTicks(to));
    reader_.ReadRaw(start.Get(), end.Get(), values, TRUE, HandlesOf(items), call);
    if (call.result == opc::kMaxExceeded && values > 0) {
        // More values asked than the server allows per call (its maximum unknown or not kept
        // to): from now on the read asks for what it gives at once.
        sizes_ = ChunkSizes{};
        Call(from, to, 0, items, call);
    }
}

bool IntervalReader::ShouldSplit(HRESULT result, const Piece& piece) const {
    return (result == opc::kMaxExceeded || result == E_OUTOFMEMORY) && piece.depth < kMaxSplitDepth &&
           piece.to - piece.from >= 2 * kShortestSpan;
}

void IntervalReader::PieceDone(ItemStream& stream, const Piece& piece) {
    if (piece.last) EndComplete(stream, sink_);
}

bool IntervalReader::GoesOn(ItemStream& stream, HRESULT result, bool progressed, const Piece& piece) {
    if (result != opc::kMoreData) {
        PieceDone(stream, piece);
        return false;
    }
    if (stream.any && stream.lastTick >= piece.to) { // known to the end, whatever the server promises
        PieceDone(stream, piece);
        return false;
    }
    if (!progressed) { // more promised, nothing newer given
        EndCutShortAtLast(stream, result, sink_);
        return false;
    }
    return true;
}

std::vector<ItemStream*> IntervalReader::BeginPiece(const Piece& piece, const std::vector<ItemStream*>& items,
                                                    DWORD valuesPerItem, bool firstOfRead) {
    std::vector<ItemStream*> pending, halved;
    {
        RawCall call;
        Call(piece.from, piece.to, valuesPerItem, items, call);
        if (ShouldSplit(call.result, piece)) {
            ReadHalves(piece, items, call.result);
            return {};
        }
        if (FAILED(call.result) && firstOfRead) throw ComError(call.result, "IOPCHDA_SyncRead::ReadRaw");
        for (std::size_t i = 0; i < items.size(); ++i) {
            ItemStream& stream = *items[i];
            const HRESULT result = call.ItemResultOf(i);
            stream.lastAnswer = result;
            if (ShouldSplit(result, piece)) {
                halved.push_back(&stream);
            } else if (FAILED(result)) {
                EndFailed(stream, result, sink_);
            } else {
                const bool hadAny = stream.any;
                const bool handed = HandOn(stream, call.items[i], piece.Limit(), sink_) > 0;
                if (GoesOn(stream, result, handed || hadAny, piece)) pending.push_back(&stream);
            }
        }
        sink_.AnswerEnds();
    } // the answer is freed before the next call
    if (!halved.empty()) ReadHalves(piece, halved, halved.front()->lastAnswer);
    return pending;
}

void IntervalReader::ContinuePiece(const Piece& piece, std::vector<ItemStream*> pending) {
    int rounds = 0;
    while (!pending.empty()) {
        // Items that stopped at the same time go on in one call.
        std::stable_sort(pending.begin(), pending.end(),
                         [](const ItemStream* a, const ItemStream* b) { return a->lastTick < b->lastTick; });
        const std::int64_t from = pending.front()->lastTick;
        const auto groupEnd = std::find_if(pending.begin(), pending.end(), [&](const ItemStream* s) { return s->lastTick != from; });
        const std::vector<ItemStream*> group(pending.begin(), groupEnd);
        std::vector<ItemStream*> rest(groupEnd, pending.end());
        if (++rounds > kMaxContinuations || creeping_ > creepingLimit_) {
            for (ItemStream* stream : pending) EndCutShortAtLast(*stream, opc::kMoreData, sink_);
            return;
        }
        const DWORD values = sizes_.PerItem(group.size());
        const auto begin = std::chrono::steady_clock::now();
        RawCall call;
        Call(from, piece.to, values, group, call);
        std::size_t handed = 0;
        for (std::size_t i = 0; i < group.size(); ++i) {
            ItemStream& stream = *group[i];
            const HRESULT result = call.ItemResultOf(i);
            stream.lastAnswer = result;
            // A continuation repeats the value it starts at: an answer without any is not to be trusted.
            if (FAILED(result) || call.items[i].dwCount == 0) {
                EndCutShortAtLast(stream, result, sink_);
                continue;
            }
            handed += HandOn(stream, call.items[i], piece.Limit(), sink_);
            if (GoesOn(stream, result, stream.lastTick > from, piece)) rest.push_back(&stream);
        }
        sink_.AnswerEnds();
        const std::size_t asked = static_cast<std::size_t>(values) * group.size();
        if (handed < std::max<std::size_t>(2 * group.size(), asked / 1000)) creeping_ += std::chrono::steady_clock::now() - begin;
        pending = std::move(rest);
    }
}

void IntervalReader::ReadPiece(const Piece& piece, const std::vector<ItemStream*>& items) {
    const std::vector<ItemStream*> live = LiveItems(items);
    if (live.empty()) return;
    ContinuePiece(piece, BeginPiece(piece, live, sizes_.PerItem(live.size()), false));
}

void IntervalReader::ReadHalves(const Piece& piece, const std::vector<ItemStream*>& items, HRESULT reason) {
    if (splitReason_ == S_OK) splitReason_ = reason;
    const std::int64_t middle = piece.from + (piece.to - piece.from) / 2;
    ReadPiece(Piece{piece.from, middle, false, piece.depth + 1}, items);
    ReadPiece(Piece{middle, piece.to, piece.last, piece.depth + 1}, items);
}

std::vector<ItemStream*> IntervalReader::Begin(const std::vector<ItemStream*>& items, std::int64_t from, std::int64_t to,
                                               DWORD valuesPerItem) {
    return BeginPiece(Piece{from, to, true, 0}, items, valuesPerItem, true);
}

void IntervalReader::Continue(std::vector<ItemStream*> pending, std::int64_t to) {
    if (pending.empty()) return;
    ContinuePiece(Piece{0, to, true, 0}, std::move(pending));
}

void IntervalReader::Read(const std::vector<ItemStream*>& items, std::int64_t from, std::int64_t to) {
    ReadPiece(Piece{from, to, true, 0}, items);
}

} // namespace kesti
