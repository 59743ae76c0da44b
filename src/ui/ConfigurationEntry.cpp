#include "ui/ConfigurationEntry.h"

#include <commctrl.h>

#include <boost/format.hpp>

#include "base/Exception.h"
#include "base/Identity.h"
#include "base/Log.h"
#include "platform/Seams.h"
#include "ui/DataSourceDialog.h"

namespace kesti::ui {

void RunConfigurationDialogs(Configuration& configuration) {
    DataSourceDialog dialog;
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
extern "C" void CALLBACK UpdateOPCConfiguration(HWND, HINSTANCE, LPSTR, int) {
    using namespace kesti;
    try {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        Configuration configuration = ReadConfiguration();
        ui::RunConfigurationDialogs(configuration);
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
