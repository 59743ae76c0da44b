#pragma once
// Small reads of tree-view items that the dialogs share: an item's text (in the ANSI code
// page) and its item data.
#include <string>

#include <windows.h>
#include <commctrl.h>

namespace kesti::ui {

std::string TreeItemText(HWND tree, HTREEITEM item);
LPARAM TreeItemData(HWND tree, HTREEITEM item);

} // namespace kesti::ui
