// kesti2_updateConfiguration starts the dialogs in a child process through the system's
// rundll32.exe and waits for it. A person is played by a thread of this test that finds the
// child's windows and sends them what clicks and keys would.
#include "dll/ConnectionFixture.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
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

bool Checked(HWND tree, HTREEITEM item) {
    return (SendMessageA(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK) >> 12) == 2;
}
bool Expanded(HWND tree, HTREEITEM item) {
    return (SendMessageA(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}
// Waits until the data-source dialog shows a server selected under this machine with OK
// enabled, as a person sees it when the stored choice has come back; null otherwise.
HTREEITEM WaitForStoredServer(HWND dataSource) {
    HWND tree = GetDlgItem(dataSource, 1001);
    for (int i = 0; i < 300; ++i) {
        const HTREEITEM selected = NextItem(tree, TVGN_CARET);
        if (selected != nullptr && NextItem(tree, TVGN_PARENT, selected) == NextItem(tree, TVGN_ROOT) &&
            IsWindowEnabled(GetDlgItem(dataSource, IDOK)))
            return selected;
        Sleep(100);
    }
    return nullptr;
}

// The number of shown top-level windows with the caption.
int ShownWindows(const char* caption) {
    struct Count {
        const char* caption;
        int shown = 0;
    } count{caption};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto& c = *reinterpret_cast<Count*>(parameter);
            char text[256] = {};
            GetWindowTextA(window, text, sizeof text);
            c.shown += IsWindowVisible(window) && std::string(text) == c.caption;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count.shown;
}

// A person cancels the dialog: the file stays as it was, byte for byte, and a rundll32.exe
// planted in the current directory never runs. Before, the stored choice has come back: the
// address names this machine "localhost", and the dialog shows its server selected under
// Local host (no second machine), with OK enabled.
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

    std::atomic<bool> seen{false}, done{false}, storedShown{false};
    std::thread person([&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done && std::chrono::steady_clock::now() < until) {
            HWND dialog = FindWindowA(nullptr, "Create Connection to Data Source");
            if (dialog != nullptr && IsWindowVisible(dialog)) { // shown, so it takes input
                seen = true;
                const HTREEITEM stored = WaitForStoredServer(dialog);
                HWND tree = GetDlgItem(dialog, 1001);
                storedShown = stored != nullptr && NextItem(tree, TVGN_NEXT, NextItem(tree, TVGN_NEXT, NextItem(tree, TVGN_ROOT))) == nullptr;
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
    EXPECT_TRUE(storedShown) << "the stored server selected under Local host, OK enabled, two machines only";
    EXPECT_EQ(GetFileAttributesA((planted + "\\planted-program-ran").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the planted rundll32.exe ran";
    EXPECT_EQ(ReadFileBytes(configuration), before);
    DeleteFileA((planted + "\\rundll32.exe").c_str());
    DeleteFileA((planted + "\\planted-program-ran").c_str());
    RemoveDirectoryA(planted.c_str());
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
        // The servers come once listed; the first is an OPC HDA server, which enables OK.
        for (int i = 0; i < 300 && !IsWindowEnabled(GetDlgItem(dataSource, IDOK)); ++i) {
            SendMessageA(servers, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(NextItem(servers, TVGN_CHILD, localHost)));
            Sleep(100);
        }
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

    // Opened again, the dialog shows the choice: the server selected, and Enter browses it
    // at once; the node dialog shows the two nodes ticked, their branch expanded.
    const std::string saved = ReadFileBytes(MachineDataFolder() + "\\OPCHDAConfiguration.xml");
    std::thread again([&] {
        const auto fail = [&](const std::string& why) { failure = why; };
        HWND dataSource = WaitForWindow("Create Connection to Data Source");
        if (dataSource == nullptr) return fail("no data-source dialog the second time");
        if (WaitForStoredServer(dataSource) == nullptr) return fail("the stored server is not shown selected");
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        GetGUIThreadInfo(GetWindowThreadProcessId(dataSource, nullptr), &gui);
        PostMessageA(gui.hwndFocus, WM_KEYDOWN, VK_RETURN, 1); // Enter, where the focus is
        HWND nodes = WaitForWindow("Select Nodes");
        if (nodes == nullptr) return fail("Enter did not confirm the stored server");
        HWND tree = GetDlgItem(nodes, 1006);
        const HTREEITEM plant = NextItem(tree, TVGN_ROOT);
        const HTREEITEM boiler = NextItem(tree, TVGN_CHILD, plant);
        const HTREEITEM line1 = NextItem(tree, TVGN_NEXT, boiler);
        const HTREEITEM line2 = NextItem(tree, TVGN_NEXT, line1);
        for (int i = 0; i < 50 && !Checked(tree, boiler); ++i) Sleep(100); // the dialog settles
        if (!Checked(tree, boiler) || !Checked(tree, line1) || Checked(tree, line2) || Checked(tree, plant))
            fail("not the stored nodes ticked");
        else if (!Expanded(tree, plant))
            fail("the stored nodes' branch is not expanded");
        PostMessageA(nodes, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        for (int i = 0; i < 50 && IsWindow(nodes); ++i) Sleep(100);
        PostMessageA(dataSource, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    EXPECT_EQ(Dll().kesti2_updateConfiguration(&host, &out), ResultOk);
    again.join();
    Dll().kesti2_stringFree(out);
    EXPECT_EQ(failure, "");
    EXPECT_EQ(ReadFileBytes(MachineDataFolder() + "\\OPCHDAConfiguration.xml"), saved);

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

namespace kesti::test {
namespace {

// The host's window is in front when it asks for the dialogs: they open centred on it. While
// they are open a second request (another host, or the same one again) opens nothing: the
// open dialog comes to the front.
TEST_F(ConfigurationLauncherTest, TheDialogOpensOverTheHostsWindowAndASecondRequestBringsItToTheFront) {
    // The host's window, on a thread of its own that answers its messages (the thread that
    // asks for the dialogs waits until they have closed).
    std::atomic<HWND> hostWindow{nullptr};
    std::atomic<bool> closeHost{false};
    std::thread hostThread([&] {
        HWND window = CreateWindowExA(0, "STATIC", "Kesti test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 150, 120, 760, 560,
                                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        SetForegroundWindow(window);
        hostWindow = window;
        MSG message;
        while (!closeHost) {
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_APP) SetForegroundWindow(window); // a person clicks on it
                DispatchMessageA(&message);
            }
            Sleep(10);
        }
        DestroyWindow(window);
    });
    for (int i = 0; i < 100 && hostWindow == nullptr; ++i) Sleep(50);
    ASSERT_NE(hostWindow.load(), nullptr);

    std::string failure;
    std::atomic<bool> secondEnded{false};
    std::thread person([&] {
        const auto fail = [&](const std::string& why) { failure += why + "; "; };
        HWND dialog = WaitForWindow("Create Connection to Data Source");
        if (dialog == nullptr) return fail("no data-source dialog");
        RECT host{}, shown{};
        GetWindowRect(hostWindow, &host);
        GetWindowRect(dialog, &shown);
        if (std::abs((shown.left + shown.right) - (host.left + host.right)) > 4 ||
            std::abs((shown.top + shown.bottom) - (host.top + host.bottom)) > 4)
            fail("not centred on the host's window");

        // The host's window comes to the front, then the second request.
        PostMessageA(hostWindow, WM_APP, 0, 0);
        for (int i = 0; i < 50 && GetForegroundWindow() != hostWindow; ++i) Sleep(100);
        if (GetForegroundWindow() != hostWindow) fail("the host's window did not come to the front");
        std::thread second([&] {
            int unused = 0;
            StringHandle out = nullptr;
            Dll().kesti2_updateConfiguration(&unused, &out);
            Dll().kesti2_stringFree(out);
            secondEnded = true;
        });
        for (int i = 0; i < 300 && !secondEnded; ++i) Sleep(100);
        if (!secondEnded) fail("the second request opened dialogs of its own");
        if (ShownWindows("Create Connection to Data Source") != 1) fail("not one data-source dialog");
        if (GetForegroundWindow() != dialog) fail("the open dialog is not in front");
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        for (int i = 0; i < 100 && !secondEnded; ++i) { // a second dialog, if one came, is cancelled too
            if (HWND another = FindWindowA(nullptr, "Create Connection to Data Source"))
                PostMessageA(another, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            Sleep(100);
        }
        second.join();
    });
    int host = 0;
    StringHandle out = nullptr;
    EXPECT_EQ(Dll().kesti2_updateConfiguration(&host, &out), ResultOk);
    person.join();
    Dll().kesti2_stringFree(out);
    closeHost = true;
    hostThread.join();
    EXPECT_EQ(failure, "");
}

} // namespace
} // namespace kesti::test
