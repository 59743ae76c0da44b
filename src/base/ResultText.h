#pragma once
// The texts of COM result codes, as the log and the dialogs show them.
#include <string>

#include <windows.h>

namespace kesti {

// The system's message for the code and the code itself: "Success (0x00000001)".
std::string HResultText(HRESULT result);
// The system's message alone; empty when the system has none.
std::string SystemMessageText(HRESULT result);

} // namespace kesti
