#pragma once
// The one way a read calls ReadRaw: never after the read's time limit, and with the answer's
// out-parameters checked before anything reads them. A success without an answer array is
// E_POINTER for the call; an item whose count is not held by its time, quality and value
// arrays is E_POINTER for that item; a lost server throws.
#include <chrono>
#include <cstddef>
#include <vector>

#include "opchda.h"
#include "opchda/HistoryReading.h"

namespace kesti {

// The result of the calls a read no longer makes once its time limit has passed
// (HRESULT_FROM_WIN32(ERROR_TIMEOUT)).
constexpr HRESULT kTimeLimitPassed = static_cast<HRESULT>(0x800705B4);

// One ReadRaw of items; its answer lives as long as the call object.
struct RawCall {
    HRESULT result = S_OK;
    RawAnswer items;
    platform::UniqueCoTaskMemArray<HRESULT> errors;

    // The code of item i: the call's failure, E_POINTER for an item whose arrays do not hold
    // its count, else the server's code for the item (S_OK when it sent no codes).
    HRESULT ItemResultOf(std::size_t i) const;
};

class RawReader {
public:
    using Clock = std::chrono::steady_clock;

    RawReader(IOPCHDA_SyncRead& reader, Clock::time_point deadline) : reader_(reader), deadline_(deadline) {}

    // Calls ReadRaw for the handles, or gives kTimeLimitPassed without calling once the
    // deadline has passed. Throws ComError only for a lost server.
    void ReadRaw(OPCHDA_TIME* start, OPCHDA_TIME* end, DWORD numValues, BOOL bounds, const std::vector<OPCHANDLE>& handles,
                 RawCall& call);

private:
    IOPCHDA_SyncRead& reader_;
    Clock::time_point deadline_;
};

} // namespace kesti
