#pragma once
// Moves and stretches a dialog's controls when the dialog is resized. Each control has two
// anchors, for its top-left and its bottom-right corner, given as fractions of the growth:
// (0, 0) keeps a corner with the dialog's top-left, (1, 1) with its bottom-right, (1, 0)
// with its top-right. The dialog never gets smaller than it opened.
#include <vector>

#include <windows.h>

namespace kesti::ui {

struct Anchor {
    double x;
    double y;
};

class AnchorLayout {
public:
    // Remembers the dialog's client size as it opened; call before Add.
    void Attach(HWND dialog);
    // Remembers the control's place as it opened.
    void Add(int id, Anchor topLeft, Anchor bottomRight);
    // Places every control for the dialog's present client size (on WM_SIZE).
    void Apply() const;
    // The smallest window size: the size it opened with (on WM_GETMINMAXINFO).
    void LimitSize(MINMAXINFO& limits) const;

private:
    struct Placed {
        HWND control;
        RECT original;
        Anchor topLeft, bottomRight;
    };

    HWND dialog_ = nullptr;
    SIZE originalClient_{};
    SIZE originalWindow_{};
    std::vector<Placed> controls_;
};

} // namespace kesti::ui
