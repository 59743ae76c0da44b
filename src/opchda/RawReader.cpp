#include "opchda/RawReader.h"

#include "base/ComError.h"
#include "opchda/OpcHdaProxy.h"

namespace kesti {

HRESULT RawCall::ItemResultOf(std::size_t i) const {
    if (FAILED(result)) return result;
    if (!HoldsItsValues(items[i])) return E_POINTER;
    return errors ? errors[i] : S_OK;
}

void RawReader::ReadRaw(OPCHDA_TIME* start, OPCHDA_TIME* end, DWORD numValues, BOOL bounds,
                        const std::vector<OPCHANDLE>& handles, RawCall& call) {
    if (Clock::now() >= deadline_) {
        call.result = kTimeLimitPassed;
        return;
    }
    const DWORD count = static_cast<DWORD>(handles.size());
    const HRESULT result = reader_.ReadRaw(start, end, numValues, bounds, count, const_cast<OPCHANDLE*>(handles.data()),
                                           call.items.Put(count), call.errors.Put(count));
    call.result = NullAsFailure(result, call.items.Get());
    if (FAILED(call.result) && IsLostConnection(call.result)) throw ComError(call.result, "IOPCHDA_SyncRead::ReadRaw");
}

} // namespace kesti
