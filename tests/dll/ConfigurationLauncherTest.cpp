// kesti2_updateConfiguration starts the dialogs in a child process through the system's
// rundll32.exe and waits for it.
#include "dll/ConnectionFixture.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace kesti::test {
namespace {

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    return folder.erase(folder.find_last_of("\\/") + 1);
}

class ConfigurationLauncherTest : public ConnectionTest {};

// A person cancels the dialog: the file stays as it was, byte for byte, and a rundll32.exe
// planted in the current directory never runs.
TEST_F(ConfigurationLauncherTest, TheSystemsRundll32ShowsTheDialogAndCancelChangesNothing) {
    SimulationServer sim(R"({ "items": [ { "name": "x" } ] })");
    WriteConfiguration(kSimulationServerUrl, {{"OPC", ""}});
    const std::string configuration = MachineDataFolder() + "\\OPCHDAConfiguration.xml";
    const std::string before = ReadFileBytes(configuration);

    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string planted = std::string(temp) + "kesti-planted-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(planted.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "kesti_planted_program.exe").c_str(), (planted + "\\rundll32.exe").c_str(), FALSE));
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(planted.c_str());

    std::atomic<bool> seen{false}, done{false};
    std::thread person([&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done && std::chrono::steady_clock::now() < until) {
            if (HWND dialog = FindWindowA(nullptr, "Create Connection to Data Source")) {
                seen = true;
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                return;
            }
            Sleep(100);
        }
    });
    int host = 0;
    StringHandle out = nullptr;
    const KestiResult result = Dll().kesti2_updateConfiguration(&host, &out);
    done = true;
    person.join();
    SetCurrentDirectoryA(previous);

    EXPECT_EQ(result, ResultOk);
    EXPECT_EQ(TakeString(out), "");
    EXPECT_TRUE(seen) << "the child process showed the data-source dialog";
    EXPECT_EQ(GetFileAttributesA((planted + "\\planted-program-ran").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the planted rundll32.exe ran";
    EXPECT_EQ(ReadFileBytes(configuration), before);
    DeleteFileA((planted + "\\rundll32.exe").c_str());
    DeleteFileA((planted + "\\planted-program-ran").c_str());
    RemoveDirectoryA(planted.c_str());
}

} // namespace
} // namespace kesti::test
