#pragma once
// The configuration user interface as a whole: the data-source dialog over the configuration
// file, and the entry that rundll32.exe calls in the child process the host's
// kesti2_updateConfiguration starts.
#include <windows.h>

#include "config/Configuration.h"

namespace kesti::ui {

// Shows the data-source dialog, pre-filled when the configuration names a server and at
// least one node; on OK takes its choices into the configuration and saves the file (with
// the "Saved configuration to ..." message). Cancel writes nothing.
void RunConfigurationDialogs(Configuration& configuration);

} // namespace kesti::ui

extern "C" void CALLBACK UpdateOPCConfiguration(HWND window, HINSTANCE instance, LPSTR commandLine, int show);
