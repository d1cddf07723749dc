#include "ui/app.h"

#include <algorithm>
#include <vector>

#include "ui/late_bound.h"
#include "ui/text_api.h"

namespace ui {

namespace {
HINSTANCE app_instance = nullptr;
std::vector<HWND>& dialog_windows() {
    static std::vector<HWND> windows;
    return windows;
}
} // namespace

// GetAncestor's GA_PARENT, which Windows 95 and NT 4.0 lack, gives the desktop for a top-level
// window instead.
HWND parent_window(HWND hwnd) {
    return (window_long(hwnd, GWL_STYLE) & WS_CHILD) != 0 ? GetParent(hwnd) : nullptr;
}

HWND top_level_window(HWND hwnd) {
    for (HWND parent = parent_window(hwnd); parent != nullptr; parent = parent_window(hwnd))
        hwnd = parent;
    return hwnd;
}

HINSTANCE App::instance() {
    return app_instance;
}

void App::set_instance(HINSTANCE instance) {
    app_instance = instance;
    choose_text_api();
    init_common_controls();
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
    for (HWND w = hwnd; w != nullptr && w != desktop; w = parent_window(w)) {
        if (std::find(list.begin(), list.end(), w) != list.end())
            return w;
    }
    return nullptr;
}

LRESULT App::process(MSG& msg) {
    HWND dialog = dialog_window_for(msg.hwnd);
    if (dialog != nullptr && is_dialog_message(dialog, msg))
        return 0;
    TranslateMessage(&msg);
    return dispatch_message(msg);
}

bool App::on_idle(long) {
    return false;
}

int App::run() {
    MSG msg{};
    long idle_count = 0;
    bool idle = true;
    for (;;) {
        while (idle && !peek_message(msg, nullptr, PM_NOREMOVE)) {
            if (!on_idle(idle_count++))
                idle = false;
        }
        BOOL got = get_message(msg);
        if (got == 0 || got == -1)
            break;
        process(msg);
        idle = true;
        idle_count = 0;
    }
    return static_cast<int>(msg.wParam);
}

} // namespace ui
