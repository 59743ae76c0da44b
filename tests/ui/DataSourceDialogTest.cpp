// The data-source dialog against this machine's registered simulation servers and server list,
// shown on the display and driven by messages as a person's keys, clicks and expansions send
// them; its own message loop is this test's, which gives the dialog's keys to
// IsDialogMessage as a modeless dialog's owner does.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "base/ResultText.h"
#include "common/SimulationServer.h"
#include "discovery/ReachabilityProbe.h"
#include "platform/RegistryKey.h"
#include "platform/Seams.h"
#include "platform/UniqueHandle.h"
#include "ui/DataSourceDialog.h"
#include "ui/ResourceIds.h"
#include "ui/ServerToolTip.h"
#include "ui/TreeItems.h"
#include "unit/TempDataFolder.h"

namespace kesti::ui {
namespace {

struct ItemView {
    HTREEITEM item;
    std::string text;
    TreeItemKind kind;
    int image;
};

class DataSourceDialogTest : public test::TempDataFolderTest {
protected:
    void SetUp() override {
        TempDataFolderTest::SetUp();
        platform::SetNetworkHostsHandler([](std::vector<std::wstring>& names) {
            names = {L"HDA-01"};
            return static_cast<DWORD>(0); // NERR_Success
        });
        platform::SetMessageBoxHandler([](const platform::MessageBoxRequest& request) {
            ADD_FAILURE() << "unexpected message box: " << request.text;
            return IDOK;
        });
    }
    void TearDown() override {
        platform::SetNetworkHostsHandler({});
        platform::SetActivationHandler(nullptr);
        TempDataFolderTest::TearDown();
    }
    // Opens the dialog, shown, and waits until the machines of the network are listed.
    void Open() {
        ASSERT_NE(dialog_.CreateModeless(), nullptr) << "needs a display (the test command starts Xvfb)";
        ShowWindow(dialog_.Handle(), SW_SHOW);
        tree_ = dialog_.Item(IDC_SERVER_TREE);
        ASSERT_TRUE(WaitForWork());
    }
    // The dialog's messages for a while, keys through the dialog manager.
    void Pump(int milliseconds = 100) {
        const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
        MSG message;
        do {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (dialog_.Handle() != nullptr && IsDialogMessageW(dialog_.Handle(), &message)) continue;
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            Sleep(5);
        } while (GetTickCount64() < until);
    }
    // Pumps until the dialog's background work has ended (at most the limit).
    bool WaitForWork(int limitMs = 30000) {
        const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(limitMs);
        while (dialog_.Handle() != nullptr && dialog_.WorkRunning() > 0 && GetTickCount64() < until) Pump(10);
        Pump(30);
        return dialog_.WorkRunning() == 0;
    }
    // A key pressed and released where the focus is.
    void Press(UINT key) {
        HWND focus = GetFocus();
        PostMessageW(focus, WM_KEYDOWN, key, 1);
        PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
        Pump(50);
    }
    void Type(const std::string& text) {
        for (char c : text) PostMessageW(GetFocus(), WM_CHAR, static_cast<unsigned char>(c), 1);
        Pump(50);
    }
    // Alt and a letter: the control whose text underlines it.
    void AltKey(char letter) {
        PostMessageW(GetFocus(), WM_SYSCHAR, static_cast<WPARAM>(letter), 1 << 29);
        Pump(50);
    }
    std::vector<ItemView> Children(HTREEITEM parent) {
        std::vector<ItemView> items;
        for (HTREEITEM item = parent == TVI_ROOT ? TreeView_GetRoot(tree_) : TreeView_GetChild(tree_, parent); item != nullptr;
             item = TreeView_GetNextSibling(tree_, item)) {
            TVITEMW data{};
            data.mask = TVIF_IMAGE;
            data.hItem = item;
            TreeView_GetItem(tree_, &data);
            items.push_back(ItemView{item, TreeItemText(tree_, item), dialog_.KindOf(item), data.iImage});
        }
        return items;
    }
    HTREEITEM Find(HTREEITEM parent, const std::string& text) {
        for (const ItemView& child : Children(parent))
            if (child.text == text) return child.item;
        return nullptr;
    }
    bool Enabled(int id) { return IsWindowEnabled(dialog_.Item(id)) != FALSE; }
    bool IsDefault(int id) { return (GetWindowLongW(dialog_.Item(id), GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON; }
    bool Expanded(HTREEITEM item) { return (TreeView_GetItemState(tree_, item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0; }
    void Click(int id) {
        SendMessageW(dialog_.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(dialog_.Item(id)));
    }
    // A person clicks the [+] (or [-]) of an item.
    void ClickExpandButton(HTREEITEM item) {
        RECT row{};
        TreeView_GetItemRect(tree_, item, &row, TRUE);
        const int y = (row.top + row.bottom) / 2;
        for (int x = 0; x < row.left; ++x) {
            TVHITTESTINFO hit{};
            hit.pt = POINT{x, y};
            if (TreeView_HitTest(tree_, &hit) == item && (hit.flags & TVHT_ONITEMBUTTON)) {
                PostMessageW(tree_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x + 2, y));
                PostMessageW(tree_, WM_LBUTTONUP, 0, MAKELPARAM(x + 2, y));
                Pump(100);
                return;
            }
        }
        ADD_FAILURE() << "the item shows no button";
    }
    // The pointer rests on the item: the tip's title and text for it.
    std::string TipOver(HTREEITEM item) {
        RECT row{};
        TreeView_GetItemRect(tree_, item, &row, TRUE);
        SendMessageW(tree_, WM_MOUSEMOVE, 0, MAKELPARAM((row.left + row.right) / 2, (row.top + row.bottom) / 2));
        char body[1024] = {};
        TTTOOLINFOA tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = dialog_.Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(tree_);
        tool.lpszText = body;
        SendMessageA(dialog_.ToolTip().Handle(), TTM_GETTEXTA, sizeof body, reinterpret_cast<LPARAM>(&tool));
        return dialog_.ToolTip().Title() + "\n" + body;
    }
    // The servers of this machine, listed.
    HTREEITEM ExpandThisMachine() {
        const HTREEITEM local = Children(TVI_ROOT)[0].item;
        ClickExpandButton(local);
        EXPECT_TRUE(WaitForWork());
        return local;
    }

    DataSourceDialog dialog_;
    HWND tree_ = nullptr;
};

RECT WindowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

TEST_F(DataSourceDialogTest, OpensCentredWithThisMachineAndTheNetworksMachinesUnlisted) {
    Open();
    const auto top = Children(TVI_ROOT);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].text, "Local host");
    EXPECT_EQ(top[0].kind, TreeItemKind::LocalHost);
    EXPECT_EQ(top[0].image, ICON_MACHINE);
    EXPECT_EQ(top[1].text, "Local network");
    EXPECT_EQ(top[1].kind, TreeItemKind::LocalNetwork);
    EXPECT_EQ(top[1].image, ICON_NETWORK);
    const auto placeholder = Children(top[0].item);
    ASSERT_EQ(placeholder.size(), 1u);
    EXPECT_EQ(placeholder[0].text, "Dummy");
    EXPECT_EQ(placeholder[0].kind, TreeItemKind::Placeholder);
    const auto network = Children(top[1].item);
    ASSERT_EQ(network.size(), 1u);
    EXPECT_EQ(network[0].text, "HDA-01");
    EXPECT_EQ(network[0].kind, TreeItemKind::NamedMachine);
    EXPECT_EQ(Children(network[0].item).size(), 1u) << "a placeholder until expanded";
    EXPECT_FALSE(Enabled(IDOK));
    EXPECT_FALSE(Enabled(IDC_CREDENTIALS));
    EXPECT_FALSE(Enabled(IDC_TEST_CONNECTIVITY));
    EXPECT_EQ(GetFocus(), tree_);

    // Without an owner, in the middle of the screen's work area.
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const RECT dialog = WindowRect(dialog_.Handle());
    EXPECT_NEAR((dialog.left + dialog.right) / 2, (area.left + area.right) / 2, 2);
    EXPECT_NEAR((dialog.top + dialog.bottom) / 2, (area.top + area.bottom) / 2, 2);
}

TEST_F(DataSourceDialogTest, ExpandingThisMachineListsTheHdaServerFirstAndItsSelectionStaysInSight) {
    Open();
    const HTREEITEM local = Children(TVI_ROOT)[0].item;
    ClickExpandButton(local);
    EXPECT_TRUE(WaitForWork());
    const auto servers = Children(local);
    ASSERT_GE(servers.size(), 2u);
    EXPECT_EQ(servers[0].text, "OpcHdaSim.Server");
    EXPECT_EQ(servers[0].image, ICON_HDA_SERVER);
    EXPECT_EQ(servers[0].kind, TreeItemKind::Server);
    const OPCServerInfo* hda = dialog_.ServerOf(servers[0].item);
    ASSERT_NE(hda, nullptr);
    EXPECT_EQ(hda->address.ToString(),
              "opchda:///OpcHdaSim.Server/{4A5B6C7D-1E2F-4A3B-8C9D-0E1F2A3B4C5D}");
    const ItemView* dataAccess = nullptr;
    for (const auto& s : servers)
        if (s.text == "OpcHdaSim.DataAccess.1") dataAccess = &s;
    ASSERT_NE(dataAccess, nullptr);
    EXPECT_EQ(dataAccess->image, ICON_OTHER_SERVER);

    // The pointer over the server brings its tip: the server's listed name as the title, a
    // line per OPC standard it implements as the text.
    const std::string tip = ServerToolTipText(hda->address);
    EXPECT_EQ(tip.substr(0, tip.find('\n')), "OpcHDAKesti Simulation HDA Server");
    EXPECT_NE(tip.find('\n'), std::string::npos) << "one line for Historical Data Access";
    EXPECT_EQ(TipOver(servers[0].item), tip);
    HWND tipWindow = dialog_.ToolTip().Handle();
    EXPECT_EQ(SendMessageW(tipWindow, TTM_GETDELAYTIME, TTDT_INITIAL, 0), 300);
    EXPECT_EQ(SendMessageW(tipWindow, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), 15000);
    EXPECT_EQ(SendMessageW(tipWindow, TTM_GETMAXTIPWIDTH, 0, 0), 300);
    RECT row{};
    TreeView_GetItemRect(tree_, servers[0].item, &row, TRUE);
    SendMessageW(tree_, WM_MOUSEMOVE, 0, MAKELPARAM(row.left + 2, row.bottom + 400)); // below every item
    EXPECT_EQ(dialog_.ToolTip().Title(), "") << "no tip away from a server";

    TreeView_SelectItem(tree_, servers[0].item);
    EXPECT_TRUE(Enabled(IDOK));
    EXPECT_TRUE(Enabled(IDC_TEST_CONNECTIVITY));
    EXPECT_FALSE(Enabled(IDC_CREDENTIALS));

    // The focus goes to "Other OPC server:": the selected server stays drawn in the
    // selection's colour, not the faint grey of an unfocused tree.
    AltKey('s');
    ASSERT_EQ(GetFocus(), dialog_.Item(IDC_OTHER_SERVER));
    RedrawWindow(tree_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(tree_);
    int highlighted = 0, all = 0;
    for (int y = row.top + 1; y < row.bottom - 1; ++y)
        for (int x = row.left + 1; x < row.right - 1; ++x, ++all)
            highlighted += GetPixel(dc, x, y) == GetSysColor(COLOR_HIGHLIGHT);
    ReleaseDC(tree_, dc);
    EXPECT_GT(highlighted * 2, all) << highlighted << " of " << all << " pixels of the selected row in the selection's colour";

    TreeView_SelectItem(tree_, dataAccess->item);
    EXPECT_FALSE(Enabled(IDOK)) << "not an OPC HDA server";
    EXPECT_FALSE(Enabled(IDC_TEST_CONNECTIVITY));
    TreeView_SelectItem(tree_, Children(Children(TVI_ROOT)[1].item)[0].item);
    EXPECT_TRUE(Enabled(IDC_CREDENTIALS)) << "a named machine takes credentials";
    EXPECT_FALSE(Enabled(IDOK));
}

// The issue's first problem as a person meets it: a server is selected (OK is enabled), the
// person types a machine into "Other OPC server:" and presses Enter. The machine is added;
// nothing is confirmed.
TEST_F(DataSourceDialogTest, EnterInOtherOpcServerAddsTheMachineOnceAndOkIsTheDefaultAgainAfter) {
    Open();
    TreeView_SelectItem(tree_, Children(ExpandThisMachine())[0].item);
    ASSERT_TRUE(Enabled(IDOK));
    EXPECT_TRUE(IsDefault(IDOK));

    AltKey('s'); // "Other OPC &server:"
    ASSERT_EQ(GetFocus(), dialog_.Item(IDC_OTHER_SERVER));
    EXPECT_TRUE(IsDefault(IDC_ADD_MACHINE)) << "Add is the default button while the focus is in the edit";
    EXPECT_FALSE(IsDefault(IDOK));
    Type("  plant-hist ");
    Press(VK_RETURN);
    EXPECT_EQ(dialog_.Result(), 0) << "the dialog is not confirmed";
    auto top = Children(TVI_ROOT);
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[2].text, "plant-hist") << "without the blanks";
    EXPECT_EQ(top[2].kind, TreeItemKind::NamedMachine);
    EXPECT_EQ(TreeView_GetSelection(tree_), top[2].item) << "the machine added is selected";
    EXPECT_TRUE(Enabled(IDC_CREDENTIALS));

    // The same machine again, or this machine by any of its names: selected, not added.
    const auto enter = [&](const std::string& name) {
        Type(name);
        Press(VK_RETURN);
        return TreeView_GetSelection(tree_);
    };
    TreeView_SelectItem(tree_, top[0].item);
    EXPECT_EQ(enter("PLANT-HIST"), top[2].item);
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof computer;
    GetComputerNameA(computer, &size);
    for (const std::string& name : std::vector<std::string>{"localhost", "127.0.0.1", "Local host", computer}) {
        TreeView_SelectItem(tree_, top[2].item);
        EXPECT_EQ(enter(name), top[0].item) << name << " is this machine";
    }
    EXPECT_EQ(enter("   "), top[0].item) << "nothing to add";
    EXPECT_EQ(Children(TVI_ROOT).size(), 3u) << "no machine twice";
    EXPECT_EQ(dialog_.Result(), 0);

    // A click into the tree: the focus leaves the edit.
    RECT row{};
    TreeView_GetItemRect(tree_, top[0].item, &row, TRUE);
    PostMessageW(tree_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(row.left + 3, (row.top + row.bottom) / 2));
    PostMessageW(tree_, WM_LBUTTONUP, 0, MAKELPARAM(row.left + 3, (row.top + row.bottom) / 2));
    Pump(100);
    EXPECT_EQ(GetFocus(), tree_);
    EXPECT_TRUE(IsDefault(IDOK)) << "OK is the default button again";
    EXPECT_EQ(SendMessageW(dialog_.Handle(), DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
}

// Confirming checks the selection (its messages carry the dialog's caption), testing and
// browsing run in the background, and a branchless server is confirmed at once with the
// single node "OPC".
TEST_F(DataSourceDialogTest, ConfirmingChecksTheSelectionAndABranchlessServerStoresOneNode) {
    test::SimulationServer sim(R"({ "items": [ { "name": "x" } ] })");
    std::vector<platform::MessageBoxRequest> shown;
    platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& request) {
        shown.push_back(request);
        return IDOK;
    });
    dialog_.SetDataSource({{}, "", {{"Old", "Old"}}});
    Open();
    Click(IDOK);
    const HTREEITEM local = ExpandThisMachine();
    const HTREEITEM hda = Find(local, "OpcHdaSim.Server"), dataAccess = Find(local, "OpcHdaSim.DataAccess.1");
    ASSERT_NE(hda, nullptr);
    ASSERT_NE(dataAccess, nullptr);
    TreeView_SelectItem(tree_, dataAccess);
    Click(IDOK);
    TreeView_SelectItem(tree_, hda);
    Click(IDC_TEST_CONNECTIVITY);
    EXPECT_TRUE(WaitForWork());
    std::vector<std::string> texts;
    for (const auto& request : shown) {
        texts.push_back(request.text);
        EXPECT_EQ(request.caption, "Create Connection to Data Source");
        EXPECT_EQ(request.owner, dialog_.Handle()) << "modal to the dialog";
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"No valid OPC server is selected", "No valid OPC HDA server is selected",
                                               "Test Successful!"}));
    EXPECT_EQ(dialog_.Result(), 0) << "still open";

    Click(IDOK);
    ASSERT_EQ(Children(hda).size(), 1u) << "a Searching... item while the server is browsed";
    EXPECT_TRUE(dialog_.IsSearching(Children(hda)[0].item));
    EXPECT_EQ(Children(hda)[0].text, "Searching...");
    EXPECT_FALSE(Enabled(IDOK)) << "not confirmed twice";
    EXPECT_TRUE(WaitForWork());
    EXPECT_EQ(dialog_.Result(), IDOK);
    const DataSource chosen = dialog_.GetDataSource();
    EXPECT_EQ(chosen.url, "opchda:///OpcHdaSim.Server/{4A5B6C7D-1E2F-4A3B-8C9D-0E1F2A3B4C5D}");
    EXPECT_EQ(chosen.nodes, (std::vector<ConfiguredNode>{{"OPC", ""}}));
    EXPECT_EQ(chosen.credentials, Credentials{});
}

// The stored choice comes back: this machine expanded (also when the address names it
// "localhost"), its server selected, OK and Test connectivity... enabled, and Enter confirms
// at once. Cancel works while the server is being browsed.
TEST_F(DataSourceDialogTest, ReopeningShowsTheStoredServerSelectedAndEnterBrowsesIt) {
    test::SimulationServer sim(R"({ "server": { "delayMs": { "CreateBrowse": 1500 } },
                                   "branches": [ { "name": "Plant", "items": [ { "name": "x" } ] } ] })");
    dialog_.SetDataSource({{}, test::kSimulationServerUrl, {{"Plant", "Plant"}}});
    Open();
    const auto top = Children(TVI_ROOT);
    ASSERT_EQ(top.size(), 2u) << "\"localhost\" is Local host, not a second machine";
    EXPECT_TRUE(Expanded(top[0].item));
    const HTREEITEM selected = TreeView_GetSelection(tree_);
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(TreeItemText(tree_, selected), "OpcHdaSim.Server");
    EXPECT_EQ(TreeView_GetParent(tree_, selected), top[0].item);
    EXPECT_TRUE(Enabled(IDOK));
    EXPECT_TRUE(Enabled(IDC_TEST_CONNECTIVITY));
    EXPECT_EQ(GetFocus(), tree_);

    Press(VK_RETURN);
    ASSERT_EQ(Children(selected).size(), 1u);
    EXPECT_TRUE(dialog_.IsSearching(Children(selected)[0].item)) << "Enter confirms: the server is being browsed";
    SendMessageW(tree_, WM_SETCURSOR, reinterpret_cast<WPARAM>(tree_), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32650))) << "the busy pointer while it is";
    Press(VK_ESCAPE);
    EXPECT_EQ(dialog_.Result(), IDCANCEL) << "Cancel works during the browse";
    EXPECT_EQ(dialog_.Handle(), nullptr);
    EXPECT_EQ(dialog_.GetDataSource().url, test::kSimulationServerUrl) << "nothing chosen";
    Sleep(2000); // the abandoned browse ends before the server's data file goes
}

// The issue's second problem and the dialog's answering: a machine whose probe waits its
// whole time-out. Meanwhile a second thread asks the dialog every 100 ms for an answer within
// 200 ms; afterwards the error item, its tip and the log tell what happened.
TEST_F(DataSourceDialogTest, AMachineThatDoesNotAnswerIsToldWhileTheDialogKeepsAnswering) {
    const DWORD timeoutSeconds = 2;
    const platform::RegistryKey settings =
        platform::RegistryKey::Create(HKEY_CURRENT_USER, "Software\\Norvane\\Kesti\\Lantrel", KEY_SET_VALUE);
    ASSERT_TRUE(settings);
    RegSetValueExA(settings.Get(), "OPCTimeout", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&timeoutSeconds),
                   sizeof timeoutSeconds);
    // The probe of this machine never comes back; the event ends the abandoned probes when the test is over.
    auto released = std::make_shared<platform::UniqueHandle>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    platform::SetActivationHandler([released](const CLSID& clsid, DWORD, COSERVERINFO* server, ULONG, MULTI_QI*) -> HRESULT {
        if (server == nullptr || server->pwszName == nullptr) return REGDB_E_CLASSNOTREG;
        if (IsEqualCLSID(clsid, kProbeClassId)) WaitForSingleObject(released->Get(), 60000);
        return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
    });
    struct Cleanup {
        std::shared_ptr<platform::UniqueHandle> event;
        ~Cleanup() {
            SetEvent(event->Get());
            RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Norvane\\Kesti\\Lantrel", "OPCTimeout");
        }
    } cleanup{released};

    Open();
    SetDlgItemTextA(dialog_.Handle(), IDC_OTHER_SERVER, "plant-silent");
    Click(IDC_ADD_MACHINE);
    const HTREEITEM machine = Children(TVI_ROOT)[2].item;

    std::atomic<bool> stop{false};
    std::atomic<int> asked{0}, late{0}, lateInARow{0}, mostLateInARow{0};
    HWND window = dialog_.Handle();
    std::thread checker([&] {
        while (!stop) {
            DWORD_PTR answer = 0;
            ++asked;
            if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 200, &answer) == 0) {
                ++late;
                mostLateInARow = std::max<int>(mostLateInARow, ++lateInARow);
            } else {
                lateInARow = 0;
            }
            Sleep(100);
        }
    });
    const ULONGLONG started = GetTickCount64();
    ClickExpandButton(machine);
    ASSERT_EQ(Children(machine).size(), 1u);
    EXPECT_EQ(Children(machine)[0].text, "Searching...");
    SendMessageW(tree_, WM_SETCURSOR, reinterpret_cast<WPARAM>(tree_), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32650))) << "the busy pointer";
    EXPECT_TRUE(WaitForWork());
    const ULONGLONG waited = GetTickCount64() - started;
    stop = true;
    checker.join();
    EXPECT_GE(waited, timeoutSeconds * 1000 - 100) << "the probe waited its whole time-out";
    EXPECT_GE(asked, 10);
    // Two shared cores may delay one answer; a dialog that waits for the probe misses every
    // answer of its time-out in a row.
    EXPECT_LE(mostLateInARow, 1) << late << " of " << asked << " answers came later than 200 ms";
    EXPECT_LE(late * 10, asked.load());

    const auto error = Children(machine);
    ASSERT_EQ(error.size(), 1u);
    EXPECT_EQ(error[0].image, ICON_ERROR);
    EXPECT_EQ(error[0].kind, TreeItemKind::Placeholder) << "marked as a placeholder, so expanding again retries";
    const std::string system = SystemMessageText(HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
    const std::string expected = system.empty() ? "The machine did not answer (0x800706BA)" : system;
    EXPECT_EQ(error[0].text, expected);
    EXPECT_EQ(TipOver(error[0].item), expected + "\nTo try again, collapse plant-silent and expand it again.");

    std::istringstream records(LogText());
    int naming = 0;
    for (std::string line; std::getline(records, line);)
        naming += line.find("plant-silent") != std::string::npos && line.find("0x800706BA") != std::string::npos;
    EXPECT_EQ(naming, 1) << LogText();
    EXPECT_NE(LogText().find("The OPC servers of plant-silent could not be listed (0x800706BA): " + expected), std::string::npos);

    // Asked again, and cancelled while the probe waits: the dialog closes at once.
    ClickExpandButton(machine);
    ClickExpandButton(machine);
    ASSERT_EQ(Children(machine).size(), 1u);
    EXPECT_TRUE(dialog_.IsSearching(Children(machine)[0].item));
    Click(IDCANCEL);
    EXPECT_EQ(dialog_.Result(), IDCANCEL);
    // The abandoned listing ends after its time-out, with the probe's record.
    const ULONGLONG until = GetTickCount64() + 15000;
    const auto probesGivenUp = [&] {
        std::size_t count = 0;
        for (std::size_t at = 0; (at = LogText().find("the host plant-silent did not answer", at)) != std::string::npos; ++at)
            ++count;
        return count;
    };
    while (probesGivenUp() < 2 && GetTickCount64() < until) Sleep(100);
    EXPECT_EQ(probesGivenUp(), 2u);
}

// Machines that did not answer are asked again when expanded again; credentials entered for a
// named machine (typed where the focus is when the credentials dialog opens, confirmed with
// Enter) are used by every later listing.
TEST_F(DataSourceDialogTest, CollapsingAndExpandingRetriesWithTheCredentialsGivenLast) {
    // The machine answers the reachability probe, and its server list refuses the caller.
    auto asked = std::make_shared<std::vector<std::wstring>>();
    auto lock = std::make_shared<std::mutex>();
    platform::SetActivationHandler([asked, lock](const CLSID& clsid, DWORD, COSERVERINFO* server, ULONG, MULTI_QI*) -> HRESULT {
        if (server == nullptr || IsEqualCLSID(clsid, kProbeClassId)) return REGDB_E_CLASSNOTREG;
        const auto* id = server->pAuthInfo != nullptr
                             ? static_cast<const COAUTHIDENTITY*>(server->pAuthInfo->pAuthIdentityData)
                             : nullptr;
        std::lock_guard<std::mutex> guard(*lock);
        asked->push_back(id != nullptr && id->User != nullptr ? std::wstring(reinterpret_cast<wchar_t*>(id->User)) : L"");
        return E_ACCESSDENIED;
    });
    const auto lastAsked = [&] {
        std::lock_guard<std::mutex> guard(*lock);
        return std::make_pair(asked->size(), asked->empty() ? std::wstring(L"?") : asked->back());
    };
    Open();
    SetDlgItemTextA(dialog_.Handle(), IDC_OTHER_SERVER, "plant-hda");
    Click(IDC_ADD_MACHINE);
    const HTREEITEM machine = Children(TVI_ROOT)[2].item;
    ClickExpandButton(machine);
    ASSERT_TRUE(WaitForWork());
    ASSERT_EQ(Children(machine).size(), 1u);
    EXPECT_EQ(Children(machine)[0].image, ICON_ERROR);
    const auto first = lastAsked();
    ASSERT_GT(first.first, 0u);
    EXPECT_EQ(first.second, L"") << "no credentials yet";

    // Credentials... on the machine: the dialog opens centred on this one with the focus in
    // Name; a person types a user name and presses Enter.
    TreeView_SelectItem(tree_, machine);
    const RECT owner = WindowRect(dialog_.Handle());
    std::string seen;
    std::thread person([&] {
        for (int i = 0; i < 100; ++i) {
            HWND credentials = FindWindowA(nullptr, "OPC Configuration");
            if (credentials != nullptr && IsWindowVisible(credentials)) { // filled and shown: a person can type
                const RECT place = WindowRect(credentials);
                if (std::abs((place.left + place.right) - (owner.left + owner.right)) > 4 ||
                    std::abs((place.top + place.bottom) - (owner.top + owner.bottom)) > 4)
                    seen += "not centred on its owner; ";
                GUITHREADINFO gui{};
                gui.cbSize = sizeof gui;
                GetGUIThreadInfo(GetWindowThreadProcessId(credentials, nullptr), &gui);
                if (gui.hwndFocus != GetDlgItem(credentials, IDC_USER_NAME)) seen += "the focus is not in Name; ";
                for (char c : std::string("historian")) PostMessageA(gui.hwndFocus, WM_CHAR, static_cast<WPARAM>(c), 1);
                PostMessageA(gui.hwndFocus, WM_KEYDOWN, VK_RETURN, 1);
                return;
            }
            Sleep(50);
        }
        seen += "no credentials dialog";
    });
    AltKey('c'); // "&Credentials..."
    person.join();
    EXPECT_EQ(seen, "");
    EXPECT_EQ(dialog_.Selection().userName, L"historian");

    ClickExpandButton(machine); // collapse
    ClickExpandButton(machine); // and expand again: the error item marks a placeholder
    ASSERT_TRUE(WaitForWork());
    const auto again = lastAsked();
    EXPECT_GT(again.first, first.first) << "the machine is asked again";
    EXPECT_EQ(again.second, L"historian");
    ASSERT_EQ(Children(machine).size(), 1u) << "still one error item, not two";
    EXPECT_EQ(Children(machine)[0].image, ICON_ERROR);
}

} // namespace
} // namespace kesti::ui
