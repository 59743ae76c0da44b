#pragma once
// The plug-in's log as the host shows it: where it is, and the records written since the host
// started (an Error after a failure, the refusals of a write).
#include <cstdint>
#include <string>
#include <vector>

namespace kesti::host {

// The plug-in's data folder: "<common application data>\Norvane\Kesti".
std::string PluginDataFolder();

struct LogRecord {
    std::string header; // "[time] [TID:n] [Level]"
    std::string level;  // "Error", "Warning", ...
    std::string text;   // its lines, joined by "\n"
};

class PluginLog {
public:
    // Notes how long the log is now, so that older records are never shown as this run's.
    PluginLog();

    // "<common application data>\Norvane\Kesti\OPCHDAKestiLog.log"
    static std::string Path();
    // "<...>\OPCHDAKestiLog.bak", where a full log is moved.
    static std::string BackupPath();
    // The LogLevel the plug-in's configuration file sets (3, Information, without one).
    static int ConfiguredLevel();
    // The records written since construction, oldest first.
    std::vector<LogRecord> RecordsSinceStart() const;
    // The last "[Error]" record (header and text) written since construction; empty if none.
    std::string LastErrorSinceStart() const;

private:
    std::uint64_t startSize_ = 0;
};

} // namespace kesti::host
