#include "ui/app.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace ui {

namespace {
HINSTANCE app_instance = nullptr;
std::vector<HWND>& dialog_windows() {
    static std::vector<HWND> windows;
    return windows;
}
} // namespace

HINSTANCE App::instance() { return app_instance; }

void App::set_instance(HINSTANCE instance) {
    app_instance = instance;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
}

void App::add_dialog_window(HWND hwnd) {
    auto& list = dialog_windows();
    if (std::find(list.begin(), list.end(), hwnd) == list.end())
        list.push_back(hwnd);
}

void App::remove_dialog_window(HWND hwnd) {
    auto& list = dialog_windows();
    list.erase(std::remove(list.begin(), list.end(), hwnd), list.end());
}

HWND App::dialog_window_for(HWND hwnd) {
    const auto& list = dialog_windows();
    HWND desktop = GetDesktopWindow();
    for (HWND w = hwnd; w != nullptr && w != desktop; w = GetAncestor(w, GA_PARENT)) {
        if (std::find(list.begin(), list.end(), w) != list.end())
            return w;
    }
    return nullptr;
}

LRESULT App::process(MSG& msg) {
    HWND dialog = dialog_window_for(msg.hwnd);
    if (dialog != nullptr && IsDialogMessageW(dialog, &msg))
        return 0;
    TranslateMessage(&msg);
    return DispatchMessageW(&msg);
}

bool App::on_idle(long) { return false; }

int App::run() {
    MSG msg{};
    long idle_count = 0;
    bool idle = true;
    for (;;) {
        while (idle && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!on_idle(idle_count++))
                idle = false;
        }
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1)
            break;
        process(msg);
        idle = true;
        idle_count = 0;
    }
    return static_cast<int>(msg.wParam);
}

} // namespace ui
