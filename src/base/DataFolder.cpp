#include "base/DataFolder.h"

#include <boost/format.hpp>

#include <direct.h>
#include <io.h>
#include <stdlib.h>
#include <windows.h>

#include "platform/Seams.h"

namespace kesti {
namespace {

bool PathExists(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return true;
}

// Drive plus directory part of a path: the last component removed, the trailing "\" kept.
std::string ParentOf(const std::string& path) {
    char drive[_MAX_DRIVE] = {};
    char directory[_MAX_DIR] = {};
    if (_splitpath_s(path.c_str(), drive, sizeof drive, directory, sizeof directory, nullptr, 0, nullptr, 0) != 0)
        return path;
    return std::string(drive) + directory;
}

} // namespace

bool CreateDirectoryTree(const std::string& requested) {
    std::string path = requested;
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    if (path.size() <= 3 || PathExists(path)) return true;
    const std::string parent = ParentOf(path);
    if (parent == path) return false;
    if (!CreateDirectoryTree(parent)) return false;
    return _mkdir(path.c_str()) == 0;
}

std::string GetDataFolder() {
    const std::string common = platform::CommonAppDataFolder();
    if (common.empty()) return {};
    std::string folder = (boost::format("%1%\\Norvane\\Kesti") % common).str();
    if (_access(folder.c_str(), 0) != 0) CreateDirectoryTree(folder);
    return folder;
}

} // namespace kesti
