#include "base/ResultText.h"

#include <boost/format.hpp>

#include "base/TextConversion.h"
#include "platform/LocalMemory.h"

namespace kesti {
namespace {

// The system's message without its trailing line end; false when there is none.
bool LookUpSystemMessage(HRESULT result, std::wstring& message) {
    platform::UniqueLocalMem<wchar_t> buffer;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(result), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(buffer.Put()),
        0, nullptr);
    if (length == 0 || !buffer) return false;
    message.assign(buffer.Get(), length);
    if (message.size() >= 2 && message.back() == L'\n') {
        message.pop_back();
        if (message.size() >= 2 && message.back() == L'\r') message.pop_back();
    }
    return true;
}

} // namespace

std::string HResultText(HRESULT result) {
    std::string message;
    std::wstring system;
    if (result == S_FALSE)
        message = "Success";
    else if (LookUpSystemMessage(result, system))
        message = Utf8FromWide(system);
    else
        message = FAILED(result) ? "Error" : "Success";
    return (boost::format("%s (0x%08x)") % message % static_cast<unsigned long>(static_cast<DWORD>(result))).str();
}

std::string SystemMessageText(HRESULT result) {
    std::wstring system;
    return LookUpSystemMessage(result, system) ? Utf8FromWide(system) : std::string();
}

} // namespace kesti
