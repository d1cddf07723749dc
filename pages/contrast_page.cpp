#include "pages/contrast_page.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include "engine/model.h"
#include "engine/run_flags.h"
#include "pages/link_cursor.h"
#include "pages/record_store.h"
#include "shell/config_file.h"
#include "shell/main_frame.h"
#include "shell/msg_pump.h"
#include "shell/sheet.h"
#include "sysinfo/machine_info_win.h"
#include "ui/app.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

int contrast_selectors_filled = 0;

namespace {
constexpr UINT kLinkPeriodMs = 500;
constexpr int kLinkX = 180, kLinkY = 100, kLinkRight = 280, kLinkBottom = 120;
constexpr char kLinkText[] = "上网比较！";
constexpr int kAppIcon = 128;

void refill_info_after_resize() { contrast_page.fill_info_dialog(); }

void insert_column(HWND list, int index, const char* gbk_title, int format, int width) {
    ui::list_insert_column(list, index, gbk_title, width, format);
}
} // namespace

qcontrast_page::qcontrast_page() : PropertyPage(kTemplate), info_dlg_(refill_info_after_resize) {}

bool qcontrast_page::on_set_active() {
    if (test_running)
        return false;
    if (!link_font_)
        link_font_.reset(ui::create_font(20, 0, FW_BOLD, true, GB2312_CHARSET,
                                         OUT_TT_PRECIS, 0x20, DEFAULT_QUALITY, DEFAULT_PITCH,
                                         "宋体"));
    SetTimer(hwnd(), kLinkTimer, kLinkPeriodMs, nullptr);
    if (!contrast_selectors_filled) {
        fill_selector(kMachine1, machine_list.stored_count + 1);
        fill_selector(kMachine2, machine_list.stored_count + 1);
        select(kMachine1, machine_list.stored_count);
        select(kMachine2, 0);
        contrast_selectors_filled = 1;
    }
    refresh_comparison();
    return true;
}

bool qcontrast_page::on_kill_active() {
    follow_selection_ = true;
    link_font_.reset();
    return true;
}

void qcontrast_page::on_destroyed() {
    KillTimer(hwnd(), kLinkTimer);
    link_font_.reset();
    PropertyPage::on_destroyed();
}

void qcontrast_page::fill_selector(int id, int count) {
    HWND combo = item(id);
    ui::send(combo, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < count && i < kMachineSlots; ++i)
        ui::combo_add(combo, machine_list.entries[i].name);
    ui::send(combo, WM_SETFONT, reinterpret_cast<WPARAM>(frame_gdi.text_font.get()), TRUE);
}

int qcontrast_page::selection(int id) const {
    LRESULT index = ui::send(item(id), CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void qcontrast_page::select(int id, int index) {
    ui::send(item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void qcontrast_page::redraw_now() {
    RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void qcontrast_page::refill_visible_info() {
    if (info_dlg_.hwnd() != nullptr && IsWindowVisible(info_dlg_.hwnd()))
        fill_info_dialog();
}

void qcontrast_page::on_store() {
    int index = 0;
    const std::string typed = item_text(kMachine1);
    switch (store_current_machine(machine_list, typed.c_str(), index)) {
    case StoreResult::kRefused:
        SetFocus(item(kMachine1));
        return;
    case StoreResult::kDeclined:
        return;
    case StoreResult::kStored:
        break;
    }
    list_stored_and_save(index, selection(kMachine2), true);
}

void qcontrast_page::list_stored_and_save(int first, int second, bool after_store) {
    fill_selector(kMachine1, machine_list.stored_count);
    select(kMachine1, first);
    fill_selector(kMachine2, machine_list.stored_count);
    select(kMachine2, second);
    const bool saved = after_store ? save_stored_machine(machine_list, real_record_files())
                                   : save_machine_list(machine_list, real_record_files());
    if (!saved)
        return;
    redraw_now();
    refill_visible_info();
}

void qcontrast_page::on_delete() {
    int index = selection(kMachine1);
    switch (delete_machine(machine_list, index)) {
    case DeleteResult::kRefused:
        SetFocus(item(kMachine1));
        return;
    case DeleteResult::kTooFew:
        redraw_now();
        return;
    case DeleteResult::kDeclined:
        return;
    case DeleteResult::kDeleted:
        break;
    }
    int second = selection(kMachine2);
    // Machine 2 stays on its machine: those after the deleted one moved up, and the deleted one
    // itself gives way to the machine before it.
    if (second >= index)
        second -= 1;
    list_stored_and_save(machine_list.stored_count - 1, second, false);
}

void qcontrast_page::fill_info_dialog() {
    info_refilling = true;
    const int count = machine_list.stored_count;
    int first = selection(kMachine1);
    int second = selection(kMachine2);
    const bool exists = info_dlg_.hwnd() != nullptr;
    if (!exists || ((first == count || second == count) && !info_dlg_.refilling()))
        collect_machine_info(current_system_entry().info_text);
    if (first < 0 || first > count)
        first = count;
    if (second < 0 || second > count)
        second = count;

    if (!exists) {
        if (!info_dlg_.create(main_frame.hwnd())) {
            info_refilling = false;
            return;
        }
        RECT r{};
        GetWindowRect(info_dlg_.hwnd(), &r);
        SetWindowPos(info_dlg_.hwnd(), nullptr, GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left),
                     0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        HICON icon = ui::load_icon(kAppIcon);
        ui::send(info_dlg_.hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        insert_column(info_dlg_.list(), 0, "  名  称", LVCFMT_CENTER, QMiDlg::kLabelWidth);
    } else {
        ui::send(info_dlg_.list(), LVM_DELETECOLUMN, 2, 0);
        ui::send(info_dlg_.list(), LVM_DELETECOLUMN, 1, 0);
    }
    HWND list = info_dlg_.list();
    QMsgPump(list);
    QMsgPump(info_dlg_.hwnd());

    RECT r{};
    GetWindowRect(list, &r);
    const int visible_rows = (r.bottom - r.top) / QMiDlg::kRowHeight + 1;
    const int width =
        (r.right - r.left - GetSystemMetrics(SM_CXVSCROLL) - QMiDlg::kLabelWidth) / 2;
    const MachineRecord& m1 = machine_list.entries[first];
    const MachineRecord& m2 = machine_list.entries[second];
    insert_column(list, 1, m1.name, LVCFMT_LEFT, width);
    insert_column(list, 2, m2.name, LVCFMT_LEFT, width);

    const int j = fill_info_columns(m1.info_text, m1.option_flags, m2.info_text, m2.option_flags,
                                    mi_rows1, mi_rows2);
    info_dlg_.show_current_in(first == count, second == count);
    const int rows = j > visible_rows ? j : visible_rows;
    ui::send(list, LVM_DELETEALLITEMS, 0, 0);
    for (int i = 0; i <= rows; ++i) {
        ui::list_insert_item(list, i, "");
    }
    ShowWindow(info_dlg_.hwnd(), SW_SHOW);
    info_refilling = false;
}

void qcontrast_page::draw_link(COLORREF colour) {
    ui::WindowDc dc(hwnd());
    if (dc.get() == nullptr)
        return;
    ui::ScopedSelect font(dc.get(), link_font_ ? static_cast<HGDIOBJ>(link_font_.get())
                                               : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc.get(), TRANSPARENT);
    SetTextColor(dc.get(), colour);
    ui::text_out(dc.get(), kLinkX, kLinkY, kLinkText);
}

void qcontrast_page::paint() {
    PAINTSTRUCT ps;
    BeginPaint(hwnd(), &ps);
    EndPaint(hwnd(), &ps);
    // The chart goes over what the paint left, once the paint is done.
    ui::post(hwnd(), kRefreshMessage, 0, 0);
    draw_link(RGB(0, 0, 255));
}

void qcontrast_page::on_mouse_move(int x, int y) {
    if (x > kLinkX && x < kLinkRight && y > kLinkY && y < kLinkBottom) {
        link_hot_ = true;
        SetCursor(hand_cursor());
        return;
    }
    if (link_hot_)
        SetCursor(ui::arrow_cursor());
    link_hot_ = false;
}

bool qcontrast_page::on_command(int id, int code, HWND) {
    if ((id == kMachine1 || id == kMachine2) && code == CBN_SELCHANGE) {
        redraw_now();
        refill_visible_info();
        return true;
    }
    if (id == kMachine1 && code == CBN_EDITCHANGE) {
        if (!machine_list.current_stored)
            follow_selection_ = false;
        return true;
    }
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case kStoreButton:
        on_store();
        return true;
    case kDeleteButton:
        on_delete();
        return true;
    case kInfoButton:
        fill_info_dialog();
        return true;
    default:
        return false;
    }
}

INT_PTR qcontrast_page::dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case kRefreshMessage:
        refresh_comparison();
        return TRUE;
    case WM_PAINT:
        paint();
        return TRUE;
    case WM_TIMER:
        if (wparam == kLinkTimer && IsWindowVisible(hwnd()))
            draw_link(link_ticks_++ % 2 == 0 ? RGB(255, 255, 0) : RGB(0, 0, 255));
        return FALSE;
    case WM_MOUSEMOVE:
        on_mouse_move(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
        return FALSE;
    case WM_LBUTTONDOWN:
        if (link_hot_)
            ui::shell_open(hwnd(), login_url);
        return FALSE;
    case WM_SETCURSOR:
        return keep_hand_cursor(hwnd(), link_hot_, wparam, lparam) ? TRUE : FALSE;
    default:
        return PropertyPage::dialog_proc(message, wparam, lparam);
    }
}
