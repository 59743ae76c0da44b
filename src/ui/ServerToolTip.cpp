#include "ui/ServerToolTip.h"

#include "discovery/OPCSpecification.h"

namespace kesti::ui {

std::string ServerToolTipText(const OPCURL& address) {
    std::string text = address.Description();
    for (const OPCSpecification& specification : OPCSpecifications())
        if (address.Specifications() & specification.Flag()) text += specification.ToolTipLine();
    return text;
}

ServerToolTip::~ServerToolTip() {
    if (tree_ != nullptr) RemoveWindowSubclass(tree_, &ServerToolTip::TreeProcedure, 1);
    if (tip_ != nullptr) DestroyWindow(tip_);
}

void ServerToolTip::Attach(HWND tree, TextOfItem textOf) {
    tree_ = tree;
    textOf_ = std::move(textOf);
    tip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, tree, nullptr, nullptr, nullptr);
    if (tip_ == nullptr) return;
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetParent(tree);
    tool.uId = reinterpret_cast<UINT_PTR>(tree);
    tool.lpszText = const_cast<char*>("");
    SendMessageA(tip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(tip_, TTM_ACTIVATE, FALSE, 0); // until the pointer is over a server
    SendMessageA(tip_, TTM_SETDELAYTIME, TTDT_INITIAL, 300);
    SendMessageA(tip_, TTM_SETDELAYTIME, TTDT_RESHOW, 0);
    SendMessageA(tip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, 15000);
    RECT margins{5, 5, 5, 5};
    SendMessageA(tip_, TTM_SETMARGIN, 0, reinterpret_cast<LPARAM>(&margins));
    SendMessageA(tip_, TTM_SETMAXTIPWIDTH, 0, 300);
    SendMessageA(tip_, TTM_SETTIPBKCOLOR, GetSysColor(COLOR_INFOBK), 0);
    SetWindowSubclass(tree, &ServerToolTip::TreeProcedure, 1, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK ServerToolTip::TreeProcedure(HWND tree, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                              DWORD_PTR self) {
    auto* tip = reinterpret_cast<ServerToolTip*>(self);
    if (message == WM_MOUSEMOVE) tip->OnMouseMove(lParam);
    return DefSubclassProc(tree, message, wParam, lParam);
}

// The tool is the whole tree; its text belongs to the item under the pointer, so a move to
// another item takes the shown tip down and the next one is asked for afresh.
void ServerToolTip::OnMouseMove(LPARAM position) {
    TVHITTESTINFO hit{};
    hit.pt = POINT{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    const HTREEITEM item = TreeView_HitTest(tree_, &hit);
    if (item == current_) return;
    current_ = item;
    const ItemTip tip = item != nullptr && textOf_ ? textOf_(item) : ItemTip{};
    const std::string& text = tip.text;
    const auto feed = text.find('\n');
    title_ = text.substr(0, feed);
    body_ = feed == std::string::npos ? std::string() : text.substr(feed + 1);
    SendMessageA(tip_, TTM_POP, 0, 0);
    SendMessageA(tip_, TTM_SETTITLEA, title_.empty() ? TTI_NONE : tip.icon, reinterpret_cast<LPARAM>(title_.c_str()));
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = GetParent(tree_);
    tool.uId = reinterpret_cast<UINT_PTR>(tree_);
    tool.lpszText = const_cast<char*>(title_.empty() ? "" : (body_.empty() ? " " : body_.c_str()));
    SendMessageA(tip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(tip_, TTM_ACTIVATE, title_.empty() ? FALSE : TRUE, 0);
}

} // namespace kesti::ui
