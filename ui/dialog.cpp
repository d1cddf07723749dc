#include "ui/dialog.h"

#include <utility>

#include "ui/app.h"
#include "ui/text_api.h"
#include "ui/window.h"

namespace ui {

namespace {
// The dialog whose window is being created on this thread and not yet bound, in a slot of the
// system's thread-local storage (the compiler's thread_local needs MinGW's emulation, built for
// the P6 instruction set).
const DWORD creating_slot = TlsAlloc();

Dialog* exchange_creating(Dialog* dialog) {
    auto* previous = static_cast<Dialog*>(TlsGetValue(creating_slot));
    TlsSetValue(creating_slot, dialog);
    return previous;
}
// The innermost running modal dialog.
ModalDialog* topmost_modal = nullptr;
} // namespace

Dialog::Creating::Creating(Dialog* dialog) : previous_(exchange_creating(dialog)) {}

Dialog::Creating::~Creating() { exchange_creating(previous_); }

Dialog::~Dialog() {
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        set_window_long(hwnd_, DWLP_USER, 0);
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
        set_window_long(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK Dialog::thunk(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<Dialog*>(window_long(hwnd, DWLP_USER));
    if (self == nullptr && TlsGetValue(creating_slot) != nullptr) {
        self = exchange_creating(nullptr);
        self->hwnd_ = hwnd;
        set_window_long(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    }
    if (self == nullptr)
        return FALSE;
    INT_PTR result = self->dialog_proc(message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        set_window_long(hwnd, DWLP_USER, 0);
        self->on_destroyed();
        self->hwnd_ = nullptr;
    }
    return result;
}

INT_PTR ModalDialog::run(HWND owner) {
    outer_ = std::exchange(topmost_modal, this);
    INT_PTR result = create_bound([&] {
        return dialog_box(template_id(), owner, thunk);
    });
    topmost_modal = std::exchange(outer_, nullptr);
    return result;
}

ModalDialog* ModalDialog::topmost() { return topmost_modal; }

bool ModalDialog::on_command(int id, int, HWND) {
    if (id == IDOK || id == IDCANCEL) {
        end(id);
        return true;
    }
    return false;
}

ModelessDialog::~ModelessDialog() { destroy(); }

bool ModelessDialog::create(HWND owner) {
    HWND hwnd = create_bound([&] {
        return create_dialog(template_id(), owner, thunk);
    });
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

HWND active_owner(HWND main_window) {
    for (ModalDialog* d = ModalDialog::topmost(); d != nullptr; d = d->outer()) {
        if (d->hwnd() != nullptr && IsWindow(d->hwnd()))
            return d->hwnd();
    }
    if (main_window == nullptr || !IsWindow(main_window))
        return nullptr;
    HWND popup = GetLastActivePopup(main_window);
    if (popup != nullptr && popup != main_window && IsWindowVisible(popup) && IsWindowEnabled(popup))
        return popup;
    return main_window;
}

} // namespace ui
