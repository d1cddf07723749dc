#include "analysis/welcome_dlg.h"

#include "shell/app_globals.h"
#include "shell/msg_pump.h"
#include "shell/msgbox.h"
#include "ui/app.h"
#include "ui/text_api.h"

QWelcomeDlg welcome_dlg;

namespace {
constexpr int kIconId = 128;
constexpr int kLogoTop = 15;
} // namespace

bool QWelcomeDlg::on_init() {
    ui::send(hwnd(), WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(ui::load_icon(kIconId)));
    char path[kPathSize + 32];
    logo_path(path, sizeof path);
    if (!logo_.load(path, hwnd())) {
        QMsgBox("Can't LoadImage: %s", path);
        return false;
    }
    return true;
}

void QWelcomeDlg::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd(), &ps);
    RECT client{};
    GetClientRect(hwnd(), &client);
    logo_.draw(dc, (client.right - logo_.width()) / 2, kLogoTop);
    EndPaint(hwnd(), &ps);
}

INT_PTR QWelcomeDlg::dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        paint();
        return TRUE;
    }
    return ModelessDialog::dialog_proc(message, wparam, lparam);
}

void QWelcomeDlg::on_destroyed() {
    logo_.release();
    if (welcome_window == hwnd())
        welcome_window = nullptr;
    ModelessDialog::on_destroyed();
}

void QWelcomeDlg::close() {
    logo_.release();
    destroy();
}

bool open_welcome(const char* gbk_text, int x, int y) {
    if (welcome_dlg.hwnd() == nullptr && !welcome_dlg.create(nullptr))
        return false;
    HWND hwnd = welcome_dlg.hwnd();
    welcome_window = hwnd;
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    welcome_dlg.set_item_text(QWelcomeDlg::kText, gbk_text);
    SetForegroundWindow(hwnd);
    ShowWindow(hwnd, SW_SHOW);
    QMsgPump(hwnd);
    return true;
}

bool open_welcome_centred(const char* gbk_text) {
    if (welcome_dlg.hwnd() == nullptr && !welcome_dlg.create(nullptr))
        return false;
    RECT r{};
    GetWindowRect(welcome_dlg.hwnd(), &r);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
    return open_welcome(gbk_text, x, y);
}

void set_welcome_text(const char* gbk_text) {
    if (welcome_dlg.hwnd() != nullptr)
        welcome_dlg.set_item_text(QWelcomeDlg::kText, gbk_text);
}

void close_welcome() { welcome_dlg.close(); }
