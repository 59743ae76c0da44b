#pragma once
// The one place where the plug-in meets what tests must observe or what Wine cannot do for
// real. Each seam has a production behaviour; a test may install a replacement in-process.
// None of this is reachable through the DLL's exports or through the environment.
#include <functional>
#include <optional>
#include <string>

namespace kesti::platform {

// --- Message boxes -------------------------------------------------------------------------
struct MessageBoxRequest {
    std::string text;
    std::string caption;
    unsigned int type = 0; // MB_* flags: buttons and icon
};
using MessageBoxHandler = std::function<int(const MessageBoxRequest&)>;

// Shows a message box without owner window and returns the button pressed (IDOK, ...).
int ShowMessageBox(const MessageBoxRequest& request);
// Replaces the real message box; an empty handler restores it.
void SetMessageBoxHandler(MessageBoxHandler handler);

// --- The common application data folder ----------------------------------------------------
// The shell's CSIDL_COMMON_APPDATA folder, or the empty text when the shell cannot tell.
std::string CommonAppDataFolder();
// Replaces the shell's answer (an empty text stands for a failing shell); nullopt restores it.
void SetCommonAppDataFolderOverride(std::optional<std::string> folder);

} // namespace kesti::platform
