#include "analysis/score_dlg.h"

#include "analysis/picture_rules.h"
#include "engine/model.h"
#include "ui/app.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

namespace {
constexpr int kIconId = 128;
}

bool QScoreDlg::on_init() {
    font_.reset(ui::create_font(36, 0, FW_BOLD, false, GB2312_CHARSET,
                                OUT_TT_PRECIS, CLIP_TT_ALWAYS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_DONTCARE, "宋体"));
    ui::send(hwnd(), WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(ui::load_icon(kIconId)));
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
        const SIZE size = ui::text_extent(dc, std::string_view(text, static_cast<size_t>(n)));
        return TextSize{static_cast<int>(size.cx), static_cast<int>(size.cy)};
    });
    ui::text_out(dc, score.x, score.y, score.text);
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
