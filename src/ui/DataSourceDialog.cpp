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

bool ImplementsHda(const OPCServerInfo& server) {
    return (server.address.Specifications() & SpecHistoricalDataAccess10) != 0;
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

// The advice for a server list that could not enumerate a category's classes.
const char* const kCategoryFailureAdvice =
    "Could not enumerate classes. Typical reasons could be:\n"
    "On the OPC Server PC, the OPC Client User Account does not have the right Access Control List (ACL) "
    "permissions in the System-Wide DCOM settings, Access Permissions, Edit Default.\n"
    "On the OPC Client PC, the OPC Server User Account does not have the right Access Control List (ACL) "
    "permissions in the System-Wide DCOM settings, Access Permissions, Edit Limits.\n"
    "On the OPC Client PC, the DCOM Default Impersonation Level is set to \"Anonymous\" instead of "
    "\"Identify\", and the \"ANONYMOUS LOGON\" Access Control Entry (ACE) does not exist in the OPC Client PC, "
    "Access Control List (ACL) permissions in the System-Wide DCOM settings, Access Permissions, Edit Limits.";

} // namespace

DataSourceDialog::DataSourceDialog() : Dialog(IDD_DATASOURCE), com_(COINIT_APARTMENTTHREADED) {}

void DataSourceDialog::SetDataSource(const DataSource& source) {
    selection_.address = OPCURL::Parse(source.url);
    selection_.userName = WideFromAnsi(source.credentials.userName);
    selection_.password = WideFromAnsi(source.credentials.password);
    selection_.domain = WideFromAnsi(source.credentials.domain);
    nodes_ = source.nodes;
}

DataSource DataSourceDialog::GetDataSource() const {
    return DataSource{{AnsiFromWide(selection_.userName), AnsiFromWide(selection_.password), AnsiFromWide(selection_.domain)},
                      selection_.address.ToString(),
                      nodes_};
}

HTREEITEM DataSourceDialog::InsertEntry(HTREEITEM parent, const std::string& text, int image, TreeEntry entry) {
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | (image >= 0 ? TVIF_IMAGE | TVIF_SELECTEDIMAGE : 0);
    insert.item.pszText = const_cast<char*>(text.c_str());
    insert.item.iImage = insert.item.iSelectedImage = image;
    insert.item.lParam = static_cast<LPARAM>(entries_.size());
    entries_.push_back(entry);
    return reinterpret_cast<HTREEITEM>(SendMessageA(Tree(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

const DataSourceDialog::TreeEntry* DataSourceDialog::EntryOf(HTREEITEM item) const {
    if (item == nullptr) return nullptr;
    const auto index = static_cast<std::size_t>(TreeItemData(Tree(), item));
    return index < entries_.size() ? &entries_[index] : nullptr;
}

TreeItemKind DataSourceDialog::KindOf(HTREEITEM item) const {
    const TreeEntry* entry = EntryOf(item);
    return entry != nullptr ? entry->kind : TreeItemKind::Placeholder;
}

const OPCServerInfo* DataSourceDialog::ServerOf(HTREEITEM item) const {
    const TreeEntry* entry = EntryOf(item);
    return entry != nullptr && entry->kind == TreeItemKind::Server ? &servers_[entry->server] : nullptr;
}

bool DataSourceDialog::IsMachine(HTREEITEM item) const {
    const TreeItemKind kind = KindOf(item);
    return item != nullptr && (kind == TreeItemKind::LocalHost || kind == TreeItemKind::NamedMachine);
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
    const HTREEITEM network = InsertEntry(TVI_ROOT, "Local network", ICON_NETWORK, {TreeItemKind::LocalNetwork});
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
    const HTREEITEM machine = InsertEntry(parent, name, ICON_MACHINE, {kind});
    InsertEntry(machine, "Dummy", -1, {TreeItemKind::Placeholder});
    return machine;
}

void DataSourceDialog::FillMachine(HTREEITEM placeholder) {
    const HTREEITEM machine = TreeView_GetParent(Tree(), placeholder);
    if (!IsMachine(machine) || KindOf(placeholder) != TreeItemKind::Placeholder) return;
    ServerListing listed;
    try {
        const WaitCursor wait;
        DcomIdentity identity(ComCredentials{selection_.userName, selection_.password, selection_.domain});
        listed = EnumerateServers(KindOf(machine) == TreeItemKind::NamedMachine ? TreeItemText(Tree(), machine) : std::string(),
                                  &identity);
        TreeView_DeleteItem(Tree(), placeholder);
    } catch (const Exception& e) {
        TreeView_DeleteItem(Tree(), placeholder);
        InsertEntry(machine, e.Message(), ICON_ERROR, {TreeItemKind::Placeholder});
        return;
    } catch (...) {
        LogMessage(LogError, "Add Server caused unknown failure.");
        return;
    }
    if (listed.categoryFailed) platform::ShowMessageBox({kCategoryFailureAdvice, "", MB_OK});
    for (OPCServerInfo& server : listed.servers) AddServer(machine, std::move(server));
    if (listed.servers.size() > 1) SortServersOf(machine);
}

void DataSourceDialog::AddServer(HTREEITEM machine, OPCServerInfo server) {
    const std::size_t index = servers_.size();
    const std::string& path = server.address.Path();
    const auto slash = path.find('/');
    const std::string progId = slash == std::string::npos ? std::string() : path.substr(0, slash);
    const bool hda = ImplementsHda(server);
    const bool stored = selection_.address.Equals(server.address);
    servers_.push_back(std::move(server));
    const HTREEITEM item =
        InsertEntry(machine, progId, hda ? ICON_HDA_SERVER : ICON_OTHER_SERVER, {TreeItemKind::Server, index});
    if (stored) TreeView_SelectItem(Tree(), item);
}

// OPC HDA servers first; the order among the others, and among the HDA servers, is kept
// as the list gave it only as far as the sort keeps equal items.
void DataSourceDialog::SortServersOf(HTREEITEM machine) {
    const auto compare = [](LPARAM first, LPARAM second, LPARAM self) -> int {
        const auto& dialog = *reinterpret_cast<const DataSourceDialog*>(self);
        const auto hda = [&](LPARAM data) {
            const TreeEntry& entry = dialog.entries_[static_cast<std::size_t>(data)];
            return entry.kind == TreeItemKind::Server && ImplementsHda(dialog.servers_[entry.server]);
        };
        const bool firstHda = hda(first), secondHda = hda(second);
        if (firstHda && secondHda) return 0;
        if (!firstHda) return 1;
        return -1;
    };
    TVSORTCB sort{machine, compare, reinterpret_cast<LPARAM>(this)};
    TreeView_SortChildrenCB(Tree(), &sort, FALSE);
}

void DataSourceDialog::EnableForSelection(HTREEITEM selected) {
    const OPCServerInfo* server = ServerOf(selected);
    const bool hdaServer = server != nullptr && ImplementsHda(*server);
    EnableWindow(Item(IDC_CREDENTIALS), KindOf(selected) == TreeItemKind::NamedMachine);
    EnableWindow(Item(IDC_TEST_CONNECTIVITY), hdaServer);
    EnableWindow(Item(IDOK), hdaServer);
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
        const OPCServerInfo* server = ServerOf(item);
        return server != nullptr ? ServerToolTipText(server->address) : std::string();
    } catch (...) {
        try {
            LogMessage(LogWarning, "Unknown error occurred in OnToolHitTest.");
        } catch (...) {
            // No tip, and nothing more to tell.
        }
        return {};
    }
}

OPCServerInfo* DataSourceDialog::SelectedServer() {
    return const_cast<OPCServerInfo*>(ServerOf(TreeView_GetSelection(Tree()))); // one of this dialog's own servers
}

void DataSourceDialog::OnCredentials() {
    const HTREEITEM selected = TreeView_GetSelection(Tree());
    if (selected == nullptr || KindOf(selected) != TreeItemKind::NamedMachine) return;
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
    const OPCServerInfo* server = SelectedServer();
    const bool reachable = server != nullptr && OpcHdaProxy::IsHostReachable(server->address.Host());
    platform::ShowMessageBox({reachable ? "Test Successful!" : "Test failed.", "", MB_OK});
}

void DataSourceDialog::OnOK() {
    const HTREEITEM selected = TreeView_GetSelection(Tree());
    OPCServerInfo* const chosen = SelectedServer();
    if (chosen == nullptr || TreeView_GetChild(Tree(), selected) != nullptr) {
        platform::ShowMessageBox({"No valid OPC server is selected", "", MB_OK | MB_ICONEXCLAMATION});
        return;
    }
    OPCServerInfo& entry = *chosen;
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
            KindOf(selected) == TreeItemKind::Server)
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
