#pragma once
// The process-wide log: one record per call, appended to a size-limited file with one
// backup generation in the data folder. Logging never fails its caller.
#include <cstdint>
#include <string>

namespace kesti {

enum LogLevel : int {
    LogCritical = 0,
    LogError = 1,
    LogWarning = 2,
    LogInformation = 3,
    LogDebug = 4,
};

constexpr int kDefaultLogLevel = LogInformation;
constexpr std::uint64_t kDefaultLogFileSize = 1048576;

void LogMessage(int level, const std::string& text);
// A list in one record names at most kRecordedItems entries, each cut after kRecordedNameBytes
// bytes: no record grows with what a server sends.
constexpr std::size_t kRecordedItems = 100;
constexpr std::size_t kRecordedNameBytes = 512;
// The name as a record shows it: cut (never inside a UTF-8 character) and "..." when longer.
std::string RecordedName(const std::string& name);

// The lines of a list in one record: the first kRecordedItems are kept, the others counted.
class RecordedList {
public:
    void Add(const std::string& line) {
        if (++count_ <= kRecordedItems) text_ += "\n" + line;
    }
    std::size_t Count() const { return count_; }
    // The lines kept, each after a line break, then "\n... (N <what> in all)" when some were not.
    std::string Text(const char* what) const;

private:
    std::size_t count_ = 0;
    std::string text_;
};
void LogMessage(int level, const char* text);

int GetLogLevel();
void SetLogLevel(int level);
std::uint64_t GetLogFileSize();
void SetLogFileSize(std::uint64_t bytes);
std::string GetFileNamePrefix();
void SetFileNamePrefix(const std::string& prefix);

// The name written for a level: "Critical", "Error", "Warning", "Information", "Debug".
const char* LogLevelName(int level);

// The file that the next record goes to: "<data folder>\<prefix>KestiLog.log", or plain
// "KestiLog.log" in the current directory when there is no data folder.
std::string LogFilePath();

// The backup of a log file: the text after the last "." replaced by "bak".
std::string LogBackupPath(const std::string& logPath);

// Back to the state of a freshly loaded library: default level and limit, no prefix, and
// the data folder computed again at the next record. For tests of this process only.
void ResetLogState();

} // namespace kesti
