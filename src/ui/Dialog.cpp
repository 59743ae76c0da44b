#include "ui/Dialog.h"

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/Log.h"
#include "platform/PluginModule.h"
#include "platform/Seams.h"

namespace kesti::ui {
namespace {

void LogFailure(const std::string& reason) noexcept {
    try {
        LogMessage(LogError, "The configuration dialog could not handle a message: " + reason);
    } catch (...) {
        // Nothing is left to tell it with.
    }
}

} // namespace

HINSTANCE ResourceModule() {
    const HMODULE plugin = platform::PluginModule();
    return plugin != nullptr ? plugin : GetModuleHandleW(nullptr);
}

Dialog::~Dialog() {
    if (!modal_ && window_ != nullptr) DestroyWindow(window_);
}

INT_PTR Dialog::RunModal(HWND parent) {
    modal_ = true;
    return DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(templateId_), parent, &Dialog::Procedure,
                           reinterpret_cast<LPARAM>(this));
}

HWND Dialog::CreateModeless(HWND parent) {
    modal_ = false;
    result_ = 0;
    return CreateDialogParamW(ResourceModule(), MAKEINTRESOURCEW(templateId_), parent, &Dialog::Procedure,
                              reinterpret_cast<LPARAM>(this));
}

void Dialog::Close(INT_PTR result) {
    result_ = result;
    if (modal_) {
        EndDialog(window_, result);
    } else {
        HWND window = window_;
        window_ = nullptr;
        DestroyWindow(window);
    }
}

void Dialog::ExchangeText(int id, std::string& text, bool store) const {
    if (!store) {
        SetDlgItemTextA(window_, id, text.c_str());
        return;
    }
    std::vector<char> buffer(static_cast<std::size_t>(GetWindowTextLengthA(Item(id))) + 1, '\0');
    GetDlgItemTextA(window_, id, buffer.data(), static_cast<int>(buffer.size()));
    text = buffer.data();
}

int Dialog::Tell(const std::string& text, UINT type) const {
    char caption[256] = {};
    GetWindowTextA(window_, caption, sizeof caption);
    return platform::ShowMessageBox({text, caption, type, window_});
}

void Dialog::PlaceLabelBefore(const char* labelText, int controlId) const {
    HWND label = FindWindowExA(window_, nullptr, "Static", labelText);
    HWND control = Item(controlId);
    if (label == nullptr || control == nullptr) return;
    HWND previous = GetWindow(control, GW_HWNDPREV);
    SetWindowPos(label, previous != nullptr ? previous : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// Over the window to centre on (the one given, else the owner) or else the screen, and
// inside the work area of that window's monitor.
void Dialog::Centre() const {
    HWND over = centreOn_ != nullptr && IsWindow(centreOn_) ? centreOn_ : GetWindow(window_, GW_OWNER);
    if (over != nullptr && (!IsWindowVisible(over) || IsIconic(over))) over = nullptr;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(over != nullptr ? over : window_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT area = monitor.rcWork;
    RECT target = area;
    if (over != nullptr) GetWindowRect(over, &target);
    RECT own{};
    GetWindowRect(window_, &own);
    const LONG width = own.right - own.left, height = own.bottom - own.top;
    LONG x = target.left + (target.right - target.left - width) / 2;
    LONG y = target.top + (target.bottom - target.top - height) / 2;
    x = std::max(area.left, std::min(x, area.right - width));
    y = std::max(area.top, std::min(y, area.bottom - height));
    SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK Dialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<Dialog*>(lParam)->window_ = window;
    }
    auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;
    // Nothing may unwind through the system's dialog manager: a handler's failure is logged
    // and the message counts as not handled.
    try {
        return dialog->Dispatch(message, wParam, lParam);
    } catch (const Exception& e) {
        LogFailure(e.Message());
    } catch (const std::exception& e) {
        LogFailure(e.what());
    } catch (...) {
        LogFailure("unknown error");
    }
    return FALSE;
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const bool defaultFocus = OnInitDialog();
        Centre();
        return defaultFocus ? TRUE : FALSE;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wParam), code = HIWORD(wParam);
        if (OnCommand(id, code)) return TRUE;
        if (id == IDOK) OnOK();
        else if (id == IDCANCEL) OnCancel();
        else return FALSE;
        return TRUE;
    }
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!OnNotify(*reinterpret_cast<NMHDR*>(lParam), result)) return FALSE;
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
        return TRUE;
    }
    case WM_SIZE:
        OnSize();
        return TRUE;
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
        return TRUE;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window_, DWLP_USER, 0);
        window_ = nullptr;
        return FALSE;
    default: {
        LRESULT result = 0;
        if (!OnMessage(message, wParam, lParam, result)) return FALSE;
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
        return TRUE;
    }
    }
}

} // namespace kesti::ui
