#include "ui/TreeItems.h"

namespace kesti::ui {

std::string TreeItemText(HWND tree, HTREEITEM item) {
    char text[1024] = {};
    TVITEMA data{};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = sizeof text;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
    return text;
}

LPARAM TreeItemData(HWND tree, HTREEITEM item) {
    TVITEMW data{};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    TreeView_GetItem(tree, &data);
    return data.lParam;
}

} // namespace kesti::ui
