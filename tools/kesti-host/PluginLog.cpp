#include "PluginLog.h"

#include <fstream>
#include <regex>
#include <sstream>

#include <windows.h>
#include <shlobj.h>

namespace kesti::host {
namespace {

std::uint64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Lines end in "\n" here: the standard error stream writes each as "\r\n".
std::string WithoutCarriageReturns(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

// The bytes of the file from `offset` on; empty when it cannot be read.
std::string Tail(const std::string& path, std::uint64_t offset) {
    std::ifstream in(path, std::ios::binary);
    if (!in || FileSize(path) < offset) return {};
    in.seekg(static_cast<std::streamoff>(offset));
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace

PluginLog::PluginLog() : startSize_(FileSize(Path())) {}

std::string PluginDataFolder() {
    char common[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    return std::string(common) + "\\Norvane\\Kesti";
}

std::string PluginLog::Path() { return PluginDataFolder() + "\\OPCHDAKestiLog.log"; }

std::string PluginLog::BackupPath() { return PluginDataFolder() + "\\OPCHDAKestiLog.bak"; }

int PluginLog::ConfiguredLevel() {
    std::ifstream in(PluginDataFolder() + "\\OPCHDAConfiguration.xml", std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    static const std::regex level(R"re(key\s*=\s*"LogLevel"\s+value\s*=\s*"(-?\d+)")re");
    std::smatch found;
    const std::string text = content.str();
    return std::regex_search(text, found, level) ? std::stoi(found[1].str()) : 3; // the plug-in's default
}

std::vector<LogRecord> PluginLog::RecordsSinceStart() const {
    const std::string path = Path();
    // A log rolled over since the start: this run's records before that are in the backup.
    const bool rolledOver = FileSize(path) < startSize_;
    const std::string text = WithoutCarriageReturns((rolledOver ? Tail(BackupPath(), startSize_) : std::string()) +
                                                    Tail(path, rolledOver ? 0 : startSize_));
    // A record is a "[time] [TID:n] [Level]" line, its text, and an empty line.
    static const std::regex header(R"((?:^|\n)(\[[^\]\n]*\] \[TID:\d+\] \[(\w+)\])\n)");
    std::vector<LogRecord> records;
    std::size_t bodyStart = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), header); it != std::sregex_iterator(); ++it) {
        const auto headerStart = static_cast<std::size_t>(it->position(0));
        if (!records.empty()) records.back().text = text.substr(bodyStart, headerStart - bodyStart);
        bodyStart = headerStart + static_cast<std::size_t>(it->length(0));
        records.push_back({(*it)[1].str(), (*it)[2].str(), {}});
    }
    if (!records.empty()) records.back().text = text.substr(bodyStart);
    for (LogRecord& record : records)
        while (!record.text.empty() && record.text.back() == '\n') record.text.pop_back();
    return records;
}

std::string PluginLog::LastErrorSinceStart() const {
    const std::vector<LogRecord> records = RecordsSinceStart();
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        if (it->level == "Error") return it->header + "\n" + it->text;
    return {};
}

} // namespace kesti::host
