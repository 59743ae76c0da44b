#include "opchda/HistoryWriting.h"

#include "base/ComError.h"
#include "opchda/OpcHdaConstants.h"

namespace kesti {

static_assert(sizeof(platform::UniqueVariant) == sizeof(VARIANT), "owned VARIANTs are passed as a VARIANT array");

ItemResults InsertReplaceAt(IOPCHDA_SyncUpdate& updater, const std::vector<OPCHANDLE>& handles, const FILETIME& time,
                            std::vector<platform::UniqueVariant>& values) {
    ItemResults outcome;
    if (handles.empty()) return outcome; // nothing to send
    if (values.size() != handles.size()) ThrowIfFailed(E_INVALIDARG, "IOPCHDA_SyncUpdate::InsertReplace");
    const DWORD count = static_cast<DWORD>(handles.size());
    std::vector<FILETIME> times(count, time);
    std::vector<DWORD> qualities(count, opc::kQualityGood);
    outcome.result = updater.InsertReplace(count, const_cast<OPCHANDLE*>(handles.data()), times.data(),
                                           values.front().Get(), qualities.data(), outcome.errors.Put(count));
    ThrowIfFailed(outcome.result, "IOPCHDA_SyncUpdate::InsertReplace");
    return outcome;
}

} // namespace kesti
