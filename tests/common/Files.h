#pragma once
// Files and folders of a test: removing a folder tree, reading a file's bytes and counting
// what a text (a log, say) holds.
#include <fstream>
#include <sstream>
#include <string>

#include <windows.h>
#include <shellapi.h>

namespace kesti::test {

inline void RemoveTree(const std::string& folder) {
    std::string list = folder;
    list.append(2, '\0'); // SHFileOperation wants a double-terminated list
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = list.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&operation);
}

inline std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// How often `part` occurs in `text`.
inline std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

inline bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

} // namespace kesti::test
