#include "ui/AnchorLayout.h"

#include <cmath>

namespace kesti::ui {
namespace {

SIZE ClientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

LONG Moved(LONG original, LONG growth, double fraction) {
    return original + static_cast<LONG>(std::lround(growth * fraction));
}

} // namespace

void AnchorLayout::Attach(HWND dialog) {
    dialog_ = dialog;
    originalClient_ = ClientSize(dialog);
    RECT window{};
    GetWindowRect(dialog, &window);
    originalWindow_ = SIZE{window.right - window.left, window.bottom - window.top};
    controls_.clear();
}

void AnchorLayout::Add(int id, Anchor topLeft, Anchor bottomRight) {
    HWND control = GetDlgItem(dialog_, id);
    if (control == nullptr) return;
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
    controls_.push_back(Placed{control, r, topLeft, bottomRight});
}

void AnchorLayout::Apply() const {
    if (dialog_ == nullptr || controls_.empty()) return;
    const SIZE now = ClientSize(dialog_);
    const LONG dx = now.cx - originalClient_.cx, dy = now.cy - originalClient_.cy;
    HDWP batch = BeginDeferWindowPos(static_cast<int>(controls_.size()));
    for (const Placed& c : controls_) {
        const LONG left = Moved(c.original.left, dx, c.topLeft.x), top = Moved(c.original.top, dy, c.topLeft.y);
        const LONG right = Moved(c.original.right, dx, c.bottomRight.x);
        const LONG bottom = Moved(c.original.bottom, dy, c.bottomRight.y);
        if (batch != nullptr)
            batch = DeferWindowPos(batch, c.control, nullptr, left, top, right - left, bottom - top,
                                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (batch != nullptr) EndDeferWindowPos(batch);
    InvalidateRect(dialog_, nullptr, TRUE);
}

void AnchorLayout::LimitSize(MINMAXINFO& limits) const {
    if (dialog_ == nullptr) return;
    limits.ptMinTrackSize.x = originalWindow_.cx;
    limits.ptMinTrackSize.y = originalWindow_.cy;
}

} // namespace kesti::ui
