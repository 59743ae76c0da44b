#include "ui/DataSourceDialog.h"

#include <memory>

#include <boost/format.hpp>

#include "base/ComError.h"
#include "base/Exception.h"
#include "base/Log.h"
#include "base/ResultText.h"
#include "base/TextConversion.h"
#include "discovery/DcomIdentity.h"
#include "discovery/OPCSpecification.h"
#include "discovery/ServerEnumeration.h"
#include "opchda/Browsing.h"
#include "opchda/OpcHdaProxy.h"
#include "ui/CredentialsDialog.h"
#include "ui/MachineNames.h"
#include "ui/NodesDialog.h"
#include "ui/ResourceIds.h"
#include "ui/TreeItems.h"

namespace kesti::ui {

const wchar_t* const kOpenDialogMark = L"OpcHDAKesti.ConfigurationDialog";

namespace {

bool ImplementsHda(const OPCServerInfo& server) {
    return (server.address.Specifications() & SpecHistoricalDataAccess10) != 0;
}

ComCredentials CredentialsOf(const OPCServerInfo& info) { return {info.userName, info.password, info.domain}; }

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

const char* const kUnknownListingFailure = "The listing stopped with an unknown failure";

} // namespace

struct DataSourceDialog::MachineListing {
    ServerListing listed;
    bool failed = false;
    bool unknownFailure = false;
    HRESULT result = S_OK;
    std::string error;
};

struct DataSourceDialog::BrowseOutcome {
    std::unique_ptr<BrowseTree> tree;
    bool noBranches = false;
    bool failed = false;
    std::string error;
};

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
    entries_.push_back(std::move(entry));
    return reinterpret_cast<HTREEITEM>(SendMessageA(Tree(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

const DataSourceDialog::TreeEntry* DataSourceDialog::EntryOf(HTREEITEM item) const {
    if (item == nullptr) return nullptr;
    const auto index = static_cast<std::size_t>(TreeItemData(Tree(), item));
    return index < entries_.size() ? &entries_[index] : nullptr;
}

DataSourceDialog::TreeEntry* DataSourceDialog::EntryOf(HTREEITEM item) {
    return const_cast<TreeEntry*>(static_cast<const DataSourceDialog*>(this)->EntryOf(item)); // this dialog's own
}

TreeItemKind DataSourceDialog::KindOf(HTREEITEM item) const {
    const TreeEntry* entry = EntryOf(item);
    return entry != nullptr ? entry->kind : TreeItemKind::Placeholder;
}

const OPCServerInfo* DataSourceDialog::ServerOf(HTREEITEM item) const {
    const TreeEntry* entry = EntryOf(item);
    return entry != nullptr && entry->kind == TreeItemKind::Server ? &servers_[entry->server] : nullptr;
}

bool DataSourceDialog::IsSearching(HTREEITEM item) const {
    const TreeEntry* entry = EntryOf(item);
    return entry != nullptr && entry->searching;
}

bool DataSourceDialog::IsMachine(HTREEITEM item) const {
    const TreeItemKind kind = KindOf(item);
    return item != nullptr && (kind == TreeItemKind::LocalHost || kind == TreeItemKind::NamedMachine);
}

HWND DataSourceDialog::Tree() const { return Item(IDC_SERVER_TREE); }

bool DataSourceDialog::OnInitDialog() {
    SetPropW(Handle(), kOpenDialogMark, reinterpret_cast<HANDLE>(1));
    work_.Attach(Handle());
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

    for (int id : {IDC_CREDENTIALS, IDC_TEST_CONNECTIVITY, IDOK}) EnableWindow(Item(id), FALSE);
    TreeView_DeleteAllItems(Tree());
    localHost_ = AddMachine("Local host", TreeItemKind::LocalHost, TVI_ROOT);
    network_ = InsertEntry(TVI_ROOT, "Local network", ICON_NETWORK, {TreeItemKind::LocalNetwork});
    ListNetwork(network_);
    ShowStoredChoice();
    SetFocus(Tree());
    return false; // the focus is set
}

HTREEITEM DataSourceDialog::AddMachine(const std::string& name, TreeItemKind kind, HTREEITEM parent) {
    const HTREEITEM machine = InsertEntry(parent, name, ICON_MACHINE, {kind});
    InsertEntry(machine, "Dummy", -1, {TreeItemKind::Placeholder});
    return machine;
}

HTREEITEM DataSourceDialog::FindMachine(const std::string& name) const {
    if (IsThisMachine(name)) return localHost_;
    for (HTREEITEM level : {TVI_ROOT, network_}) {
        HTREEITEM item = level == TVI_ROOT ? TreeView_GetRoot(Tree()) : TreeView_GetChild(Tree(), level);
        for (; item != nullptr; item = TreeView_GetNextSibling(Tree(), item))
            if (KindOf(item) == TreeItemKind::NamedMachine && SameMachine(TreeItemText(Tree(), item), name)) return item;
    }
    return nullptr;
}

// The machines of the local network, asked in the background: on a plant network the
// LAN Manager list can take long to come.
void DataSourceDialog::ListNetwork(HTREEITEM network) {
    const HTREEITEM searching = InsertEntry(network, kSearchingText, -1, {TreeItemKind::Placeholder, 0, true});
    work_.Start([this, network, searching]() -> BackgroundWork::Finish {
        auto hosts = std::make_shared<std::vector<std::string>>();
        ListNetworkHosts(*hosts);
        return [this, network, searching, hosts] {
            TreeView_DeleteItem(Tree(), searching);
            for (const std::string& host : *hosts) AddMachine(host, TreeItemKind::NamedMachine, network);
        };
    }, [this, searching] { TreeView_DeleteItem(Tree(), searching); });
}

void DataSourceDialog::ShowStoredChoice() {
    const OPCURL& stored = selection_.address;
    if (stored.Path().empty()) return; // nothing stored
    HTREEITEM machine = stored.Host().empty() ? localHost_ : FindMachine(stored.Host());
    if (machine == nullptr) machine = AddMachine(stored.Host(), TreeItemKind::NamedMachine, TVI_ROOT);
    storedMachine_ = machine;
    FillMachine(TreeView_GetChild(Tree(), machine));
    TreeView_Expand(Tree(), machine, TVE_EXPAND);
}

// The stored address names its machine as it was typed ("localhost", another case); the
// listing names it as the tree does.
bool DataSourceDialog::IsStoredServer(const OPCServerInfo& listed) const {
    OPCURL stored = selection_.address;
    stored.SetHost(listed.address.Host());
    return stored.Equals(listed.address);
}

void DataSourceDialog::FillMachine(HTREEITEM placeholder) {
    const HTREEITEM machine = TreeView_GetParent(Tree(), placeholder);
    TreeEntry* entry = EntryOf(placeholder);
    if (!IsMachine(machine) || entry == nullptr || entry->kind != TreeItemKind::Placeholder || entry->searching) return;
    entry->searching = true;
    entry->error.clear();
    TVITEMA item{};
    item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    item.hItem = placeholder;
    item.pszText = const_cast<char*>(kSearchingText);
    item.iImage = item.iSelectedImage = -1;
    SendMessageA(Tree(), TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    const std::string host = KindOf(machine) == TreeItemKind::NamedMachine ? TreeItemText(Tree(), machine) : std::string();
    work_.Start([this, machine, placeholder, host, credentials = CredentialsOf(selection_)]() -> BackgroundWork::Finish {
        auto listing = std::make_shared<MachineListing>(ListMachine(host, credentials));
        return [this, machine, placeholder, listing] { OnListed(machine, placeholder, std::move(*listing)); };
    }, [this, machine, placeholder] {
        MachineListing failed;
        failed.failed = true;
        failed.unknownFailure = true;
        failed.result = E_UNEXPECTED;
        OnListed(machine, placeholder, std::move(failed));
    });
    RefreshPointer();
}

DataSourceDialog::MachineListing DataSourceDialog::ListMachine(const std::string& host,
                                                               const ComCredentials& credentials) {
    MachineListing listing;
    try {
        DcomIdentity identity(credentials);
        listing.listed = EnumerateServers(host, &identity);
    } catch (const ComError& e) {
        listing.failed = true;
        listing.result = e.Result();
        listing.error = e.Message();
    } catch (const Exception& e) {
        listing.failed = true;
        listing.result = E_FAIL;
        listing.error = e.Message();
    } catch (...) {
        listing.failed = listing.unknownFailure = true;
        listing.result = E_UNEXPECTED;
    }
    return listing;
}

void DataSourceDialog::OnListed(HTREEITEM machine, HTREEITEM placeholder, MachineListing listing) {
    RefreshPointer();
    if (listing.failed) {
        ShowListingFailure(machine, listing);
        TreeView_DeleteItem(Tree(), placeholder);
        return;
    }
    TreeView_DeleteItem(Tree(), placeholder);
    if (listing.listed.categoryFailed) Tell(kCategoryFailureAdvice, MB_OK);
    HTREEITEM stored = nullptr;
    for (OPCServerInfo& server : listing.listed.servers) {
        const bool isStored = machine == storedMachine_ && IsStoredServer(server);
        const HTREEITEM item = AddServer(machine, std::move(server));
        if (isStored) stored = item;
    }
    if (listing.listed.servers.size() > 1) SortServersOf(machine);
    if (machine != storedMachine_) return;
    storedMachine_ = nullptr;
    TreeView_Expand(Tree(), machine, TVE_EXPAND);
    if (stored == nullptr) return;
    TreeView_SelectItem(Tree(), stored); // enables OK and Test connectivity... as a click would
    TreeView_EnsureVisible(Tree(), stored);
}

// One error item under the machine that says what happened; because it is a placeholder,
// collapsing and expanding the machine again lists it again.
void DataSourceDialog::ShowListingFailure(HTREEITEM machine, const MachineListing& listing) {
    const std::string name = TreeItemText(Tree(), machine);
    if (listing.unknownFailure) LogMessage(LogError, "Add Server caused unknown failure.");
    const std::string text = listing.unknownFailure ? kUnknownListingFailure
                             : listing.error.empty()  ? HResultText(listing.result)
                                                      : listing.error;
    LogMessage(LogWarning, (boost::format("The OPC servers of %1% could not be listed (0x%2$08X): %3%") % name %
                            static_cast<unsigned long>(static_cast<DWORD>(listing.result)) % text).str());
    InsertEntry(machine, text, ICON_ERROR, {TreeItemKind::Placeholder, 0, false, text});
    if (machine == storedMachine_) {
        storedMachine_ = nullptr;
        TreeView_Expand(Tree(), machine, TVE_EXPAND);
    }
}

HTREEITEM DataSourceDialog::AddServer(HTREEITEM machine, OPCServerInfo server) {
    const std::size_t index = servers_.size();
    const std::string& path = server.address.Path();
    const auto slash = path.find('/');
    const std::string progId = slash == std::string::npos ? std::string() : path.substr(0, slash);
    const bool hda = ImplementsHda(server);
    servers_.push_back(std::move(server));
    return InsertEntry(machine, progId, hda ? ICON_HDA_SERVER : ICON_OTHER_SERVER, {TreeItemKind::Server, index});
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
    EnableWindow(Item(IDC_TEST_CONNECTIVITY), hdaServer && !testing_);
    EnableWindow(Item(IDOK), hdaServer && !browsing_);
}

// Enter adds the machine while the focus is in "Other OPC server:" and confirms elsewhere.
void DataSourceDialog::SetDefaultButton(int id) {
    SendMessageW(Handle(), DM_SETDEFID, static_cast<WPARAM>(id), 0);
    const int other = id == IDOK ? IDC_ADD_MACHINE : IDOK;
    SendMessageW(Item(other), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SendMessageW(Item(id), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

bool DataSourceDialog::OnCommand(int id, int code) {
    if (id == IDC_OTHER_SERVER && (code == EN_SETFOCUS || code == EN_KILLFOCUS)) {
        SetDefaultButton(code == EN_SETFOCUS ? IDC_ADD_MACHINE : IDOK);
        return true;
    }
    if (code != BN_CLICKED) return false;
    switch (id) {
    case IDC_ADD_MACHINE: OnAdd(); return true;
    case IDC_CREDENTIALS: OnCredentials(); return true;
    case IDC_TEST_CONNECTIVITY: OnTestConnectivity(); return true;
    default: return false;
    }
}

ItemTip DataSourceDialog::ToolTipOf(HTREEITEM item) const {
    try {
        if (const OPCServerInfo* server = ServerOf(item)) return {ServerToolTipText(server->address), TTI_INFO};
        const TreeEntry* entry = EntryOf(item);
        if (entry == nullptr || entry->error.empty()) return {};
        const std::string machine = TreeItemText(Tree(), TreeView_GetParent(Tree(), item));
        return {entry->error + "\nTo try again, collapse " + machine + " and expand it again.", TTI_WARNING};
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

// The probe waits up to its time-out for a machine that does not answer: in the background.
void DataSourceDialog::OnTestConnectivity() {
    if (TreeView_GetSelection(Tree()) == nullptr || testing_) return;
    const OPCServerInfo* server = SelectedServer();
    if (server == nullptr) {
        Tell("Test failed.", MB_OK);
        return;
    }
    testing_ = true;
    EnableWindow(Item(IDC_TEST_CONNECTIVITY), FALSE);
    const auto tested = [this](bool reachable) {
        testing_ = false;
        RefreshPointer();
        EnableForSelection(TreeView_GetSelection(Tree()));
        Tell(reachable ? "Test Successful!" : "Test failed.", MB_OK);
    };
    work_.Start([tested, host = server->address.Host()]() -> BackgroundWork::Finish {
        const bool reachable = OpcHdaProxy::IsHostReachable(host);
        return [tested, reachable] { tested(reachable); };
    }, [tested] { tested(false); });
    RefreshPointer();
}

void DataSourceDialog::OnOK() {
    if (browsing_) return; // the chosen server is being browsed
    const HTREEITEM selected = TreeView_GetSelection(Tree());
    OPCServerInfo* const chosen = SelectedServer();
    if (chosen == nullptr || TreeView_GetChild(Tree(), selected) != nullptr) {
        Tell("No valid OPC server is selected", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!ImplementsHda(*chosen)) {
        Tell("No valid OPC HDA server is selected", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    chosen->userName = selection_.userName; // the credentials given last browse and are saved
    chosen->password = selection_.password;
    chosen->domain = selection_.domain;
    const std::size_t index = EntryOf(selected)->server;
    browsing_ = true;
    EnableWindow(Item(IDOK), FALSE);
    const HTREEITEM searching = InsertEntry(selected, kSearchingText, -1, {TreeItemKind::Placeholder, 0, true});
    TreeView_Expand(Tree(), selected, TVE_EXPAND);
    work_.Start([this, selected, searching, index, server = *chosen]() -> BackgroundWork::Finish {
        auto outcome = std::make_shared<BrowseOutcome>();
        outcome->tree = std::make_unique<BrowseTree>();
        try {
            BuildBrowseTree(server, *outcome->tree, outcome->noBranches);
        } catch (const Exception& e) {
            outcome->failed = true;
            outcome->error = e.Message();
        }
        return [this, selected, searching, index, outcome] { OnBrowsed(selected, searching, index, std::move(*outcome)); };
    }, [this, selected, searching, index] {
        BrowseOutcome failed;
        failed.tree = std::make_unique<BrowseTree>();
        failed.failed = true;
        failed.error = "the browse ended unexpectedly";
        OnBrowsed(selected, searching, index, std::move(failed));
    });
    RefreshPointer();
}

void DataSourceDialog::OnBrowsed(HTREEITEM server, HTREEITEM searching, std::size_t index, BrowseOutcome outcome) {
    browsing_ = false;
    RefreshPointer();
    TreeView_DeleteItem(Tree(), searching);
    TreeView_SelectItem(Tree(), server);
    EnableForSelection(server);
    if (outcome.failed) {
        Tell((boost::format("Could not browse file: %1%") % outcome.error).str(), MB_OK);
        return;
    }
    if (outcome.tree->Root() == nullptr && !outcome.noBranches) {
        Tell("Could not browse the OPC server", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (outcome.noBranches) {
        selection_ = servers_[index];
        nodes_ = {ConfiguredNode{"OPC", ""}}; // the whole server, listed flat
        Close(IDOK);
        return;
    }
    NodesDialog nodes;
    nodes.SetBrowseData(std::move(outcome.tree), nodes_);
    if (nodes.RunModal(Handle()) != IDOK) return;
    selection_ = servers_[index];
    nodes_ = nodes.Selection();
    Close(IDOK);
}

// The name typed, without blanks around it; a machine already in the tree is selected
// instead of being added again.
void DataSourceDialog::OnAdd() {
    std::string typed;
    ExchangeText(IDC_OTHER_SERVER, typed, true);
    const std::string name = Trimmed(typed);
    if (name.empty()) {
        MessageBeep(MB_ICONWARNING);
        return;
    }
    HTREEITEM machine = FindMachine(name);
    if (machine == nullptr) machine = AddMachine(name, TreeItemKind::NamedMachine, TVI_ROOT);
    TreeView_SelectItem(Tree(), machine);
    TreeView_EnsureVisible(Tree(), machine);
    SetDlgItemTextA(Handle(), IDC_OTHER_SERVER, "");
}

// The pointer changes by itself only when it moves; over this dialog it is set again now.
void DataSourceDialog::RefreshPointer() const {
    POINT pointer{};
    if (!GetCursorPos(&pointer)) return;
    HWND under = WindowFromPoint(pointer);
    if (under != nullptr && (under == Handle() || IsChild(Handle(), under)))
        SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

bool DataSourceDialog::OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
    if (message == BackgroundWork::kFinishedMessage) {
        work_.RunFinished();
        result = 0;
        return true;
    }
    if (message == WM_DESTROY) {
        // Work still on its way is left to end on its own; nothing of it reaches the closed dialog.
        work_.Detach();
        RemovePropW(Handle(), kOpenDialogMark);
        return false;
    }
    if (message == WM_SETCURSOR && work_.Running() > 0 && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32650))); // IDC_APPSTARTING: busy, yet answering
        result = TRUE;
        return true;
    }
    return false;
}

bool DataSourceDialog::OnNotify(NMHDR& header, LRESULT& result) {
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
    case NM_CUSTOMDRAW:
        result = DrawSelectionAlways(reinterpret_cast<NMTVCUSTOMDRAW&>(header));
        return true;
    default:
        return false;
    }
}

} // namespace kesti::ui
