#include "ui/Dialog.h"

#include <exception>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/Log.h"
#include "platform/PluginModule.h"

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
    case WM_INITDIALOG:
        return OnInitDialog() ? TRUE : FALSE;
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
        if (!OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result)) return FALSE;
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
    default:
        return FALSE;
    }
}

} // namespace kesti::ui
