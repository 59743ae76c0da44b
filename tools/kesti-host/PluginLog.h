#pragma once
// The plug-in's log as the host shows it after a failure: where it is, and the last Error
// record written since the host started.
#include <cstdint>
#include <string>

namespace kesti::host {

// The plug-in's data folder: "<common application data>\Norvane\Kesti".
std::string PluginDataFolder();

class PluginLog {
public:
    // Notes how long the log is now, so that older records are never shown as this run's.
    PluginLog();

    // "<common application data>\Norvane\Kesti\OPCHDAKestiLog.log"
    static std::string Path();
    // The last "[Error]" record (header and text) written since construction; empty if none.
    std::string LastErrorSinceStart() const;

private:
    std::uint64_t startSize_ = 0;
};

} // namespace kesti::host
