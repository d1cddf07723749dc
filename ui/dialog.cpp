#include "ui/dialog.h"

#include "ui/app.h"
#include "ui/text.h"

namespace ui {

Dialog::~Dialog() {
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
        DestroyWindow(hwnd_);
    }
}

void Dialog::set_item_text(int id, const char* gbk) const { set_text(item(id), gbk); }

std::string Dialog::item_text(int id) const { return get_text(item(id)); }

bool Dialog::on_command(int, int, HWND) { return false; }

bool Dialog::on_notify(NMHDR*, LRESULT&) { return false; }

INT_PTR Dialog::dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        return on_init() ? TRUE : FALSE;
    case WM_COMMAND:
        return on_command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam)) ? TRUE
                                                                                          : FALSE;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!on_notify(reinterpret_cast<NMHDR*>(lparam), result))
            return FALSE;
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK Dialog::thunk(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr && message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lparam);
        if (self != nullptr) {
            self->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        }
    }
    if (self == nullptr)
        return FALSE;
    INT_PTR result = FALSE;
    try {
        result = self->dialog_proc(message, wparam, lparam);
    } catch (...) {
        result = FALSE;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->on_destroyed();
        self->hwnd_ = nullptr;
    }
    return result;
}

INT_PTR ModalDialog::run(HWND owner) {
    return DialogBoxParamW(App::instance(), MAKEINTRESOURCEW(template_id()), owner, thunk,
                           reinterpret_cast<LPARAM>(this));
}

bool ModalDialog::on_command(int id, int, HWND) {
    if (id == IDOK || id == IDCANCEL) {
        end(id);
        return true;
    }
    return false;
}

ModelessDialog::~ModelessDialog() { destroy(); }

bool ModelessDialog::create(HWND owner) {
    HWND hwnd = CreateDialogParamW(App::instance(), MAKEINTRESOURCEW(template_id()), owner, thunk,
                                   reinterpret_cast<LPARAM>(this));
    if (hwnd == nullptr)
        return false;
    App::add_dialog_window(hwnd);
    return true;
}

void ModelessDialog::destroy() {
    if (hwnd() != nullptr && IsWindow(hwnd()))
        DestroyWindow(hwnd());
}

void ModelessDialog::on_destroyed() { App::remove_dialog_window(hwnd()); }

} // namespace ui
