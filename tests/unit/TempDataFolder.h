#pragma once
// Gives a test its own common application data folder through the platform seam, and the
// log a fresh start, so that tests never touch the machine's data folder or each other.
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include "config/Log.h"
#include "platform/Seams.h"

namespace kesti::test {

inline std::string UniqueTempFolder() {
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    static int counter = 0;
    std::ostringstream name;
    name << base << "kesti-test-" << GetCurrentProcessId() << "-" << GetTickCount64() << "-" << ++counter;
    CreateDirectoryA(name.str().c_str(), nullptr);
    return name.str();
}

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

inline bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class TempDataFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        appData_ = UniqueTempFolder();
        platform::SetCommonAppDataFolderOverride(appData_);
        ResetLogState();
    }
    void TearDown() override {
        platform::SetCommonAppDataFolderOverride(std::nullopt);
        platform::SetMessageBoxHandler(nullptr);
        ResetLogState();
        RemoveTree(appData_);
    }

    const std::string& AppData() const { return appData_; }
    std::string DataFolder() const { return appData_ + "\\Norvane\\Kesti"; }
    std::string LogText() const { return ReadFileBytes(LogFilePath()); }

private:
    std::string appData_;
};

} // namespace kesti::test
