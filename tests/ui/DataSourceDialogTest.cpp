// The data-source dialog against this machine's registered simulation servers and server list,
// driven by messages as expanding, selecting and clicking would send them.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "common/SimulationServer.h"
#include "discovery/ReachabilityProbe.h"
#include "platform/Seams.h"
#include "ui/DataSourceDialog.h"
#include "ui/ResourceIds.h"
#include "ui/ServerToolTip.h"
#include "ui/TreeItems.h"

namespace kesti::ui {
namespace {

struct ItemView {
    HTREEITEM item;
    std::string text;
    TreeItemKind kind;
    int image;
};

class DataSourceDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
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
        platform::SetMessageBoxHandler({});
        platform::SetActivationHandler(nullptr);
    }
    void Open() {
        ASSERT_NE(dialog_.CreateModeless(), nullptr) << "needs a display (the test command starts Xvfb)";
        tree_ = dialog_.Item(IDC_SERVER_TREE);
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
    bool Enabled(int id) { return IsWindowEnabled(dialog_.Item(id)) != FALSE; }
    void Click(int id) {
        SendMessageW(dialog_.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(dialog_.Item(id)));
    }

    DataSourceDialog dialog_;
    HWND tree_ = nullptr;
};

TEST_F(DataSourceDialogTest, OpensWithThisMachineAndTheNetworksMachinesUnlisted) {
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
}

TEST_F(DataSourceDialogTest, ExpandingThisMachineListsTheHdaServerFirstAndSelectionEnablesTheButtons) {
    Open();
    const HTREEITEM local = Children(TVI_ROOT)[0].item;
    TreeView_Expand(tree_, local, TVE_EXPAND);
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
    RECT row{};
    TreeView_GetItemRect(tree_, servers[0].item, &row, TRUE);
    SendMessageW(tree_, WM_MOUSEMOVE, 0, MAKELPARAM((row.left + row.right) / 2, (row.top + row.bottom) / 2));
    HWND tipWindow = dialog_.ToolTip().Handle();
    ASSERT_NE(tipWindow, nullptr);
    EXPECT_EQ(SendMessageW(tipWindow, TTM_GETDELAYTIME, TTDT_INITIAL, 0), 300);
    EXPECT_EQ(SendMessageW(tipWindow, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), 15000);
    EXPECT_EQ(SendMessageW(tipWindow, TTM_GETMAXTIPWIDTH, 0, 0), 300);
    char body[512] = {};
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = dialog_.Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(tree_);
    tool.lpszText = body;
    SendMessageA(tipWindow, TTM_GETTEXTA, sizeof body, reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(std::string(body), tip.substr(tip.find('\n') + 1));
    EXPECT_EQ(dialog_.ToolTip().Title(), "OpcHDAKesti Simulation HDA Server");
    SendMessageW(tree_, WM_MOUSEMOVE, 0, MAKELPARAM(row.left + 2, row.bottom + 400)); // below every item
    EXPECT_EQ(dialog_.ToolTip().Title(), "") << "no tip away from a server";

    TreeView_SelectItem(tree_, servers[0].item);
    EXPECT_TRUE(Enabled(IDOK));
    EXPECT_TRUE(Enabled(IDC_TEST_CONNECTIVITY));
    EXPECT_FALSE(Enabled(IDC_CREDENTIALS));
    TreeView_SelectItem(tree_, dataAccess->item);
    EXPECT_FALSE(Enabled(IDOK)) << "not an OPC HDA server";
    EXPECT_FALSE(Enabled(IDC_TEST_CONNECTIVITY));
    TreeView_SelectItem(tree_, Children(Children(TVI_ROOT)[1].item)[0].item);
    EXPECT_TRUE(Enabled(IDC_CREDENTIALS)) << "a named machine takes credentials";
    EXPECT_FALSE(Enabled(IDOK));
}

TEST_F(DataSourceDialogTest, AMachineThatDoesNotAnswerShowsOneErrorItem) {
    platform::SetActivationHandler([](const CLSID&, DWORD, COSERVERINFO* server, ULONG, MULTI_QI*) -> HRESULT {
        return server != nullptr ? HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) : REGDB_E_CLASSNOTREG;
    });
    Open();
    SetDlgItemTextA(dialog_.Handle(), IDC_OTHER_SERVER, "plant-silent");
    Click(IDC_ADD_MACHINE);
    const auto top = Children(TVI_ROOT);
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[2].text, "plant-silent");
    EXPECT_EQ(top[2].kind, TreeItemKind::NamedMachine);
    TreeView_Expand(tree_, top[2].item, TVE_EXPAND);
    const auto error = Children(top[2].item);
    ASSERT_EQ(error.size(), 1u);
    EXPECT_EQ(error[0].image, ICON_ERROR);
    EXPECT_EQ(error[0].kind, TreeItemKind::Placeholder) << "marked as a placeholder, so expanding again retries";
    EXPECT_FALSE(error[0].text.empty());
    EXPECT_NE(error[0].text, "Dummy");
}

// OK and Test connectivity... on what is selected: their messages, and a branchless server
// confirmed at once with the single node "OPC".
TEST_F(DataSourceDialogTest, ConfirmingChecksTheSelectionAndABranchlessServerStoresOneNode) {
    test::SimulationServer sim(R"({ "items": [ { "name": "x" } ] })");
    std::vector<std::string> shown;
    platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& request) {
        shown.push_back(request.text);
        return IDOK;
    });
    dialog_.SetDataSource({{}, "", {{"Old", "Old"}}});
    Open();
    Click(IDOK);
    const HTREEITEM local = Children(TVI_ROOT)[0].item;
    TreeView_Expand(tree_, local, TVE_EXPAND);
    HTREEITEM hda = nullptr, dataAccess = nullptr;
    for (const auto& s : Children(local)) {
        if (s.text == "OpcHdaSim.Server") hda = s.item;
        if (s.text == "OpcHdaSim.DataAccess.1") dataAccess = s.item;
    }
    ASSERT_NE(hda, nullptr);
    ASSERT_NE(dataAccess, nullptr);
    TreeView_SelectItem(tree_, dataAccess);
    Click(IDOK);
    TreeView_SelectItem(tree_, hda);
    Click(IDC_TEST_CONNECTIVITY);
    EXPECT_EQ(shown, (std::vector<std::string>{"No valid OPC server is selected", "No valid OPC HDA server is selected",
                                               "Test Successful!"}));
    EXPECT_EQ(dialog_.Result(), 0) << "still open";

    Click(IDOK);
    EXPECT_EQ(dialog_.Result(), IDOK);
    const DataSource chosen = dialog_.GetDataSource();
    EXPECT_EQ(chosen.url, "opchda:///OpcHdaSim.Server/{4A5B6C7D-1E2F-4A3B-8C9D-0E1F2A3B4C5D}");
    EXPECT_EQ(chosen.nodes, (std::vector<ConfiguredNode>{{"OPC", ""}}));
    EXPECT_EQ(chosen.credentials, Credentials{});
}

// A person clicks the [+] of an item, as the tree tells its parent each time.
void ClickExpandButton(HWND tree, HTREEITEM item) {
    RECT row{};
    TreeView_GetItemRect(tree, item, &row, TRUE);
    const int y = (row.top + row.bottom) / 2;
    for (int x = 0; x < row.left; ++x) {
        TVHITTESTINFO hit{};
        hit.pt = POINT{x, y};
        if (TreeView_HitTest(tree, &hit) == item && (hit.flags & TVHT_ONITEMBUTTON)) {
            PostMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x + 2, y));
            PostMessageW(tree, WM_LBUTTONUP, 0, MAKELPARAM(x + 2, y));
            MSG message;
            for (int round = 0; round < 20; ++round) {
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
                Sleep(10);
            }
            return;
        }
    }
    ADD_FAILURE() << "the item shows no button";
}

// Machines that did not answer are asked again when expanded again; credentials entered for a
// named machine are used by every later listing.
TEST_F(DataSourceDialogTest, CollapsingAndExpandingRetriesWithTheCredentialsGivenLast) {
    std::vector<std::wstring> usersAsked;
    // The machine answers the reachability probe, and its server list refuses the caller.
    platform::SetActivationHandler([&](const CLSID& clsid, DWORD, COSERVERINFO* server, ULONG, MULTI_QI*) -> HRESULT {
        if (server == nullptr || IsEqualCLSID(clsid, kProbeClassId)) return REGDB_E_CLASSNOTREG;
        const auto* id = server->pAuthInfo != nullptr
                             ? static_cast<const COAUTHIDENTITY*>(server->pAuthInfo->pAuthIdentityData)
                             : nullptr;
        usersAsked.push_back(id != nullptr && id->User != nullptr ? std::wstring(reinterpret_cast<wchar_t*>(id->User)) : L"");
        return E_ACCESSDENIED;
    });
    Open();
    SetDlgItemTextA(dialog_.Handle(), IDC_OTHER_SERVER, "plant-hda");
    Click(IDC_ADD_MACHINE);
    const HTREEITEM machine = Children(TVI_ROOT)[2].item;
    ClickExpandButton(tree_, machine);
    ASSERT_EQ(Children(machine).size(), 1u);
    EXPECT_EQ(Children(machine)[0].image, ICON_ERROR);
    const std::size_t firstAttempt = usersAsked.size();
    ASSERT_GT(firstAttempt, 0u);
    EXPECT_EQ(usersAsked.back(), L"") << "no credentials yet";

    // Credentials... on the machine: a person types a user name and confirms.
    TreeView_SelectItem(tree_, machine);
    std::thread person([] {
        for (int i = 0; i < 100; ++i) {
            HWND credentials = FindWindowA(nullptr, "OPC Configuration");
            if (credentials != nullptr && IsWindowVisible(credentials)) { // filled and shown: a person can type
                SetDlgItemTextA(credentials, IDC_USER_NAME, "historian");
                PostMessageA(credentials, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                return;
            }
            Sleep(50);
        }
    });
    Click(IDC_CREDENTIALS);
    person.join();
    EXPECT_EQ(dialog_.Selection().userName, L"historian");

    ClickExpandButton(tree_, machine); // collapse
    ClickExpandButton(tree_, machine); // and expand again: the error item marks a placeholder
    EXPECT_GT(usersAsked.size(), firstAttempt) << "the machine is asked again";
    EXPECT_EQ(usersAsked.back(), L"historian");
    ASSERT_EQ(Children(machine).size(), 1u) << "still one error item, not two";
    EXPECT_EQ(Children(machine)[0].image, ICON_ERROR);
}

} // namespace
} // namespace kesti::ui
