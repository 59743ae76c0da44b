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
            HWND dialog = FindWindowA(nullptr, "Create Connection to Data Source");
            if (dialog != nullptr && IsWindowVisible(dialog)) { // shown, so it takes input
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

// Waits up to 30 seconds for a shown top-level window with the caption (a window that is
// still being made does not take input yet).
HWND WaitForWindow(const char* caption) {
    for (int i = 0; i < 300; ++i) {
        HWND window = FindWindowA(nullptr, caption);
        if (window != nullptr && IsWindowVisible(window)) return window;
        Sleep(100);
    }
    return nullptr;
}

HTREEITEM NextItem(HWND tree, UINT relation, HTREEITEM item = nullptr) {
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

// The whole way through the child's dialogs: this machine's simulation server, two nodes
// checked with the keyboard, confirmed; the next connection browses exactly those nodes.
TEST_F(ConfigurationLauncherTest, APersonPicksTheServerAndTwoNodesAndTheNextOpenUsesThem) {
    SimulationServer sim(R"({ "branches": [ { "name": "Plant", "branches": [
        { "name": "Boiler", "items": [ { "name": "Temperature" } ] },
        { "name": "Line1", "items": [ { "name": "Speed" } ] },
        { "name": "Line2", "items": [ { "name": "Speed" } ] } ] } ] })");
    StringHandle identity = nullptr;
    Dll().kesti2_getIdentity(&identity);
    const std::string messageCaption = TakeString(identity);

    std::string failure;
    std::thread person([&] {
        const auto fail = [&](const std::string& why) { failure = why; };
        HWND dataSource = WaitForWindow("Create Connection to Data Source");
        if (dataSource == nullptr) return fail("no data-source dialog");
        HWND servers = GetDlgItem(dataSource, 1001);
        const HTREEITEM localHost = NextItem(servers, TVGN_ROOT);
        SendMessageA(servers, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(localHost));
        const HTREEITEM first = NextItem(servers, TVGN_CHILD, localHost); // OPC HDA servers come first
        SendMessageA(servers, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(first));
        PostMessageA(dataSource, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

        HWND nodes = WaitForWindow("Select Nodes");
        if (nodes == nullptr) return fail("no node dialog");
        HWND tree = GetDlgItem(nodes, 1006);
        const HTREEITEM plant = NextItem(tree, TVGN_ROOT);
        const HTREEITEM boiler = NextItem(tree, TVGN_CHILD, plant);
        const HTREEITEM line1 = NextItem(tree, TVGN_NEXT, boiler);
        for (HTREEITEM item : {boiler, line1}) {
            SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
            SendMessageA(tree, WM_KEYDOWN, VK_SPACE, 0); // the space bar checks the selected item
            SendMessageA(tree, WM_KEYUP, VK_SPACE, 0);
        }
        PostMessageA(nodes, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

        HWND saved = WaitForWindow(messageCaption.c_str());
        if (saved == nullptr) return fail("no message after saving");
        char text[512] = {};
        GetDlgItemTextA(saved, 0xFFFF, text, sizeof text); // the message box's static text
        if (std::string(text).rfind("Saved configuration to ", 0) != 0) fail(std::string("the message said: ") + text);
        PostMessageA(saved, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    int host = 0;
    StringHandle out = nullptr;
    EXPECT_EQ(Dll().kesti2_updateConfiguration(&host, &out), ResultOk);
    person.join();
    Dll().kesti2_stringFree(out);
    ASSERT_EQ(failure, "");

    ConnectionHandle c = Open();
    ASSERT_NE(c, nullptr);
    const NodeView tree = Tree(c);
    ASSERT_EQ(tree.children.size(), 2u) << ReadFileBytes(MachineDataFolder() + "\\OPCHDAConfiguration.xml");
    EXPECT_EQ(tree.children[0].tags.size(), 1u);
    EXPECT_EQ(tree.children[1].tags.size(), 1u);
    EXPECT_NE(tree.children[0].tags.at(0).find("Temperature"), std::string::npos);
    EXPECT_NE(tree.children[1].tags.at(0).find("Speed"), std::string::npos);
    Dll().kesti2_connectionClose(c);
}

} // namespace
} // namespace kesti::test
