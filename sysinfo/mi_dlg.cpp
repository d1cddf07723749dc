#include "sysinfo/mi_dlg.h"

#include <commctrl.h>

#include <cstring>

#include "engine/model.h"
#include "shell/log.h"
#include "shell/main_frame.h"
#include "sysinfo/machine_info_win.h"
#include "sysinfo/machine_text.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

InfoRows mi_rows1, mi_rows2;
bool info_refilling = false;
MhzTicker mi_clock_ticker;

namespace {
constexpr UINT kClockPeriodMs = 1000;
constexpr COLORREF kSelectionYellow = RGB(255, 255, 0);
constexpr COLORREF kBorderOlive = RGB(128, 128, 0);
constexpr COLORREF kSelectedText = RGB(0, 0, 255);
constexpr COLORREF kText = RGB(0, 0, 0);

RECT client_rect(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return r;
}

// One cell's border: the right and bottom edges one pixel inside the cell.
void outline(HDC dc, const RECT& r) {
    MoveToEx(dc, r.left, r.top, nullptr);
    LineTo(dc, r.right - 1, r.top);
    LineTo(dc, r.right - 1, r.bottom - 1);
    LineTo(dc, r.left, r.bottom - 1);
    LineTo(dc, r.left, r.top);
}

void draw_cell_text(HDC dc, const RECT& cell, int indent, const char* gbk) {
    if (gbk == nullptr || gbk[0] == '\0')
        return;
    ui::ext_text_out(dc, cell.left + indent, cell.top + 3, ETO_CLIPPED, &cell, gbk);
}
} // namespace

bool QMiDlg::on_init() {
    list_ = ui::create_window(0, WC_LISTVIEWA, "",
                              WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDRAWFIXED |
                                  LVS_ALIGNLEFT,
                              0, 0, 10, 10, hwnd(), reinterpret_cast<HMENU>(kList), nullptr);
    layout();
    selection_brush_.reset(CreateSolidBrush(kSelectionYellow));
    font_.reset(ui::create_font(14, 0, 500, false, DEFAULT_CHARSET,
                                OUT_TT_PRECIS, CLIP_TT_ALWAYS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                "宋体"));
    border_pen_.reset(CreatePen(PS_SOLID, 1, kBorderOlive));
    // The headings speak Chinese too.
    if (list_ != nullptr && font_)
        ui::send(list_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    SetTimer(hwnd(), kClockTimer, kClockPeriodMs, nullptr);
    return true;
}

void QMiDlg::layout() {
    const RECT client = client_rect(hwnd());
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    MoveWindow(item(kFrame), 10, 10, width - 20, height - 22, TRUE);
    if (list_ != nullptr)
        MoveWindow(list_, 12, 12, width - 24, height - 26, TRUE);
}

void QMiDlg::draw_row(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT row = item.rcItem;
    row.bottom += 1;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    HBRUSH brush = selected ? selection_brush_.get() : frame_gdi.background_brush.get();
    if (brush == nullptr)
        brush = GetSysColorBrush(COLOR_WINDOW);
    ui::ScopedSelect font(dc, font_.get());
    ui::ScopedSelect pen(dc, border_pen_.get());
    ui::ScopedSelect fill(dc, brush);
    SetTextColor(dc, selected ? kSelectedText : kText);
    SetBkMode(dc, TRANSPARENT);
    Rectangle(dc, row.left, row.top, row.right, row.bottom);

    const int index = static_cast<int>(item.itemID);
    const bool has_text = index >= 0 && index < kInfoRows;
    RECT cell = row;
    for (int column = 0; column < 3; ++column) {
        const int width = static_cast<int>(ui::send(list_, LVM_GETCOLUMNWIDTH, column, 0));
        if (column == 0) {
            cell.right = cell.left + width;
        } else {
            cell.left = cell.right - 1;
            cell.right = cell.left + width + 1;
        }
        outline(dc, cell);
        if (!has_text)
            continue;
        if (column == 0)
            draw_cell_text(dc, cell, 13, kInfoLabels[index]);
        else
            draw_cell_text(dc, cell, 4, column == 1 ? mi_rows1[index] : mi_rows2[index]);
    }
}

void QMiDlg::on_clock() {
    if (!IsWindowVisible(hwnd()) || collecting || info_refilling)
        return;
    ClockSample now;
    if (!take_clock_sample(now))
        return;
    uint32_t mhz = 0;
    const bool odd = (mi_clock_ticker.ticks & 1) != 0;
    const bool measured = mi_clock_ticker.tick(now, mhz);
    if (!odd)
        return;
    QMsgLog("MiDlg::OnTimer1: cpu_mf=%d , mf_times=%d", static_cast<int>(mhz),
            static_cast<int>(mi_clock_ticker.ticks));
    if (!measured || mhz == 0 || machine_list.current_stored)
        return;
    if (!current_in_[0] && !current_in_[1])
        return;
    char text[kMhzTextWidth + 1];
    format_mhz(mhz, text);
    InfoRows* columns[2] = {&mi_rows1, &mi_rows2};
    for (int c = 0; c < 2; ++c) {
        if (!current_in_[c])
            continue;
        std::memcpy((*columns[c])[kClockRow], text, sizeof text);
    }
    MachineRecord& current = current_system_entry();
    rewrite_mhz_text(current.info_text, sizeof current.info_text, mhz);
    InvalidateRect(list_, nullptr, FALSE);
}

void QMiDlg::release() {
    KillTimer(hwnd(), kClockTimer);
    font_.reset();
    selection_brush_.reset();
    border_pen_.reset();
}

void QMiDlg::on_ok() {
    if (!quit_flag) {
        QMsgLog("QMiDlg::OnOK: no quit_flag , so hide");
        ShowWindow(hwnd(), SW_HIDE);
        return;
    }
    QMsgLog("QMiDlg::OnOK: quit_flag , so quit");
    release();
    destroy();
}

bool QMiDlg::on_command(int id, int, HWND) {
    switch (id) {
    case IDOK:
        on_ok();
        return true;
    case IDCANCEL:
        // The close box puts the dialog away like a modeless dialog's cancel: hidden, kept.
        ShowWindow(hwnd(), SW_HIDE);
        return true;
    default:
        return false;
    }
}

INT_PTR QMiDlg::dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_MEASUREITEM: {
        auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lparam);
        if (measure->CtlID != kList)
            return FALSE;
        measure->itemHeight = kRowHeight;
        return TRUE;
    }
    case WM_DRAWITEM: {
        const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        if (draw->CtlID != kList || list_ == nullptr)
            return FALSE;
        draw_row(*draw);
        return TRUE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        if (!frame_gdi.background_brush)
            return FALSE;
        SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(frame_gdi.background_brush.get());
    case WM_SIZE:
        if (list_ != nullptr) {
            layout();
            refilling_ = true;
            if (refill_ != nullptr)
                refill_();
            refilling_ = false;
        }
        return FALSE;
    case WM_TIMER:
        if (wparam == kClockTimer)
            on_clock();
        return FALSE;
    default:
        return ModelessDialog::dialog_proc(message, wparam, lparam);
    }
}

void QMiDlg::on_destroyed() {
    release();
    list_ = nullptr;
    ModelessDialog::on_destroyed();
}
