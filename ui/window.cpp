#include "ui/window.h"

#include "ui/app.h"

namespace ui {

Window::~Window() {
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

bool Window::register_class(const wchar_t* name, HICON icon, HCURSOR cursor, HBRUSH background,
                            UINT style) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = thunk;
    wc.hInstance = App::instance();
    wc.hIcon = icon;
    wc.hIconSm = icon;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool Window::create(DWORD ex_style, const wchar_t* class_name, const wchar_t* title, DWORD style,
                    int x, int y, int width, int height, HWND parent, HMENU menu_or_id) {
    HWND hwnd = CreateWindowExW(ex_style, class_name, title, style, x, y, width, height, parent,
                                menu_or_id, App::instance(), this);
    return hwnd != nullptr && hwnd == hwnd_;
}

LRESULT Window::window_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    return default_proc(message, wparam, lparam);
}

LRESULT Window::default_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(hwnd_, message, wparam, lparam);
}

LRESULT CALLBACK Window::thunk(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr && message == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lparam);
        self = static_cast<Window*>(cs->lpCreateParams);
        if (self != nullptr) {
            self->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    if (self == nullptr)
        return DefWindowProcW(hwnd, message, wparam, lparam);
    LRESULT result = 0;
    try {
        result = self->window_proc(message, wparam, lparam);
    } catch (...) {
        result = DefWindowProcW(hwnd, message, wparam, lparam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->on_destroyed();
        self->hwnd_ = nullptr;
    }
    return result;
}

} // namespace ui
