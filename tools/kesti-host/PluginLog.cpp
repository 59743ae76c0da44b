#include "PluginLog.h"

#include <fstream>
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

} // namespace

PluginLog::PluginLog() : startSize_(FileSize(Path())) {}

std::string PluginDataFolder() {
    char common[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common);
    return std::string(common) + "\\Norvane\\Kesti";
}

std::string PluginLog::Path() { return PluginDataFolder() + "\\OPCHDAKestiLog.log"; }

std::string PluginLog::LastErrorSinceStart() const {
    const std::string path = Path();
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    // A log that was rolled over since the start is read whole.
    const std::uint64_t size = FileSize(path);
    in.seekg(static_cast<std::streamoff>(size >= startSize_ ? startSize_ : 0));
    std::ostringstream content;
    content << in.rdbuf();
    const std::string text = content.str();
    // Records begin with a "[time] [TID:n] [Level]" line and end with an empty line.
    const std::size_t header = text.rfind("] [Error]");
    if (header == std::string::npos) return {};
    const std::size_t begin = text.rfind("\n[", header);
    const std::size_t start = begin == std::string::npos ? 0 : begin + 1;
    std::size_t end = text.find("\r\n\r\n", header);
    if (end == std::string::npos) end = text.size();
    // Lines end in "\n" here: the standard error stream writes each as "\r\n".
    std::string record;
    for (char c : text.substr(start, end - start))
        if (c != '\r') record += c;
    return record;
}

} // namespace kesti::host
