#include "interface/Module.h"

#include <atomic>

namespace kesti {
namespace {
std::atomic<HMODULE> pluginModule{nullptr};
}

HMODULE PluginModule() { return pluginModule.load(); }
void SetPluginModule(HMODULE module) { pluginModule.store(module); }

} // namespace kesti
