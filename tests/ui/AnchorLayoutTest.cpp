// Controls of the data-source template follow the window's corners as anchored.
#include <gtest/gtest.h>

#include "ui/AnchorLayout.h"
#include "ui/Dialog.h"
#include "ui/ResourceIds.h"

namespace kesti::ui {
namespace {

// Template 101 with the anchors of the data-source dialog and nothing else.
class AnchoredDialog : public Dialog {
public:
    AnchoredDialog() : Dialog(IDD_DATASOURCE) {}

protected:
    bool OnInitDialog() override {
        layout_.Attach(Handle());
        layout_.Add(IDC_SERVER_TREE, {0, 0}, {1, 1});
        layout_.Add(IDC_OTHER_SERVER, {0, 1}, {1, 1});
        layout_.Add(IDC_ADD_MACHINE, {1, 1}, {1, 1});
        layout_.Add(IDC_CREDENTIALS, {0, 1}, {0, 1});
        layout_.Add(IDOK, {1, 1}, {1, 1});
        return true;
    }
    void OnSize() override { layout_.Apply(); }
    void OnGetMinMaxInfo(MINMAXINFO& limits) override { layout_.LimitSize(limits); }

private:
    AnchorLayout layout_;
};

RECT PlaceOf(HWND dialog, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST(AnchorLayoutTest, ControlsStretchAndMoveWithTheirAnchorsAndTheDialogKeepsItsSize) {
    AnchoredDialog dialog;
    HWND window = dialog.CreateModeless();
    ASSERT_NE(window, nullptr) << "needs a display (the test command starts Xvfb)";
    RECT frame{};
    GetWindowRect(window, &frame);
    const RECT tree = PlaceOf(window, IDC_SERVER_TREE), edit = PlaceOf(window, IDC_OTHER_SERVER);
    const RECT add = PlaceOf(window, IDC_ADD_MACHINE), credentials = PlaceOf(window, IDC_CREDENTIALS);

    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + 120, frame.bottom - frame.top + 60,
                 SWP_NOMOVE | SWP_NOZORDER);
    const RECT tree2 = PlaceOf(window, IDC_SERVER_TREE), edit2 = PlaceOf(window, IDC_OTHER_SERVER);
    const RECT add2 = PlaceOf(window, IDC_ADD_MACHINE), credentials2 = PlaceOf(window, IDC_CREDENTIALS);
    EXPECT_EQ(tree2.left, tree.left);
    EXPECT_EQ(tree2.top, tree.top);
    EXPECT_EQ(tree2.right, tree.right + 120) << "the tree stretches both ways";
    EXPECT_EQ(tree2.bottom, tree.bottom + 60);
    EXPECT_EQ(edit2.left, edit.left);
    EXPECT_EQ(edit2.right, edit.right + 120) << "the edit stretches across";
    EXPECT_EQ(edit2.top, edit.top + 60) << "and moves down";
    EXPECT_EQ(add2.left, add.left + 120) << "Add keeps to the bottom right";
    EXPECT_EQ(add2.top, add.top + 60);
    EXPECT_EQ(credentials2.left, credentials.left) << "Credentials... keeps to the bottom left";
    EXPECT_EQ(credentials2.top, credentials.top + 60);

    SetWindowPos(window, nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER);
    RECT shrunk{};
    GetWindowRect(window, &shrunk);
    EXPECT_EQ(shrunk.right - shrunk.left, frame.right - frame.left) << "never smaller than it opened";
    EXPECT_EQ(PlaceOf(window, IDC_SERVER_TREE).right, tree.right);
}

} // namespace
} // namespace kesti::ui
