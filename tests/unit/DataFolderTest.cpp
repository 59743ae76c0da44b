#include <gtest/gtest.h>

#include "TempDataFolder.h"
#include "base/DataFolder.h"

namespace kesti::test {
namespace {

using DataFolderTest = TempDataFolderTest;

TEST_F(DataFolderTest, IsNorvaneKestiUnderTheCommonFolderAndIsCreated) {
    EXPECT_FALSE(FileExists(DataFolder()));
    EXPECT_EQ(GetDataFolder(), DataFolder());
    EXPECT_TRUE(FileExists(DataFolder()));
}

TEST_F(DataFolderTest, IsEmptyAndCreatesNothingWhenTheShellCannotTell) {
    platform::SetCommonAppDataFolderOverride(std::string());
    EXPECT_EQ(GetDataFolder(), "");
}

TEST_F(DataFolderTest, CreateDirectoryTreeMakesEveryMissingParent) {
    const std::string deep = AppData() + "\\a\\b\\c\\";
    EXPECT_TRUE(CreateDirectoryTree(deep));
    EXPECT_TRUE(FileExists(AppData() + "\\a\\b\\c"));
    EXPECT_TRUE(CreateDirectoryTree(AppData() + "\\a\\b")); // already there
    EXPECT_TRUE(CreateDirectoryTree("C:\\"));
}

TEST_F(DataFolderTest, CreateDirectoryTreeFailsBelowAFile) {
    const std::string file = AppData() + "\\plain.txt";
    CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_FALSE(CreateDirectoryTree(file + "\\below"));
}

TEST(MessageBoxSeam, ReachesTheInstalledHandlerWithTextCaptionAndButtons) {
    platform::MessageBoxRequest seen;
    platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& request) {
        seen = request;
        return IDOK;
    });
    EXPECT_EQ(platform::ShowMessageBox({"Saved configuration to X", "caption", MB_OK}), IDOK);
    platform::SetMessageBoxHandler(nullptr);
    EXPECT_EQ(seen.text, "Saved configuration to X");
    EXPECT_EQ(seen.caption, "caption");
    EXPECT_EQ(seen.type, static_cast<unsigned>(MB_OK));
}

} // namespace
} // namespace kesti::test
