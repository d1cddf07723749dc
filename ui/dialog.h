#pragma once
#include <windows.h>

#include <string>
// Dialogs from templates. One static procedure binds the object to its window at the first
// message the dialog procedure sees (WM_SETFONT and the owner-drawn controls' WM_MEASUREITEM
// come before WM_INITDIALOG) and calls its dialog_proc; texts are GBK at this interface.

namespace ui {

class Dialog {
public:
    explicit Dialog(int template_id) : template_id_(template_id) {}
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    virtual ~Dialog();

    HWND hwnd() const { return hwnd_; }
    int template_id() const { return template_id_; }

    HWND item(int id) const { return GetDlgItem(hwnd_, id); }
    void set_item_text(int id, const char* gbk) const;
    std::string item_text(int id) const;
    bool checked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }
    void set_check(int id, bool on) const {
        CheckDlgButton(hwnd_, id, on ? BST_CHECKED : BST_UNCHECKED);
    }
    void enable_item(int id, bool on) const { EnableWindow(item(id), on ? TRUE : FALSE); }

protected:
    // WM_INITDIALOG; returns TRUE to let the system set the focus.
    virtual bool on_init() { return true; }
    // WM_COMMAND; true when handled.
    virtual bool on_command(int id, int code, HWND control);
    // WM_NOTIFY; true when handled (the result goes to DWLP_MSGRESULT).
    virtual bool on_notify(NMHDR* header, LRESULT& result);
    // Every message; the default dispatches to the handlers above. Returns what a dialog
    // procedure returns.
    virtual INT_PTR dialog_proc(UINT message, WPARAM wparam, LPARAM lparam);
    // At WM_NCDESTROY, the last message: hwnd() is still the old handle.
    virtual void on_destroyed() {}

    static INT_PTR CALLBACK thunk(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

    // Runs `make`, the call that creates this dialog's window with thunk as its procedure: the
    // first message of the new dialog binds it to this object.
    template <class Make> auto create_bound(Make make) {
        Creating creating(this);
        return make();
    }

private:
    // The dialog being created on this thread, for the duration of the creating call.
    class Creating {
    public:
        explicit Creating(Dialog* dialog);
        Creating(const Creating&) = delete;
        Creating& operator=(const Creating&) = delete;
        ~Creating();

    private:
        Dialog* previous_;
    };

    int template_id_;
    HWND hwnd_ = nullptr;
};

// Runs modally from its template until end() is called.
class ModalDialog : public Dialog {
public:
    using Dialog::Dialog;
    INT_PTR run(HWND owner);
    void end(INT_PTR result) { EndDialog(hwnd(), result); }

    // The innermost modal dialog running now, null when none, and the one it was opened from.
    static ModalDialog* topmost();
    ModalDialog* outer() const { return outer_; }

protected:
    bool on_command(int id, int code, HWND control) override;

private:
    ModalDialog* outer_ = nullptr;
};

// Created modeless; the message loop feeds it to IsDialogMessageW.
class ModelessDialog : public Dialog {
public:
    using Dialog::Dialog;
    ~ModelessDialog() override;
    bool create(HWND owner);
    void destroy();

protected:
    void on_destroyed() override;
};

// The window a message box of the program belongs to, so that the box blocks whatever the user
// works in: the innermost modal dialog, otherwise the main window's last active popup,
// otherwise the main window itself (null when it does not exist).
HWND active_owner(HWND main_window);

} // namespace ui
