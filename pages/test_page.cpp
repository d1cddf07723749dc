#include "pages/test_page.h"

#include <shellapi.h>
#include <windowsx.h>

#include "analysis/analyse_dlg.h"
#include "engine/model.h"
#include "engine/run_flags.h"
#include "engine/run_recording.h"
#include "pages/help_topic.h"
#include "pages/link_cursor.h"
#include "shell/app_globals.h"
#include "shell/config_file.h"
#include "shell/msgbox.h"
#include "ui/app.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

bool QTestPage::on_init() {
    char path[kPathSize + 32];
    logo_path(path, sizeof path);
    if (!logo_.load(path, hwnd()))
        QMsgBox("Can't LoadImage: %s", path);
    link_hot_ = false;
    return true;
}

void QTestPage::on_destroyed() {
    logo_.release();
    PropertyPage::on_destroyed();
}

bool QTestPage::on_set_active() {
    enable_item(kAnalysisButton, results_ready && !test_running);
    return true;
}

bool QTestPage::on_command(int id, int code, HWND) {
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case kStopButton:
        // The stop button is the page's own; start goes on to the frame, which runs the test.
        // A disabled button (the pre-test cannot be stopped) stops nothing, whoever clicks it.
        if (test_running && IsWindowEnabled(item(kStopButton)))
            stop_requested = 1;
        return true;
    case kHelpButton:
        show_help_topic(hwnd(), "test.htm");
        return true;
    case kAnalysisButton:
        open_analysis(ui::top_level_window(hwnd()));
        return true;
    default:
        return false;
    }
}

void QTestPage::place_logo() {
    RECT client{};
    GetClientRect(hwnd(), &client);
    logo_rect_ = test_page_logo_rect(client.right, client.bottom, logo_.width(), logo_.height());
}

void QTestPage::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd(), &ps);
    RECT client{};
    GetClientRect(hwnd(), &client);
    run_recording.replay(dc, client);
    place_logo();
    logo_.draw(dc, logo_rect_.left, logo_rect_.top);
    EndPaint(hwnd(), &ps);
}

void QTestPage::on_mouse_move(int x, int y) {
    place_logo();
    if (test_running || !strictly_inside(logo_rect_, x, y)) {
        if (link_hot_)
            SetCursor(ui::arrow_cursor());
        link_hot_ = false;
        return;
    }
    link_hot_ = true;
    SetCursor(hand_cursor());
}

void QTestPage::on_left_button_up() {
    if (!link_hot_ || test_running)
        return;
    link_hot_ = false;
    ui::shell_open(hwnd(), visit_url);
}

INT_PTR QTestPage::dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_PAINT:
        paint();
        return TRUE;
    case WM_MOUSEMOVE:
        on_mouse_move(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
        return FALSE;
    case WM_LBUTTONUP:
        on_left_button_up();
        return FALSE;
    case WM_SETCURSOR:
        return keep_hand_cursor(hwnd(), link_hot_, wparam, lparam) ? TRUE : FALSE;
    default:
        return PropertyPage::dialog_proc(message, wparam, lparam);
    }
}
