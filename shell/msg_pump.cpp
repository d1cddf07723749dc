#include "shell/msg_pump.h"

#include "shell/gbk.h"
#include "shell/log.h"
#include "shell/msg_names.h"
#include "shell/msgbox.h"

HWND welcome_window = nullptr;
HWND main_frame_window = nullptr;

namespace {
// One pass: every message the filter admits. A WM_QUIT taken here is posted again for the main
// loop and ends the pass, so draining never swallows the end of the program.
void drain(HWND filter, bool log_each) {
    MSG msg{};
    while (PeekMessageW(&msg, filter, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (log_each)
            QMsgLog("Desktop MSG: %s %X", QMsgName(msg.message),
                    static_cast<unsigned>(msg.wParam));
        TranslateMessage(&msg);
        LRESULT result = DispatchMessageW(&msg);
        if (InSendMessage())
            ReplyMessage(result);
    }
}

bool exists(HWND hwnd) { return hwnd != nullptr && IsWindow(hwnd); }

void show_plain_box(const char* gbk_text) {
    HWND owner = exists(main_frame_window) ? main_frame_window : nullptr;
    MessageBoxW(owner, to_wide(gbk_text).c_str(), L"kalvit", MB_OK);
}

void show_message_box(const char* gbk_text) {
    if (exists(welcome_window))
        ShowWindow(welcome_window, SW_HIDE);
    show_plain_box(gbk_text);
    if (exists(welcome_window))
        ShowWindow(welcome_window, SW_SHOW);
    QMsgPump(exists(welcome_window) ? welcome_window : nullptr);
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

void install_message_box() {
    set_message_presenter(show_message_box);
    set_plain_message_presenter(show_plain_box);
}
