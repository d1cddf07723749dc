#include "ui/window.h"

#include <exception>

#include "ui/app.h"
#include "ui/text_api.h"

namespace ui {

namespace {
HandlerErrorReporter error_reporter = nullptr;

// What a message gets when its handler failed half-way: nothing more happens. Creation fails
// rather than going on with a half-made window.
LRESULT neutral_result(UINT message) {
    switch (message) {
    case WM_NCCREATE:
        return FALSE;
    case WM_CREATE:
        return -1;
    default:
        return 0;
    }
}
} // namespace

HandlerErrorReporter set_handler_error_reporter(HandlerErrorReporter reporter) {
    HandlerErrorReporter previous = error_reporter;
    error_reporter = reporter;
    return previous;
}

void report_handler_error(HWND hwnd, UINT message, const char* what) {
    if (error_reporter != nullptr)
        error_reporter(hwnd, message, what);
}

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
    LRESULT result = 0;
    try {
        result = self->window_proc(message, wparam, lparam);
    } catch (const std::exception& e) {
        report_handler_error(hwnd, message, e.what());
        result = neutral_result(message);
    } catch (...) {
        report_handler_error(hwnd, message, "unknown exception");
        result = neutral_result(message);
    }
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
