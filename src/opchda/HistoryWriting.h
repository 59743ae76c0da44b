#pragma once
// Writing rows of values to the server's history.
#include <vector>

#include "discovery/DcomIdentity.h"
#include "opchda.h"
#include "platform/ComMemory.h"
#include "platform/ComThread.h"

namespace kesti {

// The per-item outcome of one call: its overall result and one error per item (empty when
// the server gave no error array).
struct ItemResults {
    HRESULT result = S_OK;
    platform::UniqueCoTaskMemArray<HRESULT> errors;
};

// The server's writing interface, borrowed from the proxy that owns it; its calls run on the
// proxy's COM thread.
class HistoryWriter {
public:
    HistoryWriter(platform::ComThread& com, IOPCHDA_SyncUpdate& updater) : com_(&com), updater_(&updater) {}

    // One InsertReplace of the values at one time, all of good quality. Throws ComError
    // when the call fails as a whole.
    ItemResults InsertReplace(const std::vector<OPCHANDLE>& handles, const FILETIME& time,
                              std::vector<platform::UniqueVariant>& values);

private:
    platform::ComThread* com_;
    IOPCHDA_SyncUpdate* updater_;
};

} // namespace kesti
