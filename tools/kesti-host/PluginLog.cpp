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

} // namespace

PluginLog::PluginLog() : startSize_(FileSize(Path())) {}

std::string PluginDataFolder() {
    char common[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    return std::string(common) + "\\Norvane\\Kesti";
}

std::string PluginLog::Path() { return PluginDataFolder() + "\\OPCHDAKestiLog.log"; }

std::vector<LogRecord> PluginLog::RecordsSinceStart() const {
    const std::string path = Path();
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    // A log that was rolled over since the start is read whole.
    const std::uint64_t size = FileSize(path);
    in.seekg(static_cast<std::streamoff>(size >= startSize_ ? startSize_ : 0));
    std::ostringstream content;
    content << in.rdbuf();
    const std::string text = WithoutCarriageReturns(content.str());
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
