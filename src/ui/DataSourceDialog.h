#pragma once
// The data-source dialog ("Create Connection to Data Source", template 101): a tree of
// machines (this one, those of the local network, and machines the user names) that lists,
// once a machine is expanded, the OPC servers registered there. Picking an OPC HDA server and
// confirming gives its address, the credentials and the nodes chosen. Listing, probing and
// browsing run in the background ("Searching..." items and the busy pointer meanwhile), so
// the dialog always answers and Cancel always works.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "config/Configuration.h"
#include "discovery/DcomIdentity.h"
#include "discovery/OPCURL.h"
#include "platform/ComApartment.h"
#include "ui/AnchorLayout.h"
#include "ui/BackgroundWork.h"
#include "ui/Dialog.h"
#include "ui/IconStrip.h"
#include "ui/ServerToolTip.h"

namespace kesti {
class BrowseTree;
}

namespace kesti::ui {

// What the dialog is about: the server's address text, the credentials (in the ANSI code
// page) and the nodes chosen on it.
struct DataSource {
    Credentials credentials;
    std::string url;
    std::vector<ConfiguredNode> nodes;
};

// What a tree item stands for. A placeholder is the child of a machine not listed yet, the
// "Searching..." item while it is listed, or the error item of a listing that failed.
enum class TreeItemKind { LocalHost, LocalNetwork, NamedMachine, Placeholder, Server };

// The window property that marks an open data-source dialog, so that a second configuration
// process can find it and bring it to the front.
extern const wchar_t* const kOpenDialogMark;

class DataSourceDialog : public Dialog {
public:
    DataSourceDialog();

    // The stored choice: the tree opens on its server.
    void SetDataSource(const DataSource& source);
    // The choice once the dialog ended with OK.
    DataSource GetDataSource() const;

    // What the tree item stands for, and its listed server (null unless a server item).
    TreeItemKind KindOf(HTREEITEM item) const;
    const OPCServerInfo* ServerOf(HTREEITEM item) const;
    // Whether the item is a "Searching..." item, and what an error item says went wrong.
    bool IsSearching(HTREEITEM item) const;
    const ServerToolTip& ToolTip() const { return toolTip_; }
    // How many background works (listings, probes, browses) are on their way.
    std::size_t WorkRunning() const { return work_.Running(); }
    const OPCServerInfo& Selection() const { return selection_; }

    static constexpr const char* kSearchingText = "Searching...";

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code) override;
    bool OnNotify(NMHDR& header, LRESULT& result) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnSize() override { layout_.Apply(); }
    void OnGetMinMaxInfo(MINMAXINFO& limits) override { layout_.LimitSize(limits); }
    void OnOK() override;

private:
    // A tree item's item data is its index in entries_: what it stands for, and for a server
    // its index in servers_.
    struct TreeEntry {
        TreeEntry(TreeItemKind kind, std::size_t server = 0, bool searching = false, std::string error = {})
            : kind(kind), server(server), searching(searching), error(std::move(error)) {}
        TreeItemKind kind;
        std::size_t server;
        bool searching;
        std::string error; // what an error item tells
    };
    // What the listing of one machine found.
    struct MachineListing;
    // What the browse of a server found.
    struct BrowseOutcome;

    // Runs on a background thread: uses its arguments only.
    static MachineListing ListMachine(const std::string& host, const ComCredentials& credentials);

    HWND Tree() const;
    HTREEITEM InsertEntry(HTREEITEM parent, const std::string& text, int image, TreeEntry entry);
    TreeEntry* EntryOf(HTREEITEM item);
    const TreeEntry* EntryOf(HTREEITEM item) const;
    bool IsMachine(HTREEITEM item) const;
    HTREEITEM AddMachine(const std::string& name, TreeItemKind kind, HTREEITEM parent);
    // The machine item the name stands for, or null.
    HTREEITEM FindMachine(const std::string& name) const;
    void ListNetwork(HTREEITEM network);
    // Lists the servers of the placeholder's machine in its place, in the background.
    void FillMachine(HTREEITEM placeholder);
    void OnListed(HTREEITEM machine, HTREEITEM placeholder, MachineListing listing);
    void ShowListingFailure(HTREEITEM machine, const MachineListing& listing);
    HTREEITEM AddServer(HTREEITEM machine, OPCServerInfo server);
    void SortServersOf(HTREEITEM machine);
    // Opens the stored choice: its machine expanded and, once listed, its server selected.
    void ShowStoredChoice();
    bool IsStoredServer(const OPCServerInfo& listed) const;
    void EnableForSelection(HTREEITEM selected);
    void SetDefaultButton(int id);
    void OnAdd();
    void OnCredentials();
    void OnTestConnectivity();
    void OnBrowsed(HTREEITEM server, HTREEITEM searching, std::size_t index, BrowseOutcome outcome);
    ItemTip ToolTipOf(HTREEITEM item) const;
    // The selected server item's server, or null.
    OPCServerInfo* SelectedServer();
    // Shows the busy pointer while background work runs, the arrow again after.
    void RefreshPointer() const;

    platform::ComApartment com_; // the dialog's thread, a single-threaded apartment
    AnchorLayout layout_;
    UniqueImageList images_;
    ServerToolTip toolTip_;
    BackgroundWork work_;
    std::vector<TreeEntry> entries_;
    std::vector<OPCServerInfo> servers_;
    OPCServerInfo selection_;
    std::vector<ConfiguredNode> nodes_;
    HTREEITEM localHost_ = nullptr;
    HTREEITEM network_ = nullptr;
    HTREEITEM storedMachine_ = nullptr; // until the stored server is shown selected
    bool browsing_ = false;
    bool testing_ = false;
};

} // namespace kesti::ui
