#pragma once
#include <windows.h>
// A window bound to a C++ object: one static procedure finds the object through GWLP_USERDATA
// (set at WM_NCCREATE) and calls its window_proc. The object does not own the window's life
// beyond its own: its destructor unbinds and destroys a window that still exists.

namespace ui {

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND hwnd() const { return hwnd_; }

    // Registers a window class whose procedure is the thunk. Returns false on failure (except
    // when the class already exists).
    static bool register_class(const char* name, HICON icon, HCURSOR cursor, HBRUSH background,
                               UINT style = CS_HREDRAW | CS_VREDRAW);

    bool create(DWORD ex_style, const char* class_name, const char* title, DWORD style, int x,
                int y, int width, int height, HWND parent, HMENU menu_or_id);

protected:
    // Handles a message; the default calls default_proc.
    virtual LRESULT window_proc(UINT message, WPARAM wparam, LPARAM lparam);
    virtual LRESULT default_proc(UINT message, WPARAM wparam, LPARAM lparam);
    // At WM_NCDESTROY, the last message: hwnd() is still the old handle.
    virtual void on_destroyed() {}

private:
    static LRESULT CALLBACK thunk(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    HWND hwnd_ = nullptr;
};

// A top-level frame. Whenever its activation or its enabled state changes it sends itself
// kActivateTopLevel (wParam as the WM_ACTIVATE or WM_ENABLE that caused it), the notification
// by which a frame learns that it, or the program, comes to the front or goes behind.
class FrameWindow : public Window {
public:
    static constexpr UINT kActivateTopLevel = 0x036D;

protected:
    LRESULT window_proc(UINT message, WPARAM wparam, LPARAM lparam) final;
    // The frame's own handling of every message.
    virtual LRESULT frame_proc(UINT message, WPARAM wparam, LPARAM lparam);
};

} // namespace ui
