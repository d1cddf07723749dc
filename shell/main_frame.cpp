#include "shell/main_frame.h"

#include <cstdio>

#include "engine/directx.h"
#include "engine/model.h"
#include "engine/run_flags.h"
#include "engine/run_recording.h"
#include "engine/benchmark_run.h"
#include "infopage/about_page.h"
#include "pages/setup_page.h"
#include "shell/app_globals.h"
#include "shell/log.h"
#include "shell/msg_pump.h"
#include "shell/profile.h"
#include "shell/sheet.h"
#include "ui/app.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

FrameGdi frame_gdi;
int quit_flag = 0;
int frame_activation = 0;
bool frame_minimized = false;
int switch_step = 0;
CMainFrame main_frame;

namespace {
constexpr char kFrameClass[] = "CMainFrame";
constexpr int kIconId = 128;
constexpr int kMarkerBitmapId = 142;
constexpr UINT kIdleUpdate = 0x0363;
constexpr UINT kSwitchFirst = ui::FrameWindow::kActivateTopLevel;
} // namespace

void FrameGdi::release() {
    run_recording.release();
    background_brush.reset();
    background.reset();
}

bool CMainFrame::create() {
    HICON icon = ui::load_icon(kIconId);
    if (!register_class(kFrameClass, icon, ui::arrow_cursor(),
                        reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)))
        return false;
    int left = GetSystemMetrics(SM_CXSCREEN) / 2 - kWidth / 2;
    int top = GetSystemMetrics(SM_CYSCREEN) / 2 - kHeight / 2;
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    return Window::create(0, kFrameClass, "kalvit", style, left, top, kWidth, kHeight, nullptr,
                          nullptr);
}

bool CMainFrame::on_create() {
    frame_gdi.marker.reset(ui::load_bitmap_resource(kMarkerBitmapId));
    frame_gdi.text_font.reset(ui::create_font(14, 0, FW_NORMAL, false, DEFAULT_CHARSET,
                                              OUT_TT_PRECIS, CLIP_TT_ALWAYS, DEFAULT_QUALITY,
                                              DEFAULT_PITCH, "宋体"));
    run_recording.begin(nullptr);

    char path[kPathSize + 32];
    std::snprintf(path, sizeof path, "%s\\pdata\\dlgback.bmp", install_dir);
    HBITMAP background = ui::load_bitmap_file(path);
    if (background == nullptr) {
        QMsgLog("MainFrm: Can't LoadImage: %s", path);
    } else {
        frame_gdi.background.reset(background);
        frame_gdi.background_brush.reset(CreatePatternBrush(background));
    }
    for (int& amount : m_times)
        amount = 20;
    return true;
}

void CMainFrame::on_close() {
    if (closing_)
        return;
    if (test_running) {
        QMsgLog("Test is running ! wait......");
        return;
    }
    closing_ = true;
    quit_flag = 1;
    property_sheet.set_active_page(kSetupPageIndex);
    pre_test_flag = setup_page.checked(QSetupPage::kPreTest) ? 1 : 0;
    write_profile(pre_test_flag);
    frame_gdi.release();
    log_close();
    _fcloseall();
    DestroyWindow(hwnd());
}

bool CMainFrame::on_command(int id, int code) {
    // Buttons and menu items send 0, accelerators 1; a control's notifications are not commands.
    if (code != 0 && code != 1)
        return false;
    switch (id) {
    case kStartTest:
        run_benchmark();
        return true;
    case kComparePage:
        property_sheet.set_active_page(kComparePageIndex);
        return true;
    case kOptionsPage:
        property_sheet.set_active_page(kSetupPageIndex);
        return true;
    case kAboutPage:
        property_sheet.set_active_page(kAboutPageIndex);
        return true;
    default:
        return false;
    }
}

void CMainFrame::on_activate(WPARAM wparam) {
    int activation = LOWORD(wparam);
    bool minimized = HIWORD(wparam) != 0;
    frame_activation = activation;
    if (activation == WA_INACTIVE) {
        if (minimized && !frame_minimized)
            about_minimize_time = process_clock_ms();
    } else if (!minimized && frame_minimized) {
        long restored = process_clock_ms();
        about_paused_time += restored - about_minimize_time;
        if (about_paused_time < 0)
            about_paused_time = 0;
    }
    frame_minimized = minimized;
}

LRESULT CMainFrame::frame_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        main_frame_window = hwnd();
        return on_create() ? 0 : -1;
    case WM_CLOSE:
        on_close();
        return 0;
    case WM_ACTIVATE: {
        LRESULT result = default_proc(message, wparam, lparam);
        on_activate(wparam);
        return result;
    }
    case WM_COMMAND:
        if (on_command(LOWORD(wparam), HIWORD(wparam)))
            return 0;
        break;
    case WM_DESTROY:
        main_frame_window = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return default_proc(message, wparam, lparam);
}

void CMainFrame::watch_display_switch(UINT message) {
    if (!directx.dd_open || directx.exclusive)
        return;
    switch (message) {
    case WM_MOUSEMOVE:
    case WM_TIMER:
    case WM_SETCURSOR:
    case WM_NCHITTEST:
    case WM_NCMOUSEMOVE:
    case kIdleUpdate:
        return;
    case kSwitchFirst:
        if (switch_step == 0) {
            switch_step = 1;
            QMsgLog("-----Step1 to switch property page at %d...", static_cast<int>(process_clock_ms()));
        }
        return;
    case WM_ACTIVATEAPP:
        if (switch_step == 1) {
            switch_step = 2;
            QMsgLog("-----Step2 to switch property page at %d...", static_cast<int>(process_clock_ms()));
        }
        return;
    case WM_NCPAINT:
    case WM_SYNCPAINT:
        if (switch_step == 2) {
            switch_step = 3;
            QMsgLog("-----Step3: Now starting switch! at %d...", static_cast<int>(process_clock_ms()));
        }
        return;
    default:
        return;
    }
}

LRESULT CMainFrame::default_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_SYSCOMMAND && test_running) {
        QMsgLog("Testing! Discard WM_SYSCOMMAND %X", static_cast<unsigned>(wparam));
        return 1;
    }
    watch_display_switch(message);
    return Window::default_proc(message, wparam, lparam);
}
