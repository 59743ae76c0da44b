#pragma once
// The node selection dialog ("Select Nodes", template 103): the branch tree of the chosen
// server with a check box per branch. OK gives every checked branch as a ConfiguredNode
// (item id, browse path joined by "."), in tree order; ticking a branch, by a click on its
// check box or by the space bar, sets all its descendants alike. Stored nodes show checked,
// with their ancestors expanded, when their (item id, browse path) is in the tree. The
// dialog resizes like the data-source dialog; its instruction wraps to show whole.
#include <memory>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "config/Configuration.h"
#include "opchda/Browsing.h"
#include "ui/AnchorLayout.h"
#include "ui/Dialog.h"
#include "ui/IconStrip.h"

namespace kesti::ui {

class NodesDialog : public Dialog {
public:
    NodesDialog();

    // Takes over the browse tree and starts from a copy of the node list.
    void SetBrowseData(std::unique_ptr<BrowseTree> tree, std::vector<ConfiguredNode> nodes);
    const std::vector<ConfiguredNode>& Selection() const { return selection_; }

    static constexpr const char* kPathSeparator = ".";

protected:
    bool OnInitDialog() override;
    bool OnNotify(NMHDR& header, LRESULT& result) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnSize() override { layout_.Apply(); }
    void OnGetMinMaxInfo(MINMAXINFO& limits) override { layout_.LimitSize(limits); }
    void OnOK() override;

private:
    HWND Tree() const { return Item(kTreeId); }
    void AddNode(const BrowseTree::TreeNode& node, HTREEITEM parent, const std::string& parentPath);
    // Appends the checked items of this level and below; gives how many.
    std::size_t Collect(HTREEITEM first, const std::string& parentPath);
    void CheckDescendants(HTREEITEM item, bool checked);
    void OnTreeClick();
    // After the tree has toggled the item's check box, its descendants take the same state.
    void DescendantsFollow(HTREEITEM item);
    // Expands the ancestors of every checked item and shows the first of them.
    void ShowStoredNodes();
    // Makes the instruction as tall as its text needs at the tree's width, the tree
    // shorter by as much.
    void FitInstruction();

    static constexpr int kTreeId = 1006;
    static constexpr UINT kCheckToggledMessage = WM_APP + 0x4C;
    AnchorLayout layout_;
    std::unique_ptr<BrowseTree> tree_;
    std::vector<ConfiguredNode> selection_;
    UniqueImageList images_;
};

} // namespace kesti::ui
