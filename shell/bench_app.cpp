#include "shell/bench_app.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "analysis/welcome_dlg.h"
#include "engine/directx.h"
#include "engine/model.h"
#include "engine/benchmark_run.h"
#include "pages/record_store.h"
#include "shell/app_globals.h"
#include "shell/config_file.h"
#include "shell/log.h"
#include "shell/main_frame.h"
#include "shell/msg_pump.h"
#include "shell/msgbox.h"
#include "shell/profile.h"
#include "shell/sheet.h"
#include "shell/startup_rules.h"
#include "sysinfo/machine_info_win.h"
#include "ui/late_bound.h"
#include "ui/text_api.h"

OSVERSIONINFOA os_version;

namespace {
constexpr int kSloganId = QTestPage::kSlogan;

void find_program_dir() {
    std::snprintf(program_dir, sizeof program_dir, "%s",
                  directory_of(ui::module_path()).c_str());
}

void log_os_version() {
    // The 148-byte record of GetVersionExA, read when the text side was chosen.
    os_version = ui::os_version();
    QMsgLog("The OS is Windows %d.%d build %hu %s", static_cast<int>(os_version.dwMajorVersion),
            static_cast<int>(os_version.dwMinorVersion),
            static_cast<unsigned short>(os_version.dwBuildNumber & 0xFFFF),
            os_version.szCSDVersion);
}

void bring_welcome_forward() {
    if (welcome_dlg.hwnd() != nullptr)
        SetForegroundWindow(welcome_dlg.hwnd());
}

RECT client_rect(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return r;
}

// Large system fonts push the test page's last line down; the frame then grows to 470 pixels.
void check_frame_height() {
    RECT frame{}, slogan{};
    GetWindowRect(main_frame.hwnd(), &frame);
    GetWindowRect(test_page.item(kSloganId), &slogan);
    QMsgLog("rect2.top=%d rect1.top=%d d=%d ", static_cast<int>(slogan.top),
            static_cast<int>(frame.top), static_cast<int>(slogan.top - frame.top));
    FrameBounds fitted = fit_frame_height({frame.left, frame.top, frame.right, frame.bottom},
                                        slogan.top, GetSystemMetrics(SM_CYSCREEN));
    if (fitted.top != frame.top || fitted.bottom != frame.bottom)
        MoveWindow(main_frame.hwnd(), fitted.left, fitted.top, fitted.right - fitted.left,
                   fitted.bottom - fitted.top, TRUE);
    property_sheet.move_to(client_rect(main_frame.hwnd()));
    ShowWindow(property_sheet.hwnd(), SW_SHOW);
}
} // namespace

int BenchApp::init_instance(const std::string& command_line) {
    // A second copy ends silently; the handle stays open for the life of the process.
    ui::create_mutex("KALVIT");
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return 0;

    find_program_dir();
    read_install_dir();
    if (is_installation_call(command_line)) {
        std::snprintf(install_dir, sizeof install_dir, "%s", program_dir);
        if (!ui::make_system_folder(program_dir))
            QMsgLog("-----Warning:\tthe program folder %s is not marked as a system folder",
                    program_dir);
        write_install_dir();
        ui::shell_open(nullptr, "kalvit.chm");
        return 0;
    }

    open_welcome_centred("正在初始化，请稍候......");
    read_profile_settings(pre_test_flag);
    if (!main_frame.create()) {
        QMsgBox("创建主窗口失败！");
        close_welcome();
        return 0;
    }
    QMsgPump(welcome_window);
    log_os_version();

    if (!load_configuration()) {
        close_welcome();
        DestroyWindow(main_frame.hwnd());
        return 1;
    }
    ui::set_text(main_frame.hwnd(), version_info);

    if (!create_property_sheet(main_frame.hwnd())) {
        QMsgBox("创建主窗口失败！");
        close_welcome();
        DestroyWindow(main_frame.hwnd());
        return 0;
    }
    property_sheet.set_active_page(kSetupPageIndex);
    setup_page.set_start_options(pre_test_flag);
    property_sheet.move_to(client_rect(main_frame.hwnd()));
    property_sheet.set_active_page(kTestPageIndex);
    check_frame_height();
    bring_welcome_forward();

    // The machine records, then this machine's information in the current-system entry; the
    // loader also seeds the bar colours' generator. Without "kalvit.dat" there is no base system
    // to compare with, and the program ends after the loader's message.
    if (!load_machine_list(machine_list, real_record_files(), collect_machine_info)) {
        close_welcome();
        DestroyWindow(main_frame.hwnd());
        return 0;
    }

    // The options page's display-mode list, filled through a connection opened only for it,
    // in the current mode.
    run_options.ddraw_mode = 1;
    directx.list_modes = 1;
    init_directx(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 16);
    CleanDirectX();

    QMsgPump(property_sheet.hwnd());
    Sleep(100);
    ShowWindow(main_frame.hwnd(), SW_SHOW);
    UpdateWindow(main_frame.hwnd());

    run_options.ddraw_mode = 0;
    directx.list_modes = 0;
    if (pre_test_flag) {
        set_welcome_text("正在进行预备测试……");
        // Over the frame that has just been shown, so that the user sees what runs.
        bring_welcome_forward();
        ui::post(test_page.hwnd(), WM_COMMAND, MAKEWPARAM(CMainFrame::kStartTest, BN_CLICKED),
                     0);
    } else {
        close_welcome();
    }
    return -1;
}

bool BenchApp::on_idle(long count) {
    // The NT family needs no idle time; the animation runs from its timer there.
    const IdleChoice choice =
        about_idle_choice(os_version.dwPlatformId == VER_PLATFORM_WIN32_NT, count,
                          about_page.frame_rate(), frame_minimized,
                          GetActiveWindow() == main_frame.hwnd());
    if (choice.draw) {
        const long frames = about_page.frame_count();
        about_page.animation_step(QAboutDlg::kTimer);
        // Once a process: the idle loop, not only the timer, moves the animation on.
        static bool noted = false;
        if (!noted && about_page.frame_count() > frames) {
            noted = true;
            QMsgLog("Idle: drew frame %ld of the animation", about_page.frame_count());
        }
    }
    return choice.more;
}
