#include "ui/window.h"

#include "ui/app.h"
#include "ui/text_api.h"

namespace ui {

Window::~Window() {
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        set_window_long(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

bool Window::register_class(const char* name, HICON icon, HCURSOR cursor, HBRUSH background,
                            UINT style) {
    return register_window_class(name, thunk, icon, cursor, background, style);
}

bool Window::create(DWORD ex_style, const char* class_name, const char* title, DWORD style,
                    int x, int y, int width, int height, HWND parent, HMENU menu_or_id) {
    HWND hwnd = create_window(ex_style, class_name, title, style, x, y, width, height, parent,
                              menu_or_id, this);
    return hwnd != nullptr && hwnd == hwnd_;
}

LRESULT Window::window_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    return default_proc(message, wparam, lparam);
}

LRESULT Window::default_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    return default_window_proc(hwnd_, message, wparam, lparam);
}

LRESULT CALLBACK Window::thunk(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<Window*>(window_long(hwnd, GWLP_USERDATA));
    if (self == nullptr && message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lparam);
        self = static_cast<Window*>(cs->lpCreateParams);
        if (self != nullptr) {
            self->hwnd_ = hwnd;
            set_window_long(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    if (self == nullptr)
        return default_window_proc(hwnd, message, wparam, lparam);
    LRESULT result = self->window_proc(message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        set_window_long(hwnd, GWLP_USERDATA, 0);
        self->on_destroyed();
        self->hwnd_ = nullptr;
    }
    return result;
}

LRESULT FrameWindow::window_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = frame_proc(message, wparam, lparam);
    if ((message == WM_ACTIVATE || message == WM_ENABLE) && hwnd() != nullptr)
        send(hwnd(), kActivateTopLevel, wparam, 0);
    return result;
}

LRESULT FrameWindow::frame_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    return default_proc(message, wparam, lparam);
}

} // namespace ui
