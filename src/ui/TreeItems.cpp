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

LRESULT DrawSelectionAlways(NMTVCUSTOMDRAW& draw) {
    switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
        HWND tree = draw.nmcd.hdr.hwndFrom;
        const auto item = reinterpret_cast<HTREEITEM>(draw.nmcd.dwItemSpec);
        if (item == TreeView_GetSelection(tree) && GetFocus() != tree) {
            draw.clrText = GetSysColor(COLOR_HIGHLIGHTTEXT);
            draw.clrTextBk = GetSysColor(COLOR_HIGHLIGHT);
        }
        return CDRF_DODEFAULT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}

} // namespace kesti::ui
