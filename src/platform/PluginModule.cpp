#include "platform/PluginModule.h"

#include <atomic>

namespace kesti::platform {
namespace {
std::atomic<HMODULE> pluginModule{nullptr};
}

HMODULE PluginModule() { return pluginModule.load(); }
void SetPluginModule(HMODULE module) { pluginModule.store(module); }

} // namespace kesti::platform
