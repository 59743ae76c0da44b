#pragma once
// The data-source dialog ("Create Connection to Data Source", template 101): a tree of
// machines (this one, those of the local network, and machines the user names) that lists,
// once a machine is expanded, the OPC servers registered there. Picking an OPC HDA server and
// confirming gives its address, the credentials and the nodes chosen.
#include <cstdint>
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

// The kind of a tree item, the high 16 bits of its item data (the low ones: 0xFFFF, or the
// server's index in the dialog's table).
enum class TreeItemKind : std::uint16_t {
    LocalHost = 0xFFFA,
    LocalNetwork = 0xFFFB,
    NamedMachine = 0xFFFC,
    Placeholder = 0xFFFE, // also an error item: expanding its machine again retries
    Server = 0xFFFF,
};

class DataSourceDialog : public Dialog {
public:
    DataSourceDialog();

    // The stored choice: credentials in the ANSI code page, the address text, the nodes.
    void SetConfiguration(const std::string& userName, const std::string& password, const std::string& domain,
                          const std::string& url, const std::vector<ConfiguredNode>& nodes, bool useNullTimeValues);

    // The choice: credentials in the ANSI code page, the address text and the nodes; the
    // flag only when SetConfiguration gave one.
    void GetConfiguration(std::string& userName, std::string& password, std::string& domain, std::string& url,
                          std::vector<ConfiguredNode>& nodes, bool& useNullTimeValues) const;

    // Every server listed so far, in listing order; a server item's low 16 bits index it.
    const std::vector<OPCServerInfo>& Servers() const { return servers_; }
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
    HWND Tree() const;
    HTREEITEM AddMachine(const std::string& name, TreeItemKind kind, HTREEITEM parent);
    // Lists the servers of the placeholder's machine in its place.
    void FillMachine(HTREEITEM placeholder);
    void AddServer(HTREEITEM machine, OPCServerInfo server);
    void EnableForSelection(HTREEITEM selected);
    void OnAdd();
    void OnCredentials();
    void OnTestConnectivity();
    std::string ToolTipOf(HTREEITEM item) const;
    // The selected server item's index in the table, or -1.
    int SelectedServer() const;

    platform::ComApartment com_; // the dialog's thread, a single-threaded apartment
    AnchorLayout layout_;
    UniqueImageList images_;
    ServerToolTip toolTip_;
    std::vector<OPCServerInfo> servers_;
    OPCServerInfo selection_;
    std::vector<ConfiguredNode> nodes_;
    bool useNullTimeValues_ = true;
    bool configured_ = false;
};

// The item data of a tree item of the kind, with the given low part.
LPARAM KindData(TreeItemKind kind, std::uint16_t low = 0xFFFF);

} // namespace kesti::ui
