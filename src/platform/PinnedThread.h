#pragma once
// A thread that may outlive the wait of the code that started it (an abandoned probe, the
// dialogs' background work when the dialog is closed first). It holds a reference on the
// module its code lives in, so that a library freed meanwhile (rundll32 frees the plug-in as
// soon as its entry returns) stays mapped until the thread has ended.
#include <functional>

#include <windows.h>

#include "platform/UniqueHandle.h"

namespace kesti::platform {

// Runs body on a new thread whose exit code is body's result; an exception escaping body
// ends the thread with E_UNEXPECTED. The handle is invalid, with GetLastError telling why,
// when no thread could be started. Closing the handle does not stop the thread.
UniqueHandle StartPinnedThread(std::function<DWORD()> body);

} // namespace kesti::platform
