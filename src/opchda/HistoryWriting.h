#pragma once
// Writing values to the server's history.
#include <vector>

#include "opchda.h"
#include "platform/ComMemory.h"

namespace kesti {

// The per-item outcome of one call: its overall result and one error per item (empty when
// the server gave no error array).
struct ItemResults {
    HRESULT result = S_OK;
    platform::UniqueCoTaskMemArray<HRESULT> errors;
};

// One InsertReplace of the values at one time, all of good quality. Throws ComError when the
// call fails as a whole.
ItemResults InsertReplaceAt(IOPCHDA_SyncUpdate& updater, const std::vector<OPCHANDLE>& handles, const FILETIME& time,
                            std::vector<platform::UniqueVariant>& values);

} // namespace kesti
