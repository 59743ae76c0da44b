#pragma once
#include <windows.h>

namespace kesti::platform {

// The plug-in's own module handle, kept since the library was loaded (null in a program
// that links the plug-in's code statically, as the unit tests do).
HMODULE PluginModule();
void SetPluginModule(HMODULE module);

} // namespace kesti::platform
