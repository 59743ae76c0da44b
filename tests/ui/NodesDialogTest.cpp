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
    void Click(int id) {
        SendMessageW(dialog_.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(dialog_.Item(id)));
    }

    NodesDialog dialog_;
    HWND tree_ = nullptr;
};

TEST_F(NodesDialogTest, TheBranchesShowWithTheirIdsAndTheStoredChoiceChecked) {
    Open({{"Plant.A.B", "A.B"}, {"C", "C"}}); // the second is matched by item id, so not shown
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
    EXPECT_EQ(dialog_.Result(), 0) << "still open";
    EXPECT_EQ(dialog_.Selection().size(), 1u);

    answer = IDYES;
    Click(IDOK);
    EXPECT_EQ(dialog_.Result(), IDOK);
    EXPECT_TRUE(dialog_.Selection().empty()) << "Yes closes with no nodes, as the question says";
}

} // namespace
} // namespace kesti::ui
