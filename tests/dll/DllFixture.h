#pragma once
// Loads the real OpcHDAKesti.dll beside the test program and gives each test an empty data
// folder: the machine's own "<ProgramData>\Norvane\Kesti" of the project's Wine prefix.
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "common/Files.h"
#include "common/KestiLibrary.h"

namespace kesti::test {

inline std::string MachineDataFolder() {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
    return std::string(path) + "\\Norvane\\Kesti";
}


class DllTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveTree(MachineDataFolder());
        dll_ = std::make_unique<host::KestiLibrary>(host::KestiLibrary::BesideThisProgram());
    }
    void TearDown() override { dll_.reset(); }

    host::KestiLibrary& Dll() { return *dll_; }
    std::string ReadLog(const std::string& name) { return ReadFileBytes(MachineDataFolder() + "\\" + name); }

    std::string TakeString(StringHandle string) {
        uint32_t length = 0;
        const KestiResult sizing = Dll().kesti2_stringCopy(string, nullptr, &length);
        EXPECT_EQ(sizing, length == 0 ? ResultOk : ResultBufferTooSmall);
        std::string text(length, '\0');
        if (length > 0) {
            EXPECT_EQ(Dll().kesti2_stringCopy(string, &text[0], &length), ResultOk);
        }
        Dll().kesti2_stringFree(string);
        return text;
    }

private:
    std::unique_ptr<host::KestiLibrary> dll_;
};

} // namespace kesti::test
