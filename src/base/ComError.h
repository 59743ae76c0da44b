#pragma once
// The one way a COM call that must succeed fails: an Exception that carries the call's
// result code and name, and one helper for the per-item errors of calls that report them.
#include <cstddef>
#include <functional>
#include <string>

#include <windows.h>

#include "base/Exception.h"

namespace kesti {

class ComError : public Exception {
public:
    // The message is "<call> failed: <HResultText(result)>".
    ComError(HRESULT result, std::string call);
    // The same failure told in a message of the caller's own.
    ComError(HRESULT result, std::string call, std::string message);
    ~ComError() override;

    HRESULT Result() const { return result_; }
    const std::string& Call() const { return call_; }

private:
    HRESULT result_;
    std::string call_;
};

// Throws ComError(result, call) when the result is a failure.
void ThrowIfFailed(HRESULT result, const char* call);
// Throws ComError with the pattern's message; a %1% in it is the result's HResultText.
void ThrowIfFailed(HRESULT result, const char* call, const char* pattern);

// A call's result with a missing out-pointer counted as a failure: a server may answer S_OK
// and leave the pointer null, which must never be read through. `missing` is the result then
// (E_POINTER, or E_NOINTERFACE for an interface).
inline HRESULT NullAsFailure(HRESULT result, const void* out, HRESULT missing = E_POINTER) {
    return SUCCEEDED(result) && out == nullptr ? missing : result;
}

// For a best-effort call whose failure changes nothing but is worth knowing: one Warning
// record "<call> failed: <HResultText>" when the result is a failure. Never throws.
void LogIfFailed(HRESULT result, const char* call) noexcept;

// How the item at position i is named in a record: its index, its item id, its tag...
using ItemLabel = std::function<std::string(std::size_t)>;

// One Warning record for a call that reports per-item errors: its first line
// "<call> partially failed:", then "\nItem <label> failed: <HResultText>" for each failed
// item (the first kRecordedItems of them, then "... (N items failed in all)"). Written when an
// item failed, or when the call answered S_FALSE without saying which (errors null).
void LogPartialFailure(const char* call, HRESULT result, const HRESULT* errors, std::size_t count,
                       const ItemLabel& label);
// The position itself as the label.
std::string IndexLabel(std::size_t i);

} // namespace kesti
