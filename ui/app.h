#pragma once
#include <windows.h>
// The application: instance handle, common controls, and the message loop that gives keyboard
// messages to the dialog they belong to (IsDialogMessageW) and calls an idle handler while the
// queue is empty.

namespace ui {

// A child's parent; null for a top-level window.
HWND parent_window(HWND hwnd);
// The top-level window a child belongs to (the window itself when it is one).
HWND top_level_window(HWND hwnd);

class App {
public:
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    static HINSTANCE instance();
    static void set_instance(HINSTANCE instance);

    // Registers a window whose descendants get dialog keyboard handling (tab, arrows, Enter,
    // Esc). A message goes to the innermost registered window that holds its target, so a key
    // on a property page's control acts on that page, not on the sheet around it.
    static void add_dialog_window(HWND hwnd);
    static void remove_dialog_window(HWND hwnd);
    // The innermost registered window that is `hwnd` or one of its ancestors; null when none.
    static HWND dialog_window_for(HWND hwnd);

    // One message as the loop handles it: dialog keyboard handling, or translation and dispatch
    // (whose result it returns; 0 for a dialog's key).
    static LRESULT process(MSG& msg);

    // Runs the loop until WM_QUIT; returns its exit code.
    int run();

protected:
    App() = default;
    virtual ~App() = default;
    // Called while the queue is empty with a count that restarts after each message; returns
    // true to be called again before the next message arrives.
    virtual bool on_idle(long count);
};

} // namespace ui
