#include "shell/msg_pump.h"

#include <cstdio>

#include "shell/log.h"
#include "shell/msg_names.h"
#include "shell/msgbox.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/gbk.h"
#include "ui/runtime_failure.h"
#include "ui/window.h"
#include "ui/text_api.h"

HWND welcome_window = nullptr;
HWND main_frame_window = nullptr;

namespace {
// One pass: every message the filter admits. A WM_QUIT taken here is posted again for the main
// loop and ends the pass, so draining never swallows the end of the program.
void drain(HWND filter, bool log_each) {
    MSG msg{};
    while (ui::peek_message(msg, filter, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (log_each)
            QMsgLog("Desktop MSG: %s %X", QMsgName(msg.message),
                    static_cast<unsigned>(msg.wParam));
        // As the main loop handles it, so that keys act on the dialog that has the focus: Enter
        // and Space on the focused "停止测试" stop a run.
        LRESULT result = ui::App::process(msg);
        if (InSendMessage())
            ReplyMessage(result);
    }
}

bool exists(HWND hwnd) { return hwnd != nullptr && IsWindow(hwnd); }

// The box belongs to the window the user works in, so that it blocks that window: a modal
// dialog's handlers cannot run again underneath the box.
void show_box(const char* gbk_text) {
    ui::message_box(ui::active_owner(main_frame_window), gbk_text, "kalvit", MB_OK);
}

bool ask_box(const char* gbk_text) {
    return ui::message_box(ui::active_owner(main_frame_window), gbk_text, "kalvit", MB_YESNO) ==
           IDYES;
}

void hide_welcome() {
    if (exists(welcome_window))
        ShowWindow(welcome_window, SW_HIDE);
}

void show_welcome_and_drain() {
    if (exists(welcome_window))
        ShowWindow(welcome_window, SW_SHOW);
    QMsgPump(exists(welcome_window) ? welcome_window : nullptr);
}

// The C++ library met a failure it cannot return from; the process ends after this.
void report_runtime_failure(const char* what) {
    QMsgLog("*****Error:\t%s", what);
    char text[256];
    std::snprintf(text, sizeof text, "kalvit遇到无法继续的内部错误（%s），程序将退出。", what);
    ui::message_box(nullptr, text, "kalvit", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}
} // namespace

void QMsgPump(HWND dialog) {
    if (exists(dialog))
        drain(dialog, false);
    if (exists(main_frame_window))
        drain(main_frame_window, false);
    drain(reinterpret_cast<HWND>(-1), false);
    drain(nullptr, false);
    drain(GetDesktopWindow(), true);
}

void install_message_services() {
    set_message_presenter(show_box);
    set_plain_message_presenter(show_box);
    set_question_presenter(ask_box);
    set_welcome_hooks({hide_welcome, show_welcome_and_drain});
    ui::set_runtime_failure_reporter(report_runtime_failure);
}
