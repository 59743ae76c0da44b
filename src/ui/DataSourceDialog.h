#pragma once
// The data-source dialog ("Create Connection to Data Source", template 101): a tree of
// machines (this one, those of the local network, and machines the user names) that lists,
// once a machine is expanded, the OPC servers registered there. Picking an OPC HDA server and
// confirming gives its address, the credentials and the nodes chosen.
#include <cstddef>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "config/Configuration.h"
#include "discovery/OPCURL.h"
#include "platform/ComApartment.h"
#include "ui/AnchorLayout.h"
#include "ui/Dialog.h"
#include "ui/IconStrip.h"
#include "ui/ServerToolTip.h"

namespace kesti::ui {

// What the dialog is about: the server's address text, the credentials (in the ANSI code
// page) and the nodes chosen on it.
struct DataSource {
    Credentials credentials;
    std::string url;
    std::vector<ConfiguredNode> nodes;
};

// What a tree item stands for.
enum class TreeItemKind { LocalHost, LocalNetwork, NamedMachine, Placeholder, Server };

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
    const OPCServerInfo& Selection() const { return selection_; }
    const ServerToolTip& ToolTip() const { return toolTip_; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int code) override;
    bool OnNotify(const NMHDR& header, LRESULT& result) override;
    void OnSize() override { layout_.Apply(); }
    void OnGetMinMaxInfo(MINMAXINFO& limits) override { layout_.LimitSize(limits); }
    void OnOK() override;

private:
    // A tree item's item data is its index in entries_: what it stands for, and for a server
    // its index in servers_.
    struct TreeEntry {
        TreeItemKind kind;
        std::size_t server = 0;
    };

    HWND Tree() const;
    HTREEITEM InsertEntry(HTREEITEM parent, const std::string& text, int image, TreeEntry entry);
    const TreeEntry* EntryOf(HTREEITEM item) const;
    bool IsMachine(HTREEITEM item) const;
    HTREEITEM AddMachine(const std::string& name, TreeItemKind kind, HTREEITEM parent);
    // Lists the servers of the placeholder's machine in its place.
    void FillMachine(HTREEITEM placeholder);
    void AddServer(HTREEITEM machine, OPCServerInfo server);
    void SortServersOf(HTREEITEM machine);
    void EnableForSelection(HTREEITEM selected);
    void OnAdd();
    void OnCredentials();
    void OnTestConnectivity();
    std::string ToolTipOf(HTREEITEM item) const;
    // The selected server item's server, or null.
    OPCServerInfo* SelectedServer();

    platform::ComApartment com_; // the dialog's thread, a single-threaded apartment
    AnchorLayout layout_;
    UniqueImageList images_;
    ServerToolTip toolTip_;
    std::vector<TreeEntry> entries_;
    std::vector<OPCServerInfo> servers_;
    OPCServerInfo selection_;
    std::vector<ConfiguredNode> nodes_;
};

} // namespace kesti::ui
