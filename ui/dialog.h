#pragma once
#include <windows.h>

#include <string>
// Dialogs from templates. One static procedure binds the object at WM_INITDIALOG and calls
// its dialog_proc; texts are GBK at this interface.

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

private:
    int template_id_;
    HWND hwnd_ = nullptr;
};

// Runs modally from its template until end() is called.
class ModalDialog : public Dialog {
public:
    using Dialog::Dialog;
    INT_PTR run(HWND owner);
    void end(INT_PTR result) { EndDialog(hwnd(), result); }

protected:
    bool on_command(int id, int code, HWND control) override;
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

} // namespace ui
