#include "analysis/score_dlg.h"

#include "analysis/picture_rules.h"
#include "engine/model.h"
#include "ui/app.h"
#include "ui/gbk.h"

namespace {
constexpr int kIconId = 128;
}

bool QScoreDlg::on_init() {
    font_.reset(CreateFontW(36, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, GB2312_CHARSET,
                            OUT_TT_PRECIS, CLIP_TT_ALWAYS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, L"宋体"));
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconW(ui::App::instance(), MAKEINTRESOURCEW(kIconId))));
    return true;
}

void QScoreDlg::on_destroyed() { font_.reset(); }

void QScoreDlg::paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd(), &ps);
    RECT client{};
    GetClientRect(hwnd(), &client);
    HGDIOBJ old_font = SelectObject(dc, font_.get());
    SetTextColor(dc, RGB(0, 0, 255));
    SetBkMode(dc, TRANSPARENT);
    ScoreText score = layout_score(mark, client.right, client.bottom, [dc](const char* text, int n) {
        SIZE size{};
        const std::wstring wide = to_wide(std::string(text, static_cast<size_t>(n)));
        GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
        return TextSize{static_cast<int>(size.cx), static_cast<int>(size.cy)};
    });
    const std::wstring text = to_wide(score.text);
    TextOutW(dc, score.x, score.y, text.c_str(), static_cast<int>(text.size()));
    SelectObject(dc, old_font);
    EndPaint(hwnd(), &ps);
}

INT_PTR QScoreDlg::dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        paint();
        return TRUE;
    }
    return ModalDialog::dialog_proc(message, wparam, lparam);
}
