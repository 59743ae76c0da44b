#pragma once
// The node selection dialog ("Select Nodes", template 103): the branch tree of the chosen
// server with a check box per branch. OK gives every checked branch as a ConfiguredNode
// (item id, browse path joined by "."), in tree order; clicking a check box sets all the
// branch's descendants alike. Stored nodes show checked when their (item id, browse path)
// is in the tree.
#include <memory>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "config/Configuration.h"
#include "opchda/Browsing.h"
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
    bool OnNotify(const NMHDR& header, LRESULT& result) override;
    void OnOK() override;

private:
    HWND Tree() const { return Item(kTreeId); }
    void AddNode(const BrowseTree::TreeNode& node, HTREEITEM parent, const std::string& parentPath);
    // Appends the checked items of this level and below; gives how many.
    std::size_t Collect(HTREEITEM first, const std::string& parentPath);
    void CheckDescendants(HTREEITEM item, bool checked);
    void OnTreeClick();

    static constexpr int kTreeId = 1006;
    std::unique_ptr<BrowseTree> tree_;
    std::vector<ConfiguredNode> selection_;
    UniqueImageList images_;
};

} // namespace kesti::ui
