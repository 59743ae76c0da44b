#include "platform/Seams.h"

#include <mutex>

#include <windows.h>
#include <shlobj.h>

namespace kesti::platform {
namespace {

std::mutex& SeamLock() {
    static std::mutex lock;
    return lock;
}

MessageBoxHandler& InstalledMessageBoxHandler() {
    static MessageBoxHandler handler;
    return handler;
}

std::optional<std::string>& AppDataOverride() {
    static std::optional<std::string> folder;
    return folder;
}

} // namespace

int ShowMessageBox(const MessageBoxRequest& request) {
    MessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> guard(SeamLock());
        handler = InstalledMessageBoxHandler();
    }
    if (handler) return handler(request);
    return MessageBoxA(nullptr, request.text.c_str(), request.caption.c_str(), request.type);
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard<std::mutex> guard(SeamLock());
    InstalledMessageBoxHandler() = std::move(handler);
}

std::string CommonAppDataFolder() {
    {
        std::lock_guard<std::mutex> guard(SeamLock());
        if (AppDataOverride()) return *AppDataOverride();
    }
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
}

void SetCommonAppDataFolderOverride(std::optional<std::string> folder) {
    std::lock_guard<std::mutex> guard(SeamLock());
    AppDataOverride() = std::move(folder);
}

} // namespace kesti::platform
