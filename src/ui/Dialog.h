#pragma once
// The base of the configuration dialogs: a dialog made from a template of the plug-in's own
// resources, whose messages go to virtual handlers. It runs modally (the button that ended it
// comes back) or, for tests, modeless, driven by messages and read back while it is open.
#include <string>

#include <windows.h>

namespace kesti::ui {

class Dialog {
public:
    explicit Dialog(int templateId) : templateId_(templateId) {}
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Shows the dialog and returns the id of the button that ended it (IDOK, IDCANCEL), or
    // -1 when the dialog could not be made.
    INT_PTR RunModal(HWND parent = nullptr);
    // Makes the dialog without a loop of its own; Close ends it as the buttons do.
    HWND CreateModeless(HWND parent = nullptr);
    // The id that ended a modeless dialog, 0 while it is open.
    INT_PTR Result() const { return result_; }

    HWND Handle() const { return window_; }
    HWND Item(int id) const { return GetDlgItem(window_, id); }

protected:
    // Handlers; each returns whether it handled the message.
    virtual bool OnInitDialog() { return true; }
    virtual bool OnCommand(int /*id*/, int /*code*/) { return false; }
    virtual bool OnNotify(const NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
    virtual void OnSize() {}
    virtual void OnGetMinMaxInfo(MINMAXINFO& /*limits*/) {}
    // OK and Cancel end the dialog with their id.
    virtual void OnOK() { Close(IDOK); }
    virtual void OnCancel() { Close(IDCANCEL); }

    // Ends the dialog with `result`, modal or not.
    void Close(INT_PTR result);

    // Dialog data exchange of an edit's text in the ANSI code page: into the edit, or
    // (store) out of it.
    void ExchangeText(int id, std::string& text, bool store) const;

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    int templateId_;
    HWND window_ = nullptr;
    bool modal_ = false;
    INT_PTR result_ = 0;
};

// The module whose resources hold the dialogs: the plug-in's DLL, or the program that links
// the plug-in's code and its resources.
HINSTANCE ResourceModule();

} // namespace kesti::ui
