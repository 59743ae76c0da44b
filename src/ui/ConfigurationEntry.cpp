#include "ui/ConfigurationEntry.h"

#include <commctrl.h>

#include "base/Exception.h"
#include "base/Log.h"
#include "ui/DataSourceDialog.h"

namespace kesti::ui {

void RunConfigurationDialogs(Configuration& configuration) {
    DataSourceDialog dialog;
    if (!configuration.url.empty() && !configuration.nodes.empty())
        dialog.SetConfiguration(configuration.credentials.userName, configuration.credentials.password,
                                configuration.credentials.domain, configuration.url, configuration.nodes,
                                configuration.useNullTimeValues);
    if (dialog.RunModal() != IDOK) return;
    dialog.GetConfiguration(configuration.credentials.userName, configuration.credentials.password,
                            configuration.credentials.domain, configuration.url, configuration.nodes,
                            configuration.useNullTimeValues);
    SaveConfiguration(configuration);
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
