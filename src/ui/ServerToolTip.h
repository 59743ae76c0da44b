#pragma once
// The rich tool tip of the data-source dialog's server tree: over a server item, the server's
// name as the server list gives it (its user type, else its ProgID) as the title, with the
// information icon, and one line per OPC standard it implements as the text; over an error
// item, what went wrong and how to try again, with the warning icon. Moving to another item
// makes a new tip.
#include <functional>
#include <string>

#include <windows.h>
#include <commctrl.h>

#include "discovery/OPCURL.h"

namespace kesti::ui {

// The server's listed name, then one line for each OPC standard whose flag the address
// carries (each line starts with a line feed): the first line is the tip's title, the rest
// its text.
std::string ServerToolTipText(const OPCURL& address);

// The tip of one item: its first line is the title, the rest the text; none when empty.
struct ItemTip {
    std::string text;
    int icon = TTI_INFO; // TTI_INFO, TTI_WARNING...
};

class ServerToolTip {
public:
    // The tip of an item, with an empty text for none.
    using TextOfItem = std::function<ItemTip(HTREEITEM)>;

    ServerToolTip() = default;
    ~ServerToolTip();
    ServerToolTip(const ServerToolTip&) = delete;
    ServerToolTip& operator=(const ServerToolTip&) = delete;

    // Creates the tip for the tree: 300 ms until it shows, 15 s until it goes, margins of 5
    // pixels, at most 300 pixels wide, the system's tool-tip colour.
    void Attach(HWND tree, TextOfItem textOf);
    HWND Handle() const { return tip_; }
    // The title given to the tip for the item under the pointer (Wine's tool tip does not
    // answer TTM_GETTITLE).
    const std::string& Title() const { return title_; }

private:
    static LRESULT CALLBACK TreeProcedure(HWND tree, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                          DWORD_PTR self);
    void OnMouseMove(LPARAM position);

    HWND tree_ = nullptr;
    HWND tip_ = nullptr;
    TextOfItem textOf_;
    HTREEITEM current_ = nullptr;
    std::string title_, body_;
};

} // namespace kesti::ui
