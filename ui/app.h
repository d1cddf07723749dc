#pragma once
#include <windows.h>

#include <vector>
// The application: instance handle, common controls, and the message loop that feeds modeless
// dialogs to IsDialogMessageW and calls an idle handler while the queue is empty.

namespace ui {

class App {
public:
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    static HINSTANCE instance();
    static void set_instance(HINSTANCE instance);

    // Registers a window whose descendants get dialog keyboard handling (tab, arrows, Enter).
    static void add_dialog_window(HWND hwnd);
    static void remove_dialog_window(HWND hwnd);

    // Runs the loop until WM_QUIT; returns its exit code.
    int run();

protected:
    App() = default;
    virtual ~App() = default;
    // Called while the queue is empty with a count that restarts after each message; returns
    // true to be called again before the next message arrives.
    virtual bool on_idle(long count);

private:
    bool pre_translate(MSG& msg);
};

} // namespace ui
