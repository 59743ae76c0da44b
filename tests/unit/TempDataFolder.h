#pragma once
// Gives a test its own common application data folder through the platform seam, and the
// log a fresh start, so that tests never touch the machine's data folder or each other.
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include "common/Files.h"
#include "base/Log.h"
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
