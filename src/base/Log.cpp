#include "base/Log.h"

#include <atomic>
#include <mutex>
#include <optional>

#include <boost/format.hpp>

#include <windows.h>

#include "base/DataFolder.h"
#include "base/LogTimestamp.h"
#include "platform/ComThread.h"
#include "platform/UniqueHandle.h"

namespace kesti {
namespace {

const char* const kRolloverNotice =
    "-------------------------------------\n"
    "Log file size above the limit. Old log file copied to backup file (.bak). New log file started.\n"
    "-------------------------------------\n\n";

struct LogState {
    std::atomic<int> level{kDefaultLogLevel};
    std::atomic<std::uint64_t> fileSize{kDefaultLogFileSize};
    std::mutex lock; // held while one record is written, and for the texts below
    std::string prefix;
    std::optional<std::string> dataFolder; // computed at the first record, not at load time
};

LogState& State() {
    static LogState state;
    return state;
}

// Requires the lock.
std::string LogFilePathLocked(LogState& state) {
    if (!state.dataFolder) state.dataFolder = GetDataFolder();
    if (state.dataFolder->empty()) return "KestiLog.log";
    return (boost::format("%1%\\%2%KestiLog.log") % *state.dataFolder % state.prefix).str();
}

// The file is written in text mode: every line feed reaches the disk as CR LF.
std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 4);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// Appends only, shared with every other reader and writer (other processes included).
platform::UniqueHandle OpenForAppend(const std::string& path) {
    return platform::UniqueHandle(CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void WriteAll(const platform::UniqueHandle& file, const std::string& bytes) {
    DWORD written = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string FullPathOf(const std::string& path) {
    char buffer[MAX_PATH * 2] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : path;
}

// Moves an oversized log to its backup and opens a fresh one that starts with the notice.
// A failed rename leaves the same file, which the next record tries to roll over again.
platform::UniqueHandle RollOver(platform::UniqueHandle file, const std::string& path) {
    const std::string fullPath = FullPathOf(path);
    const std::string backup = LogBackupPath(fullPath);
    file.Reset();
    DeleteFileA(backup.c_str());
    MoveFileA(fullPath.c_str(), backup.c_str());
    platform::UniqueHandle fresh = OpenForAppend(path);
    if (fresh) WriteAll(fresh, WithCrLf(kRolloverNotice));
    return fresh;
}

void WriteRecord(int level, const char* text) {
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    const std::string path = LogFilePathLocked(state);
    platform::UniqueHandle file = OpenForAppend(path);
    if (!file) return;
    LARGE_INTEGER length{};
    if (GetFileSizeEx(file.Get(), &length) &&
        static_cast<std::uint64_t>(length.QuadPart) > state.fileSize.load()) {
        file = RollOver(std::move(file), path);
        if (!file) return;
    }
    const std::string record = (boost::format("[%1%] [TID:%2%] [%3%]\n%4%\n\n") % CurrentLogTimestamp() %
                                platform::CallingThreadId() % LogLevelName(level) % text)
                                   .str();
    WriteAll(file, WithCrLf(record));
}

} // namespace

void LogMessage(int level, const char* text) {
    if (level > State().level.load()) return;
    try {
        WriteRecord(level, text != nullptr ? text : "");
    } catch (...) {
        // The log never reports its own failure; the record is lost.
    }
}

std::string RecordedName(const std::string& name) {
    if (name.size() <= kRecordedNameBytes) return name;
    std::size_t kept = kRecordedNameBytes;
    while (kept > 0 && (static_cast<unsigned char>(name[kept]) & 0xC0) == 0x80) --kept; // a continuation byte
    return name.substr(0, kept) + "...";
}

std::string RecordedList::Text(const char* what) const {
    if (count_ <= kRecordedItems) return text_;
    return text_ + "\n... (" + std::to_string(count_) + " " + what + " in all)";
}

void LogMessage(int level, const std::string& text) { LogMessage(level, text.c_str()); }

int GetLogLevel() { return State().level.load(); }
void SetLogLevel(int level) { State().level.store(level); }
std::uint64_t GetLogFileSize() { return State().fileSize.load(); }
void SetLogFileSize(std::uint64_t bytes) { State().fileSize.store(bytes); }

std::string GetFileNamePrefix() {
    std::lock_guard<std::mutex> guard(State().lock);
    return State().prefix;
}

void SetFileNamePrefix(const std::string& prefix) {
    std::lock_guard<std::mutex> guard(State().lock);
    State().prefix = prefix;
}

const char* LogLevelName(int level) {
    switch (level) {
    case LogError: return "Error";
    case LogWarning: return "Warning";
    case LogInformation: return "Information";
    case LogDebug: return "Debug";
    default: return "Critical";
    }
}

std::string LogFilePath() {
    std::lock_guard<std::mutex> guard(State().lock);
    return LogFilePathLocked(State());
}

std::string LogBackupPath(const std::string& logPath) {
    const auto dot = logPath.rfind('.');
    if (dot == std::string::npos) return logPath + ".bak";
    return logPath.substr(0, dot + 1) + "bak";
}

void ResetLogState() {
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.level.store(kDefaultLogLevel);
    state.fileSize.store(kDefaultLogFileSize);
    state.prefix.clear();
    state.dataFolder.reset();
}

} // namespace kesti
