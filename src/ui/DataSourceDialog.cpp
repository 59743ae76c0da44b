#include "ui/DataSourceDialog.h"

#include <memory>

#include <boost/format.hpp>

#include "base/Exception.h"
#include "base/Log.h"
#include "base/TextConversion.h"
#include "discovery/DcomIdentity.h"
#include "discovery/OPCSpecification.h"
#include "discovery/ServerEnumeration.h"
#include "opchda/Browsing.h"
#include "opchda/OpcHdaProxy.h"
#include "platform/Seams.h"
#include "ui/CredentialsDialog.h"
#include "ui/NodesDialog.h"
#include "ui/ResourceIds.h"
#include "ui/TreeItems.h"

namespace kesti::ui {
namespace {

std::uint16_t KindOf(LPARAM data) { return static_cast<std::uint16_t>(static_cast<std::uint32_t>(data) >> 16); }
std::uint16_t LowOf(LPARAM data) { return static_cast<std::uint16_t>(static_cast<std::uint32_t>(data) & 0xFFFF); }
bool Is(LPARAM data, TreeItemKind kind) { return KindOf(data) == static_cast<std::uint16_t>(kind); }

bool ImplementsHda(const OPCServerInfo& server) {
    return (server.address.Specifications() & SpecHistoricalDataAccess10) != 0;
}

HTREEITEM InsertItem(HWND tree, HTREEITEM parent, const std::string& text, int image, LPARAM data) {
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | (image >= 0 ? TVIF_IMAGE | TVIF_SELECTEDIMAGE : 0);
    insert.item.pszText = const_cast<char*>(text.c_str());
    insert.item.iImage = insert.item.iSelectedImage = image;
    insert.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

// The wait cursor while its owner lives.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)))) {} // IDC_WAIT
    ~WaitCursor() { SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

// OPC HDA servers first; the order among the others, and among the HDA servers, is kept
// as the list gave it only as far as the sort keeps equal items.
int CALLBACK CompareServers(LPARAM first, LPARAM second, LPARAM table) {
    const auto& servers = *reinterpret_cast<const std::vector<OPCServerInfo>*>(table);
    const bool firstHda = ImplementsHda(servers[LowOf(first)]), secondHda = ImplementsHda(servers[LowOf(second)]);
    if (firstHda && secondHda) return 0;
    if (!firstHda) return 1;
    return -1;
}

} // namespace

LPARAM KindData(TreeItemKind kind, std::uint16_t low) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(kind) << 16) | low);
}

DataSourceDialog::DataSourceDialog() : Dialog(IDD_DATASOURCE), com_(COINIT_APARTMENTTHREADED) {}

void DataSourceDialog::SetConfiguration(const std::string& userName, const std::string& password,
                                        const std::string& domain, const std::string& url,
                                        const std::vector<ConfiguredNode>& nodes, bool useNullTimeValues) {
    selection_.address = OPCURL::Parse(url);
    selection_.userName = WideFromAnsi(userName);
    selection_.password = WideFromAnsi(password);
    selection_.domain = WideFromAnsi(domain);
    nodes_ = nodes;
    useNullTimeValues_ = useNullTimeValues;
    configured_ = true;
}

HWND DataSourceDialog::Tree() const { return Item(IDC_SERVER_TREE); }

bool DataSourceDialog::OnInitDialog() {
    const WaitCursor wait;
    images_ = LoadIconStrip();
    TreeView_SetImageList(Tree(), images_.Get(), TVSIL_NORMAL);
    toolTip_.Attach(Tree(), [this](HTREEITEM item) { return ToolTipOf(item); });
    layout_.Attach(Handle());
    layout_.Add(IDC_SERVER_TREE, {0, 0}, {1, 1});
    layout_.Add(-1, {0, 1}, {0, 1});
    layout_.Add(IDC_OTHER_SERVER, {0, 1}, {1, 1});
    layout_.Add(IDC_ADD_MACHINE, {1, 1}, {1, 1});
    layout_.Add(IDC_CREDENTIALS, {0, 1}, {0, 1});
    layout_.Add(IDC_TEST_CONNECTIVITY, {0, 1}, {0, 1});
    layout_.Add(IDOK, {1, 1}, {1, 1});
    layout_.Add(IDCANCEL, {1, 1}, {1, 1});

    SendMessageW(Tree(), WM_SETREDRAW, FALSE, 0);
    TreeView_DeleteAllItems(Tree());
    AddMachine("Local host", TreeItemKind::LocalHost, TVI_ROOT);
    const HTREEITEM network = InsertItem(Tree(), TVI_ROOT, "Local network", ICON_NETWORK, KindData(TreeItemKind::LocalNetwork));
    std::vector<std::string> hosts;
    ListNetworkHosts(hosts);
    for (const std::string& host : hosts) AddMachine(host, TreeItemKind::NamedMachine, network);
    if (!selection_.address.Host().empty()) {
        const HTREEITEM stored = AddMachine(selection_.address.Host(), TreeItemKind::NamedMachine, TVI_ROOT);
        FillMachine(TreeView_GetChild(Tree(), stored));
    }
    SendMessageW(Tree(), WM_SETREDRAW, TRUE, 0);
    for (int id : {IDC_CREDENTIALS, IDC_TEST_CONNECTIVITY, IDOK}) EnableWindow(Item(id), FALSE);
    return true;
}

HTREEITEM DataSourceDialog::AddMachine(const std::string& name, TreeItemKind kind, HTREEITEM parent) {
    const HTREEITEM machine = InsertItem(Tree(), parent, name, ICON_MACHINE, KindData(kind));
    InsertItem(Tree(), machine, "Dummy", -1, KindData(TreeItemKind::Placeholder));
    return machine;
}

void DataSourceDialog::FillMachine(HTREEITEM placeholder) {
    const HTREEITEM machine = TreeView_GetParent(Tree(), placeholder);
    const LPARAM machineData = TreeItemData(Tree(), machine);
    if (machine == nullptr || !Is(TreeItemData(Tree(), placeholder), TreeItemKind::Placeholder) || LowOf(machineData) != 0xFFFF ||
        Is(machineData, TreeItemKind::LocalNetwork))
        return;
    std::vector<OPCServerInfo> listed;
    try {
        const WaitCursor wait;
        DcomIdentity identity(ComCredentials{selection_.userName, selection_.password, selection_.domain});
        listed = EnumerateServers(Is(machineData, TreeItemKind::NamedMachine) ? TreeItemText(Tree(), machine) : std::string(),
                                  &identity);
        TreeView_DeleteItem(Tree(), placeholder);
    } catch (const Exception& e) {
        TreeView_DeleteItem(Tree(), placeholder);
        InsertItem(Tree(), machine, e.Message(), ICON_ERROR, KindData(TreeItemKind::Placeholder));
        return;
    } catch (...) {
        LogMessage(LogError, "Add Server caused unknown failure.");
        return;
    }
    for (OPCServerInfo& server : listed) AddServer(machine, std::move(server));
    if (listed.size() > 1) {
        TVSORTCB sort{machine, &CompareServers, reinterpret_cast<LPARAM>(&servers_)};
        TreeView_SortChildrenCB(Tree(), &sort, FALSE);
    }
}

void DataSourceDialog::AddServer(HTREEITEM machine, OPCServerInfo server) {
    const auto index = static_cast<std::uint16_t>(servers_.size());
    const std::string& path = server.address.Path();
    const auto slash = path.find('/');
    const std::string progId = slash == std::string::npos ? std::string() : path.substr(0, slash);
    const bool hda = ImplementsHda(server);
    const bool stored = selection_.address.Equals(server.address);
    servers_.push_back(std::move(server));
    const HTREEITEM item = InsertItem(Tree(), machine, progId, hda ? ICON_HDA_SERVER : ICON_OTHER_SERVER,
                                      KindData(TreeItemKind::Server, index));
    if (stored) TreeView_SelectItem(Tree(), item);
}

void DataSourceDialog::EnableForSelection(HTREEITEM selected) {
    const LPARAM data = selected != nullptr ? TreeItemData(Tree(), selected) : 0;
    const bool machine = Is(data, TreeItemKind::NamedMachine) && LowOf(data) == 0xFFFF;
    const bool hdaServer = Is(data, TreeItemKind::Server) && LowOf(data) < servers_.size() && ImplementsHda(servers_[LowOf(data)]);
    EnableWindow(Item(IDC_CREDENTIALS), machine);
    EnableWindow(Item(IDC_TEST_CONNECTIVITY), hdaServer);
    EnableWindow(Item(IDOK), hdaServer);
}

void DataSourceDialog::GetConfiguration(std::string& userName, std::string& password, std::string& domain,
                                        std::string& url, std::vector<ConfiguredNode>& nodes,
                                        bool& useNullTimeValues) const {
    userName = AnsiFromWide(selection_.userName);
    password = AnsiFromWide(selection_.password);
    domain = AnsiFromWide(selection_.domain);
    url = selection_.address.ToString();
    nodes = nodes_;
    if (configured_) useNullTimeValues = useNullTimeValues_;
}

bool DataSourceDialog::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return false;
    switch (id) {
    case IDC_ADD_MACHINE: OnAdd(); return true;
    case IDC_CREDENTIALS: OnCredentials(); return true;
    case IDC_TEST_CONNECTIVITY: OnTestConnectivity(); return true;
    default: return false;
    }
}

std::string DataSourceDialog::ToolTipOf(HTREEITEM item) const {
    try {
        const LPARAM data = TreeItemData(Tree(), item);
        if (!Is(data, TreeItemKind::Server) || LowOf(data) >= servers_.size()) return {};
        return ServerToolTipText(servers_[LowOf(data)].address);
    } catch (...) {
        try {
            LogMessage(LogWarning, "Unknown error occurred in OnToolHitTest.");
        } catch (...) {
            // No tip, and nothing more to tell.
        }
        return {};
    }
}

int DataSourceDialog::SelectedServer() const {
    const HTREEITEM selected = TreeView_GetSelection(Tree());
    if (selected == nullptr) return -1;
    const LPARAM data = TreeItemData(Tree(), selected);
    return Is(data, TreeItemKind::Server) && LowOf(data) < servers_.size() ? LowOf(data) : -1;
}

void DataSourceDialog::OnCredentials() {
    const HTREEITEM selected = TreeView_GetSelection(Tree());
    const LPARAM data = selected != nullptr ? TreeItemData(Tree(), selected) : 0;
    if (!Is(data, TreeItemKind::NamedMachine) || LowOf(data) != 0xFFFF) return;
    CredentialsDialog credentials;
    credentials.userName = AnsiFromWide(selection_.userName);
    credentials.password = AnsiFromWide(selection_.password);
    credentials.domain = AnsiFromWide(selection_.domain);
    if (credentials.RunModal(Handle()) != IDOK) return;
    selection_.userName = WideFromAnsi(credentials.userName);
    selection_.password = WideFromAnsi(credentials.password);
    selection_.domain = WideFromAnsi(credentials.domain);
}

void DataSourceDialog::OnTestConnectivity() {
    if (TreeView_GetSelection(Tree()) == nullptr) return;
    const int server = SelectedServer();
    const bool reachable = server >= 0 && OpcHdaProxy::IsHostReachable(servers_[server].address.Host());
    platform::ShowMessageBox({reachable ? "Test Successful!" : "Test failed.", "", MB_OK});
}

void DataSourceDialog::OnOK() {
    const HTREEITEM selected = TreeView_GetSelection(Tree());
    const int index = SelectedServer();
    if (index < 0 || TreeView_GetChild(Tree(), selected) != nullptr) {
        platform::ShowMessageBox({"No valid OPC server is selected", "", MB_OK | MB_ICONEXCLAMATION});
        return;
    }
    OPCServerInfo& entry = servers_[index];
    if (!ImplementsHda(entry)) {
        platform::ShowMessageBox({"No valid OPC HDA server is selected", "", MB_OK | MB_ICONEXCLAMATION});
        return;
    }
    entry.userName = selection_.userName; // the credentials given last browse and are saved
    entry.password = selection_.password;
    entry.domain = selection_.domain;
    auto tree = std::make_unique<BrowseTree>();
    bool noBranches = false;
    try {
        const WaitCursor wait;
        BuildBrowseTree(entry, *tree, noBranches);
    } catch (const Exception& e) {
        platform::ShowMessageBox({(boost::format("Could not browse file: %1%") % e.Message()).str(), "", MB_OK});
        return;
    }
    if (tree->Root() == nullptr && !noBranches) {
        platform::ShowMessageBox({"Could not browse the OPC server", "", MB_OK | MB_ICONEXCLAMATION});
        return;
    }
    if (noBranches) {
        selection_ = entry;
        nodes_ = {ConfiguredNode{"OPC", ""}}; // the whole server, listed flat
        Close(IDOK);
        return;
    }
    NodesDialog nodes;
    nodes.SetBrowseData(std::move(tree), nodes_);
    if (nodes.RunModal(Handle()) != IDOK) return;
    selection_ = entry;
    nodes_ = nodes.Selection();
    Close(IDOK);
}

void DataSourceDialog::OnAdd() {
    std::string name;
    ExchangeText(IDC_OTHER_SERVER, name, true);
    if (!name.empty()) AddMachine(name, TreeItemKind::NamedMachine, TVI_ROOT);
}

bool DataSourceDialog::OnNotify(const NMHDR& header, LRESULT& result) {
    if (header.idFrom != static_cast<UINT_PTR>(IDC_SERVER_TREE)) return false;
    switch (header.code) {
    case TVN_ITEMEXPANDINGA:
    case TVN_ITEMEXPANDINGW: {
        const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
        if (change.action & TVE_EXPAND)
            if (const HTREEITEM child = TreeView_GetChild(Tree(), change.itemNew.hItem)) FillMachine(child);
        result = FALSE; // always allowed
        return true;
    }
    case NM_DBLCLK: {
        const HTREEITEM selected = TreeView_GetSelection(Tree());
        if (selected != nullptr && TreeView_GetChild(Tree(), selected) == nullptr &&
            Is(TreeItemData(Tree(), selected), TreeItemKind::Server))
            OnOK();
        result = 0;
        return true;
    }
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW:
        EnableForSelection(reinterpret_cast<const NMTREEVIEWW&>(header).itemNew.hItem);
        result = 0;
        return true;
    default:
        return false;
    }
}

} // namespace kesti::ui
