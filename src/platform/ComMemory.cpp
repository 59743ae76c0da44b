#include "platform/ComMemory.h"

#include <cwchar>

namespace kesti::platform {

wchar_t* CopyToCoTaskMem(const wchar_t* text) noexcept {
    const std::size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (copy != nullptr) std::memcpy(copy, text, bytes);
    return copy;
}

} // namespace kesti::platform
