#pragma once
// Writing rows of values to the server's history.
#include <utility>
#include <vector>

#include "discovery/DcomIdentity.h"
#include "opchda.h"
#include "platform/ComMemory.h"
#include "platform/ComPtr.h"

namespace kesti {

// The per-item outcome of one call: its overall result and one error per item (empty when
// the server gave no error array).
struct ItemResults {
    HRESULT result = S_OK;
    platform::UniqueCoTaskMemArray<HRESULT> errors;
};

class HistoryWriter {
public:
    explicit HistoryWriter(platform::ComPtr<IOPCHDA_SyncUpdate> updater) : updater_(std::move(updater)) {}

    // One InsertReplace of the values at one time, all of good quality. Throws ComError
    // when the call fails as a whole.
    ItemResults InsertReplace(const std::vector<OPCHANDLE>& handles, const FILETIME& time,
                              std::vector<platform::UniqueVariant>& values);

private:
    platform::ComPtr<IOPCHDA_SyncUpdate> updater_;
};

} // namespace kesti
