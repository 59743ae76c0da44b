#pragma once
// What the dialogs' trees share: reads of an item's text (in the ANSI code page) and item
// data, and the drawing of the selection.
#include <string>

#include <windows.h>
#include <commctrl.h>

namespace kesti::ui {

std::string TreeItemText(HWND tree, HTREEITEM item);
LPARAM TreeItemData(HWND tree, HTREEITEM item);

// The answer to a tree's NM_CUSTOMDRAW that draws the selected item in the selection's
// colours also while the tree has no focus (the system's own grey is barely visible), so
// that a person always sees what OK and Enter will act on.
LRESULT DrawSelectionAlways(NMTVCUSTOMDRAW& draw);

} // namespace kesti::ui
