#include "ui/property_sheet.h"

#include <commctrl.h>

#include "ui/app.h"
#include "ui/dialog_template.h"
#include "ui/text_api.h"

namespace ui {

namespace {
constexpr char kSheetClass[] = "qPropertySheet";
}

PropertyPage::PropertyPage(int template_id) : Dialog(template_id) {}

bool PropertyPage::create_in(PropertySheet* sheet) {
    DialogTemplate tmpl(template_id());
    if (tmpl.empty())
        return false;
    tmpl.make_child();
    sheet_ = sheet;
    HWND hwnd = create_bound([&] {
        return create_dialog_indirect(tmpl.get(), sheet->hwnd(), thunk);
    });
    if (hwnd == nullptr)
        return false;
    // Keys on the page's controls act on the page: Enter on a button is its click, Esc the
    // page's cancel, and both reach the page before the sheet.
    App::add_dialog_window(hwnd);
    return true;
}

void PropertyPage::on_destroyed() { App::remove_dialog_window(hwnd()); }

INT_PTR PropertyPage::dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COMMAND) {
        if (on_command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam)))
            return TRUE;
        if (sheet_ != nullptr && sheet_->hwnd() != nullptr)
            send(sheet_->hwnd(), WM_COMMAND, wparam, lparam);
        return TRUE;
    }
    return Dialog::dialog_proc(message, wparam, lparam);
}

void PropertySheet::add_page(PropertyPage* page) {
    DialogTemplate tmpl(page->template_id());
    page->caption_ = tmpl.caption();
    pages_.push_back(page);
}

PropertyPage* PropertySheet::page(int index) const {
    if (index < 0 || index >= page_count())
        return nullptr;
    return pages_[static_cast<size_t>(index)];
}

bool PropertySheet::create(HWND parent, const char* caption_gbk, DWORD style, DWORD ex_style,
                           int initial) {
    if (!register_class(class_name_, nullptr, arrow_cursor(),
                        reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), 0))
        return false;
    // A control parent, so that Tab goes on from the tab control into the shown page's controls.
    if (!Window::create(ex_style | WS_EX_CONTROLPARENT, class_name_, caption_gbk,
                        style | WS_CLIPCHILDREN, 0, 0, 100, 100, parent, nullptr))
        return false;
    tab_ = create_window(0, WC_TABCONTROLA, "",
                         WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | TCS_TABS, 0, 0, 100,
                         100, hwnd(), reinterpret_cast<HMENU>(kTabId), nullptr);
    if (tab_ == nullptr)
        return false;
    // The tabs speak Chinese: the dialog font of the pages, 9 point, GB2312.
    tab_font_.reset(create_font(-12, 0, FW_NORMAL, false, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                "宋体"));
    send(tab_, WM_SETFONT, reinterpret_cast<WPARAM>(tab_font_.get()), FALSE);
    for (int i = 0; i < page_count(); ++i) {
        tab_insert(tab_, i, pages_[static_cast<size_t>(i)]->caption().c_str());
    }
    App::add_dialog_window(hwnd());
    layout();
    if (page(initial) != nullptr)
        switch_to(initial);
    return true;
}

RECT PropertySheet::page_rect() const {
    RECT r{};
    GetClientRect(tab_, &r);
    send(tab_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
    MapWindowPoints(tab_, hwnd(), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void PropertySheet::layout() {
    RECT client{};
    GetClientRect(hwnd(), &client);
    MoveWindow(tab_, client.left + 2, client.top + 2, client.right - client.left - 4,
               client.bottom - client.top - 4, TRUE);
    RECT r = page_rect();
    for (PropertyPage* p : pages_) {
        if (p->hwnd() != nullptr)
            SetWindowPos(p->hwnd(), HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                         SWP_NOACTIVATE);
    }
}

void PropertySheet::move_to(const RECT& rect) {
    MoveWindow(hwnd(), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
    layout();
}

bool PropertySheet::switch_to(int index) {
    PropertyPage* next = page(index);
    if (next == nullptr)
        return false;
    if (next->hwnd() == nullptr) {
        if (!next->create_in(this))
            return false;
        RECT r = page_rect();
        SetWindowPos(next->hwnd(), HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOACTIVATE);
    }
    if (!next->on_set_active())
        return false;
    PropertyPage* previous = active_page();
    active_ = index;
    send(tab_, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    SetWindowPos(next->hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    EnableWindow(next->hwnd(), TRUE);
    if (previous != nullptr && previous != next)
        ShowWindow(previous->hwnd(), SW_HIDE);
    return true;
}

bool PropertySheet::set_active_page(int index) {
    if (index == active_)
        return true;
    if (page(index) == nullptr)
        return false;
    PropertyPage* current = active_page();
    if (current != nullptr && !current->on_kill_active())
        return false;
    if (switch_to(index))
        return true;
    if (current != nullptr)
        send(tab_, TCM_SETCURSEL, static_cast<WPARAM>(active_), 0);
    return false;
}

bool PropertySheet::on_control_notify(NMHDR* header, LRESULT& result) {
    if (header->hwndFrom != tab_)
        return false;
    if (header->code == TCN_SELCHANGING) {
        PropertyPage* current = active_page();
        result = (current != nullptr && !current->on_kill_active()) ? TRUE : FALSE;
        return true;
    }
    if (header->code == TCN_SELCHANGE) {
        int index = static_cast<int>(send(tab_, TCM_GETCURSEL, 0, 0));
        if (!switch_to(index))
            send(tab_, TCM_SETCURSEL, static_cast<WPARAM>(active_), 0);
        result = 0;
        return true;
    }
    return false;
}

bool PropertySheet::on_command(int, int, HWND) { return false; }

LRESULT PropertySheet::window_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (on_control_notify(reinterpret_cast<NMHDR*>(lparam), result))
            return result;
        break;
    }
    case WM_COMMAND:
        if (!on_command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam)))
            send(GetParent(hwnd()), WM_COMMAND, wparam, lparam);
        return 0;
    case WM_SIZE:
        if (tab_ != nullptr)
            layout();
        return 0;
    case WM_DESTROY:
        App::remove_dialog_window(hwnd());
        break;
    default:
        break;
    }
    return default_proc(message, wparam, lparam);
}

} // namespace ui
