#pragma once
// The base of the configuration dialogs: a dialog made from a template of the plug-in's own
// resources, whose messages go to virtual handlers. It runs modally (the button that ended it
// comes back) or, for tests, modeless, driven by messages and read back while it is open. It
// opens centred on its owner (or on the window given to CentreOn), else on the screen.
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
    // Opens centred on this window instead of the owner: a window that must not own the
    // dialog, such as the host's window in another process.
    void CentreOn(HWND window) { centreOn_ = window; }

    HWND Handle() const { return window_; }
    HWND Item(int id) const { return GetDlgItem(window_, id); }

protected:
    // Handlers; each returns whether it handled the message.
    virtual bool OnInitDialog() { return true; }
    virtual bool OnCommand(int /*id*/, int /*code*/) { return false; }
    virtual bool OnNotify(NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
    virtual void OnSize() {}
    virtual void OnGetMinMaxInfo(MINMAXINFO& /*limits*/) {}
    // Any other message (the dialogs' own WM_APP messages, WM_SETCURSOR); result is the
    // message's result when handled.
    virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, LRESULT& /*result*/) {
        return false;
    }
    // OK and Cancel end the dialog with their id.
    virtual void OnOK() { Close(IDOK); }
    virtual void OnCancel() { Close(IDCANCEL); }

    // Ends the dialog with `result`, modal or not.
    void Close(INT_PTR result);

    // Dialog data exchange of an edit's text in the ANSI code page: into the edit, or
    // (store) out of it.
    void ExchangeText(int id, std::string& text, bool store) const;

    // A message box modal to this dialog, with its caption; returns the button pressed.
    int Tell(const std::string& text, UINT type) const;

    // Puts the static with the text right before the control in the tab order, so that the
    // static's mnemonic (Alt+letter) moves the focus into that control. Statics take no
    // focus, so the order of the controls that do is unchanged.
    void PlaceLabelBefore(const char* labelText, int controlId) const;

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void Centre() const;

    int templateId_;
    HWND window_ = nullptr;
    HWND centreOn_ = nullptr;
    bool modal_ = false;
    INT_PTR result_ = 0;
};

// The module whose resources hold the dialogs: the plug-in's DLL, or the program that links
// the plug-in's code and its resources.
HINSTANCE ResourceModule();

} // namespace kesti::ui
