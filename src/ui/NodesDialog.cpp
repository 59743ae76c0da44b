#include "ui/NodesDialog.h"

#include <algorithm>

#include "platform/Seams.h"
#include "ui/ResourceIds.h"
#include "ui/TreeItems.h"

namespace kesti::ui {
namespace {

std::string JoinPath(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + NodesDialog::kPathSeparator + name;
}

} // namespace

NodesDialog::NodesDialog() : Dialog(IDD_NODES) {}

void NodesDialog::SetBrowseData(std::unique_ptr<BrowseTree> tree, std::vector<ConfiguredNode> nodes) {
    tree_ = std::move(tree);
    selection_ = std::move(nodes);
}

bool NodesDialog::OnInitDialog() {
    // Check boxes get their images only when the style is set after the control exists.
    const LONG style = GetWindowLongW(Tree(), GWL_STYLE);
    SetWindowLongW(Tree(), GWL_STYLE, style & ~TVS_CHECKBOXES);
    SetWindowLongW(Tree(), GWL_STYLE, style | TVS_CHECKBOXES);
    images_ = LoadIconStrip();
    TreeView_SetImageList(Tree(), images_.Get(), TVSIL_NORMAL);
    if (tree_ != nullptr && tree_->Root() != nullptr)
        for (const BrowseTree::TreeNode* child : tree_->Root()->children) AddNode(*child, TVI_ROOT, "");
    return true;
}

void NodesDialog::AddNode(const BrowseTree::TreeNode& node, HTREEITEM parent, const std::string& parentPath) {
    const std::string path = JoinPath(parentPath, node.record.browseName);
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_STATE;
    insert.item.pszText = const_cast<char*>(node.record.browseName.c_str());
    insert.item.iImage = insert.item.iSelectedImage = ICON_NODE;
    insert.item.lParam = static_cast<LPARAM>(node.id);
    // Every item shows its check box from the start: state image 1 unchecked, 2 checked.
    const bool stored = std::any_of(selection_.begin(), selection_.end(), [&](const ConfiguredNode& n) {
        return n.itemId == node.record.itemId && n.browsePath == path;
    });
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    insert.item.state = INDEXTOSTATEIMAGEMASK(stored ? 2 : 1);
    const auto item = reinterpret_cast<HTREEITEM>(SendMessageA(Tree(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    for (const BrowseTree::TreeNode* child : node.children) AddNode(*child, item, path);
}

bool NodesDialog::OnNotify(const NMHDR& header, LRESULT& result) {
    if (header.idFrom != static_cast<UINT_PTR>(kTreeId) || header.code != NM_CLICK) return false;
    OnTreeClick();
    result = 0;
    return true;
}

void NodesDialog::OnTreeClick() {
    TVHITTESTINFO hit{};
    const DWORD position = GetMessagePos();
    hit.pt = POINT{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    ScreenToClient(Tree(), &hit.pt);
    const HTREEITEM item = TreeView_HitTest(Tree(), &hit);
    if (item == nullptr || !(hit.flags & TVHT_ONITEMSTATEICON)) return;
    // The click toggles the item itself after this; its descendants take that state now.
    CheckDescendants(item, !TreeView_GetCheckState(Tree(), item));
    TreeView_SelectItem(Tree(), item);
}

void NodesDialog::CheckDescendants(HTREEITEM item, bool checked) {
    for (HTREEITEM child = TreeView_GetChild(Tree(), item); child != nullptr; child = TreeView_GetNextSibling(Tree(), child)) {
        TreeView_SetCheckState(Tree(), child, checked);
        CheckDescendants(child, checked);
    }
}

std::size_t NodesDialog::Collect(HTREEITEM first, const std::string& parentPath) {
    std::size_t count = 0;
    for (HTREEITEM item = first; item != nullptr; item = TreeView_GetNextSibling(Tree(), item)) {
        const std::string path = JoinPath(parentPath, TreeItemText(Tree(), item));
        if (TreeView_GetCheckState(Tree(), item) == 1) {
            const auto node = tree_->Nodes().find(static_cast<std::int64_t>(TreeItemData(Tree(), item)));
            if (node != tree_->Nodes().end()) {
                selection_.push_back(ConfiguredNode{node->second->record.itemId, path});
                ++count;
            }
        }
        if (const HTREEITEM child = TreeView_GetChild(Tree(), item)) count += Collect(child, path);
    }
    return count;
}

void NodesDialog::OnOK() {
    std::vector<ConfiguredNode> kept = std::move(selection_);
    selection_.clear();
    if (tree_ != nullptr && Collect(TreeView_GetRoot(Tree()), "") > 0) {
        Close(IDOK);
        return;
    }
    selection_ = std::move(kept);
    const int answer = platform::ShowMessageBox(
        {"No nodes selected. You will not be able to import any tags from this data source.\nDo you want to continue?",
         "", MB_YESNO});
    if (answer != IDYES) return;
    selection_.clear(); // as the question says: no nodes
    Close(IDOK);
}

} // namespace kesti::ui
