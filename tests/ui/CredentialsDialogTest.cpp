// The credentials dialog, made from its template in this program's resources and driven by
// messages as a person's clicks and keys would send them.
#include <gtest/gtest.h>

#include <string>

#include "ui/CredentialsDialog.h"
#include "ui/ResourceIds.h"

namespace kesti::ui {
namespace {

std::string EditText(HWND dialog, int id) {
    char text[256] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

class CredentialsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog_.userName = "alice";
        dialog_.password = "s\xe9" "cret"; // a byte above 127 in the ANSI code page
        dialog_.domain = "PLANT";
        window_ = dialog_.CreateModeless();
        ASSERT_NE(window_, nullptr) << "needs a display (the test command starts Xvfb)";
    }
    void Pump() {
        MSG message;
        for (int round = 0; round < 10; ++round) {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (dialog_.Handle() != nullptr && IsDialogMessageW(dialog_.Handle(), &message)) continue;
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            Sleep(5);
        }
    }
    void Click(int id) { SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(dialog_.Item(id))); }

    CredentialsDialog dialog_;
    HWND window_ = nullptr;
};

TEST_F(CredentialsDialogTest, OpensWithTheTextsAndHidesThePassword) {
    char caption[64] = {};
    GetWindowTextA(window_, caption, sizeof caption);
    EXPECT_STREQ(caption, "OPC Configuration");
    EXPECT_EQ(EditText(window_, IDC_USER_NAME), "alice");
    EXPECT_EQ(EditText(window_, IDC_PASSWORD), "s\xe9" "cret");
    EXPECT_EQ(EditText(window_, IDC_DOMAIN), "PLANT");
    EXPECT_NE(GetWindowLongW(dialog_.Item(IDC_PASSWORD), GWL_STYLE) & ES_PASSWORD, 0);
    EXPECT_NE(SendMessageW(dialog_.Item(IDC_PASSWORD), EM_GETPASSWORDCHAR, 0, 0), 0) << "characters are hidden";
    Click(IDCANCEL);
}

// The first keys a person types land in Name; Alt and a label's underlined letter leads into
// that label's edit.
TEST_F(CredentialsDialogTest, TheFocusStartsInNameAndTheLabelsLeadIntoTheirEdits) {
    ShowWindow(window_, SW_SHOW);
    EXPECT_EQ(GetFocus(), dialog_.Item(IDC_USER_NAME));
    for (char c : std::string("bob")) PostMessageW(GetFocus(), WM_CHAR, static_cast<WPARAM>(c), 1);
    Pump();
    EXPECT_EQ(EditText(window_, IDC_USER_NAME), "bob") << "the typing replaces the name";
    const auto alt = [&](char letter) {
        PostMessageW(GetFocus(), WM_SYSCHAR, static_cast<WPARAM>(letter), 1 << 29);
        Pump();
        return GetFocus();
    };
    EXPECT_EQ(alt('d'), dialog_.Item(IDC_DOMAIN));
    EXPECT_EQ(alt('p'), dialog_.Item(IDC_PASSWORD));
    EXPECT_EQ(alt('n'), dialog_.Item(IDC_USER_NAME));
    Click(IDCANCEL);
}

TEST_F(CredentialsDialogTest, OkTakesTheEditsEvenWhenEmpty) {
    SetDlgItemTextA(window_, IDC_USER_NAME, "");
    SetDlgItemTextA(window_, IDC_DOMAIN, "OTHER");
    Click(IDOK);
    EXPECT_EQ(dialog_.Result(), IDOK);
    EXPECT_EQ(dialog_.Handle(), nullptr) << "the dialog is gone";
    EXPECT_EQ(dialog_.userName, "");
    EXPECT_EQ(dialog_.password, "s\xe9" "cret") << "unchanged edits give back what they were given";
    EXPECT_EQ(dialog_.domain, "OTHER");
}

TEST_F(CredentialsDialogTest, CancelKeepsTheTexts) {
    SetDlgItemTextA(window_, IDC_USER_NAME, "mallory");
    Click(IDCANCEL);
    EXPECT_EQ(dialog_.Result(), IDCANCEL);
    EXPECT_EQ(dialog_.userName, "alice");
}

} // namespace
} // namespace kesti::ui
