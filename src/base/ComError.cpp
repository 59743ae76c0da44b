#include "base/ComError.h"

#include <boost/format.hpp>

#include "base/Log.h"
#include "base/ResultText.h"

namespace kesti {

ComError::ComError(HRESULT result, std::string call)
    : ComError(result, call, (boost::format("%1% failed: %2%") % call % HResultText(result)).str()) {}

ComError::ComError(HRESULT result, std::string call, std::string message)
    : Exception(std::move(message)), result_(result), call_(std::move(call)) {}

ComError::~ComError() = default;

void ThrowIfFailed(HRESULT result, const char* call) {
    if (FAILED(result)) throw ComError(result, call);
}

void ThrowIfFailed(HRESULT result, const char* call, const char* pattern) {
    if (SUCCEEDED(result)) return;
    boost::format message(pattern);
    message.exceptions(boost::io::all_error_bits ^ boost::io::too_many_args_bit); // a pattern may leave the code out
    throw ComError(result, call, (message % HResultText(result)).str());
}

void LogIfFailed(HRESULT result, const char* call) noexcept {
    if (SUCCEEDED(result)) return;
    try {
        LogMessage(LogWarning, ComError(result, call).Message());
    } catch (...) {
        // The call was best effort; so is its record.
    }
}

void LogPartialFailure(const char* call, HRESULT result, const HRESULT* errors, std::size_t count,
                       const ItemLabel& label) {
    RecordedList failed;
    for (std::size_t i = 0; errors != nullptr && i < count; ++i)
        if (FAILED(errors[i]))
            failed.Add((boost::format("Item %1% failed: %2%") % RecordedName(label(i)) % HResultText(errors[i])).str());
    // S_FALSE also comes with success codes only (OPC_S_INSERTED for every item, say): with an
    // error array, only a failed item is worth a record.
    if (failed.Count() > 0 || (result == S_FALSE && errors == nullptr))
        LogMessage(LogWarning, std::string(call) + " partially failed:" + failed.Text("items failed"));
}

std::string IndexLabel(std::size_t i) { return std::to_string(i); }

} // namespace kesti
