#include "shell/msg_pump.h"

#include "shell/log.h"
#include "shell/msg_names.h"
#include "shell/msgbox.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/gbk.h"
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

void log_handler_error(HWND hwnd, UINT message, const char* what) {
    QMsgLog("*****Error:\t%s: exception in the handler of message %X: %s",
            ui::class_name(hwnd).c_str(), message, what);
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
    ui::set_handler_error_reporter(log_handler_error);
}
