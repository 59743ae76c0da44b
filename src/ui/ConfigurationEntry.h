#pragma once
// The configuration user interface as a whole: the data-source dialog over the configuration
// file, and the entry that rundll32.exe calls in the child process the host's
// kesti2_updateConfiguration starts.
#include <windows.h>

#include "config/Configuration.h"

namespace kesti::ui {

// Shows the data-source dialog, centred on the host's window when one is given, pre-filled
// when the configuration names a server and at least one node; on OK takes its choices into
// the configuration and saves the file (with the "Saved configuration to ..." message).
// Cancel writes nothing.
void RunConfigurationDialogs(Configuration& configuration, HWND hostWindow = nullptr);

} // namespace kesti::ui

// The command line is empty, or the host's window as a number (the launcher's). Only one
// configuration process shows dialogs in a user's session: a second one brings the open
// dialog to the front and ends.
extern "C" void CALLBACK UpdateOPCConfiguration(HWND window, HINSTANCE instance, LPSTR commandLine, int show);
