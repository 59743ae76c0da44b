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

// This process's turn to show the dialogs, held while it lasts (released, not abandoned, at
// the end). Without the turn, the dialog of the process that has it comes to the front, with
// what it has open over it (node selection, credentials, a message). A process that is still
// reading its configuration, or just ending, shows no dialog: its turn is waited for a few
// seconds, and taken when it ends.
class ConfigurationTurn {
public:
    ConfigurationTurn() : mutex_(CreateMutexA(nullptr, FALSE, kOneConfigurationMutex)) {
        if (!mutex_) {
            held_ = true; // no mutex to be had: nothing to share the turn with
            return;
        }
        for (int attempt = 0; attempt < 100 && !held_; ++attempt) {
            const DWORD wait = WaitForSingleObject(mutex_.Get(), attempt == 0 ? 0 : 100);
            owned_ = held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
            if (!held_ && BringOpenDialogToFront()) return;
        }
    }
    ~ConfigurationTurn() {
        if (owned_) ReleaseMutex(mutex_.Get());
    }
    ConfigurationTurn(const ConfigurationTurn&) = delete;
    ConfigurationTurn& operator=(const ConfigurationTurn&) = delete;

    bool Held() const { return held_; }

private:
    static bool BringOpenDialogToFront() {
        HWND open = nullptr;
        EnumWindows(&FindOpenDialog, reinterpret_cast<LPARAM>(&open));
        if (open == nullptr) return false;
        if (IsIconic(open)) ShowWindow(open, SW_RESTORE);
        SetForegroundWindow(GetLastActivePopup(open));
        return true;
    }

    platform::UniqueHandle mutex_;
    bool held_ = false;
    bool owned_ = false;
};

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
        const ui::ConfigurationTurn turn;
        if (!turn.Held()) return;
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
