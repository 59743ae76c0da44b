#include "ui/NodesDialog.h"

#include <algorithm>
#include <functional>

#include "ui/ResourceIds.h"
#include "ui/TreeItems.h"

namespace kesti::ui {
namespace {

std::string JoinPath(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + NodesDialog::kPathSeparator + name;
}

RECT PlaceOf(HWND dialog, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
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
    FitInstruction();
    layout_.Attach(Handle());
    layout_.Add(-1, {0, 0}, {1, 0});
    layout_.Add(kTreeId, {0, 0}, {1, 1});
    layout_.Add(IDOK, {1, 1}, {1, 1});
    layout_.Add(IDCANCEL, {1, 1}, {1, 1});
    if (tree_ != nullptr && tree_->Root() != nullptr)
        for (const BrowseTree::TreeNode* child : tree_->Root()->children) AddNode(*child, TVI_ROOT, "");
    ShowStoredNodes();
    SetFocus(Tree());
    return false; // the focus is set
}

void NodesDialog::FitInstruction() {
    HWND label = Item(-1);
    if (label == nullptr) return;
    const RECT place = PlaceOf(Handle(), label), tree = PlaceOf(Handle(), Tree());
    char text[512] = {};
    GetWindowTextA(label, text, sizeof text);
    RECT needed{0, 0, tree.right - place.left, 0};
    HDC dc = GetDC(label);
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    DrawTextA(dc, text, -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_LEFT);
    SelectObject(dc, previous);
    ReleaseDC(label, dc);
    const LONG height = std::max(place.bottom - place.top, needed.bottom - needed.top);
    SetWindowPos(label, nullptr, place.left, place.top, tree.right - place.left, height, SWP_NOZORDER | SWP_NOACTIVATE);
    const LONG treeTop = place.top + height + (tree.top - place.bottom);
    if (treeTop > tree.top)
        SetWindowPos(Tree(), nullptr, tree.left, treeTop, tree.right - tree.left, tree.bottom - treeTop,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void NodesDialog::ShowStoredNodes() {
    HTREEITEM first = nullptr;
    std::function<void(HTREEITEM)> visit = [&](HTREEITEM item) {
        for (; item != nullptr; item = TreeView_GetNextSibling(Tree(), item)) {
            if (TreeView_GetCheckState(Tree(), item) == 1) {
                if (first == nullptr) first = item;
                for (HTREEITEM up = TreeView_GetParent(Tree(), item); up != nullptr; up = TreeView_GetParent(Tree(), up))
                    TreeView_Expand(Tree(), up, TVE_EXPAND);
            }
            visit(TreeView_GetChild(Tree(), item));
        }
    };
    visit(TreeView_GetRoot(Tree()));
    if (first == nullptr) return;
    TreeView_SelectItem(Tree(), first);
    TreeView_EnsureVisible(Tree(), first);
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

bool NodesDialog::OnNotify(NMHDR& header, LRESULT& result) {
    if (header.idFrom != static_cast<UINT_PTR>(kTreeId)) return false;
    switch (header.code) {
    case NM_CLICK:
        OnTreeClick();
        result = 0;
        return true;
    case TVN_KEYDOWN:
        // The space bar toggles the selected item's check box, as a click on it does.
        if (reinterpret_cast<const NMTVKEYDOWN&>(header).wVKey == VK_SPACE) DescendantsFollow(TreeView_GetSelection(Tree()));
        result = 0;
        return true;
    case NM_CUSTOMDRAW:
        result = DrawSelectionAlways(reinterpret_cast<NMTVCUSTOMDRAW&>(header));
        return true;
    default:
        return false;
    }
}

// The tree toggles the box after telling of the click or the key; the descendants follow
// once it has.
void NodesDialog::DescendantsFollow(HTREEITEM item) {
    if (item != nullptr) PostMessageW(Handle(), kCheckToggledMessage, 0, reinterpret_cast<LPARAM>(item));
}

bool NodesDialog::OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
    if (message != kCheckToggledMessage) return false;
    const auto item = reinterpret_cast<HTREEITEM>(lParam);
    CheckDescendants(item, TreeView_GetCheckState(Tree(), item) == 1);
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
    DescendantsFollow(item);
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
    const int answer =
        Tell("No nodes selected. You will not be able to import any tags from this data source.\nDo you want to continue?",
             MB_YESNO);
    if (answer != IDYES) return;
    selection_.clear(); // as the question says: no nodes
    Close(IDOK);
}

} // namespace kesti::ui
