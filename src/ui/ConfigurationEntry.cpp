#include "ui/ConfigurationEntry.h"

#include <cstdlib>

#include <commctrl.h>

#include <boost/format.hpp>

#include "base/Exception.h"
#include "base/Identity.h"
#include "base/Log.h"
#include "platform/Seams.h"
#include "platform/UniqueHandle.h"
#include "ui/DataSourceDialog.h"

namespace kesti::ui {
namespace {

// One configuration process at a time in a user's session.
const char* const kOneConfigurationMutex = "Local\\OpcHDAKesti.Configuration";

HWND HostWindowOf(const char* commandLine) {
    if (commandLine == nullptr) return nullptr;
    char* end = nullptr;
    const unsigned long long number = std::strtoull(commandLine, &end, 10);
    const auto window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(number));
    return end != commandLine && number != 0 && IsWindow(window) ? window : nullptr;
}

BOOL CALLBACK FindOpenDialog(HWND window, LPARAM found) {
    if (GetPropW(window, kOpenDialogMark) == nullptr || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The open data-source dialog, or what it has open over it (node selection, credentials, a
// message), comes to the front. The other process may still be reading its configuration:
// its dialog is waited for a few seconds.
void BringOpenDialogToFront() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        HWND open = nullptr;
        EnumWindows(&FindOpenDialog, reinterpret_cast<LPARAM>(&open));
        if (open != nullptr) {
            if (IsIconic(open)) ShowWindow(open, SW_RESTORE);
            SetForegroundWindow(GetLastActivePopup(open));
            return;
        }
        Sleep(100);
    }
}

} // namespace

void RunConfigurationDialogs(Configuration& configuration, HWND hostWindow) {
    DataSourceDialog dialog;
    dialog.CentreOn(hostWindow);
    if (!configuration.url.empty() && !configuration.nodes.empty())
        dialog.SetDataSource({configuration.credentials, configuration.url, configuration.nodes});
    if (dialog.RunModal() != IDOK) return;
    DataSource chosen = dialog.GetDataSource();
    configuration.credentials = std::move(chosen.credentials);
    configuration.url = std::move(chosen.url);
    configuration.nodes = std::move(chosen.nodes);
    const bool saved = SaveConfiguration(configuration);
    platform::ShowMessageBox({(boost::format("%1% configuration to %2%") % (saved ? "Saved" : "Failed to save") %
                               configuration.filePath).str(),
                              IdentityText(), MB_OK});
}

} // namespace kesti::ui

// Runs on the one thread rundll32.exe calls it on; nothing escapes to rundll32.
extern "C" void CALLBACK UpdateOPCConfiguration(HWND, HINSTANCE, LPSTR commandLine, int) {
    using namespace kesti;
    try {
        const platform::UniqueHandle oneAtATime(CreateMutexA(nullptr, FALSE, ui::kOneConfigurationMutex));
        if (oneAtATime && GetLastError() == ERROR_ALREADY_EXISTS) {
            ui::BringOpenDialogToFront();
            return;
        }
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        Configuration configuration = ReadConfiguration();
        ui::RunConfigurationDialogs(configuration, ui::HostWindowOf(commandLine));
    } catch (const Exception& e) {
        LogMessage(LogError, e.Message());
    } catch (...) {
        try {
            LogMessage(LogCritical, "Unknown error in configuration.");
        } catch (...) {
            // Nothing is left to tell it with.
        }
    }
}
