// The node selection dialog over a browse tree made here, driven by messages and clicks.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include "platform/Seams.h"
#include "ui/NodesDialog.h"
#include "ui/ResourceIds.h"
#include "ui/TreeItems.h"

namespace kesti::ui {
namespace {

// Plant: A (with B below it) and C; item ids differ from the browse names.
std::unique_ptr<BrowseTree> PlantTree() {
    auto tree = std::make_unique<BrowseTree>();
    BrowseTree::TreeNode& root = tree->AddRoot(BrowseRecord{true, "", ""});
    BrowseTree::TreeNode& a = tree->Add(0, BrowseRecord{true, "A", "Plant.A"}, root);
    tree->Add(1, BrowseRecord{true, "B", "Plant.A.B"}, a);
    tree->Add(2, BrowseRecord{true, "C", "Plant.C"}, root);
    return tree;
}

struct ItemView {
    std::string text;
    LPARAM data;
    int image;
    bool checked;
};

class NodesDialogTest : public ::testing::Test {
protected:
    void Open(std::vector<ConfiguredNode> stored) {
        dialog_.SetBrowseData(PlantTree(), std::move(stored));
        ASSERT_NE(dialog_.CreateModeless(), nullptr) << "needs a display (the test command starts Xvfb)";
        ShowWindow(dialog_.Handle(), SW_SHOW);
        tree_ = dialog_.Item(IDC_NODE_TREE);
    }
    // No test may leave a real message box waiting for a person.
    void SetUp() override {
        platform::SetMessageBoxHandler([](const platform::MessageBoxRequest& request) {
            ADD_FAILURE() << "unexpected message box: " << request.text;
            return IDNO;
        });
    }
    void TearDown() override { platform::SetMessageBoxHandler({}); }

    // Items in tree order, each with its handle.
    std::vector<std::pair<HTREEITEM, ItemView>> AllItems() {
        std::vector<std::pair<HTREEITEM, ItemView>> items;
        std::function<void(HTREEITEM)> walk = [&](HTREEITEM item) {
            for (; item != nullptr; item = TreeView_GetNextSibling(tree_, item)) {
                TVITEMW data{};
                data.mask = TVIF_IMAGE;
                data.hItem = item;
                TreeView_GetItem(tree_, &data);
                items.emplace_back(item, ItemView{TreeItemText(tree_, item), TreeItemData(tree_, item), data.iImage,
                                                  TreeView_GetCheckState(tree_, item) == 1});
                walk(TreeView_GetChild(tree_, item));
            }
        };
        walk(TreeView_GetRoot(tree_));
        return items;
    }
    std::vector<ItemView> Items() {
        std::vector<ItemView> views;
        for (auto& [item, view] : AllItems()) views.push_back(view);
        return views;
    }
    HTREEITEM Find(const std::string& text) {
        for (auto& [item, view] : AllItems())
            if (view.text == text) return item;
        return nullptr;
    }
    // A click with the pointer on the item's check box, as a person makes it.
    void ClickCheckBox(HTREEITEM item) {
        RECT text{};
        ASSERT_TRUE(TreeView_GetItemRect(tree_, item, &text, TRUE));
        // the check box lies left of the item's image and text
        POINT point{-1, (text.top + text.bottom) / 2};
        for (int x = 0; x < text.left && point.x < 0; ++x) {
            TVHITTESTINFO hit{};
            hit.pt = POINT{x, point.y};
            if (TreeView_HitTest(tree_, &hit) == item && (hit.flags & TVHT_ONITEMSTATEICON)) point.x = x + 4;
        }
        ASSERT_GE(point.x, 0) << "the item has a check box";
        POINT screen = point;
        ClientToScreen(tree_, &screen);
        SetCursorPos(screen.x, screen.y);
        PostMessageW(tree_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(point.x, point.y));
        PostMessageW(tree_, WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
        Pump();
    }
    void Pump() {
        MSG message;
        for (int round = 0; round < 20; ++round) {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            Sleep(10);
        }
    }
    // The space bar where the focus is, with the character it types.
    void PressSpace() {
        HWND focus = GetFocus();
        PostMessageW(focus, WM_KEYDOWN, VK_SPACE, 1);
        PostMessageW(focus, WM_CHAR, ' ', 1);
        PostMessageW(focus, WM_KEYUP, VK_SPACE, 0xC0000001);
        Pump();
    }
    RECT PlaceOf(HWND control) {
        RECT r = WindowRectOf(control);
        MapWindowPoints(nullptr, dialog_.Handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    static RECT WindowRectOf(HWND window) {
        RECT r{};
        GetWindowRect(window, &r);
        return r;
    }
    void Click(int id) {
        SendMessageW(dialog_.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(dialog_.Item(id)));
    }

    NodesDialog dialog_;
    HWND tree_ = nullptr;
};

// The stored choice shows ticked, its ancestors expanded and the first of it selected.
TEST_F(NodesDialogTest, TheBranchesShowWithTheirIdsAndTheStoredChoiceCheckedAndInSight) {
    Open({{"Plant.A.B", "A.B"}, {"C", "C"}}); // the second is matched by item id, so not shown
    Pump(); // check boxes set too early are found cleared once the dialog has settled
    const auto items = Items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].text + items[1].text + items[2].text, "ABC");
    EXPECT_EQ(items[0].data, 0);
    EXPECT_EQ(items[1].data, 1);
    EXPECT_EQ(items[2].data, 2);
    for (const auto& item : items) EXPECT_EQ(item.image, ICON_NODE);
    EXPECT_FALSE(items[0].checked);
    EXPECT_TRUE(items[1].checked);
    EXPECT_FALSE(items[2].checked);
    EXPECT_TRUE(TreeView_GetItemState(tree_, Find("A"), TVIS_EXPANDED) & TVIS_EXPANDED) << "B's parent is open";
    EXPECT_EQ(TreeView_GetSelection(tree_), Find("B"));
    EXPECT_EQ(GetFocus(), tree_);
    Click(IDCANCEL);
    EXPECT_EQ(dialog_.Result(), IDCANCEL);
    EXPECT_EQ(dialog_.Selection().size(), 2u) << "Cancel keeps the list it was given";
}

TEST_F(NodesDialogTest, ClickingABranchCheckBoxSetsItsDescendantsAndOkWritesTreeOrder) {
    Open({});
    ClickCheckBox(Find("A"));
    auto items = Items();
    EXPECT_TRUE(items[0].checked);
    EXPECT_TRUE(items[1].checked) << "B follows its parent";
    EXPECT_FALSE(items[2].checked);
    ClickCheckBox(Find("A"));
    items = Items();
    EXPECT_FALSE(items[0].checked);
    EXPECT_FALSE(items[1].checked) << "and is cleared with it";

    ClickCheckBox(Find("A"));
    ClickCheckBox(Find("C"));
    Click(IDOK);
    ASSERT_EQ(dialog_.Result(), IDOK);
    const std::vector<ConfiguredNode> expected{{"Plant.A", "A"}, {"Plant.A.B", "A.B"}, {"Plant.C", "C"}};
    EXPECT_EQ(dialog_.Selection(), expected);
}

// The space bar on a branch ticks what a click on its box ticks: the same saved file
// whichever a person uses.
TEST_F(NodesDialogTest, TheSpaceBarOnABranchSetsItsDescendantsAsAClickDoes) {
    Open({});
    SetFocus(tree_);
    TreeView_SelectItem(tree_, Find("A"));
    PressSpace();
    auto items = Items();
    EXPECT_TRUE(items[0].checked);
    EXPECT_TRUE(items[1].checked) << "B follows its parent";
    EXPECT_FALSE(items[2].checked);
    PressSpace();
    items = Items();
    EXPECT_FALSE(items[0].checked);
    EXPECT_FALSE(items[1].checked) << "and is cleared with it";

    ClickCheckBox(Find("A")); // the mouse ticks, the keyboard clears
    PressSpace();
    EXPECT_FALSE(Items()[1].checked);
    TreeView_SelectItem(tree_, Find("C"));
    PressSpace();
    Click(IDOK);
    ASSERT_EQ(dialog_.Result(), IDOK);
    EXPECT_EQ(dialog_.Selection(), (std::vector<ConfiguredNode>{{"Plant.C", "C"}}));
}

// The whole instruction is shown; the dialog grows like the data-source dialog, never below
// the size it opened with.
TEST_F(NodesDialogTest, TheInstructionShowsWholeAndTheDialogResizes) {
    Open({});
    HWND label = FindWindowExA(dialog_.Handle(), nullptr, "Static", nullptr);
    ASSERT_NE(label, nullptr);
    char text[256] = {};
    GetWindowTextA(label, text, sizeof text);
    EXPECT_STREQ(text, "Select &nodes to get tags from to increase performance.");
    RECT shown{};
    GetClientRect(label, &shown);
    RECT needed{0, 0, shown.right, 0};
    HDC dc = GetDC(label);
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    DrawTextA(dc, text, -1, &needed, DT_CALCRECT | DT_WORDBREAK);
    SelectObject(dc, previous);
    ReleaseDC(label, dc);
    EXPECT_LE(needed.bottom, shown.bottom) << "the wrapped text fits the label";
    EXPECT_LE(needed.right, shown.right);
    const RECT labelPlace = PlaceOf(label), treePlace = PlaceOf(tree_);
    EXPECT_LE(labelPlace.bottom, treePlace.top) << "the tree starts below the text";

    const RECT frame = WindowRectOf(dialog_.Handle());
    const RECT ok = PlaceOf(dialog_.Item(IDOK));
    SetWindowPos(dialog_.Handle(), nullptr, 0, 0, frame.right - frame.left + 100, frame.bottom - frame.top + 80,
                 SWP_NOMOVE | SWP_NOZORDER);
    const RECT tree2 = PlaceOf(tree_), ok2 = PlaceOf(dialog_.Item(IDOK));
    EXPECT_EQ(tree2.right, treePlace.right + 100) << "the tree stretches both ways";
    EXPECT_EQ(tree2.bottom, treePlace.bottom + 80);
    EXPECT_EQ(tree2.top, treePlace.top);
    EXPECT_EQ(ok2.left, ok.left + 100) << "OK keeps to the bottom right";
    EXPECT_EQ(ok2.top, ok.top + 80);
    SetWindowPos(dialog_.Handle(), nullptr, 0, 0, 40, 40, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(WindowRectOf(dialog_.Handle()).right - WindowRectOf(dialog_.Handle()).left, frame.right - frame.left);
    Click(IDCANCEL);
}

TEST_F(NodesDialogTest, NothingCheckedAsksAndNoKeepsTheDialogOpen) {
    Open({{"Plant.Old", "Old"}});
    std::vector<platform::MessageBoxRequest> asked;
    int answer = IDNO;
    platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& request) {
        asked.push_back(request);
        return answer;
    });
    Click(IDOK);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].text, "No nodes selected. You will not be able to import any tags from this data source.\n"
                             "Do you want to continue?");
    EXPECT_EQ(asked[0].type, static_cast<unsigned>(MB_YESNO));
    EXPECT_EQ(asked[0].caption, "Select Nodes");
    EXPECT_EQ(asked[0].owner, dialog_.Handle());
    EXPECT_EQ(dialog_.Result(), 0) << "still open";
    EXPECT_EQ(dialog_.Selection().size(), 1u);

    answer = IDYES;
    Click(IDOK);
    EXPECT_EQ(dialog_.Result(), IDOK);
    EXPECT_TRUE(dialog_.Selection().empty()) << "Yes closes with no nodes, as the question says";
}

} // namespace
} // namespace kesti::ui
