#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/handles.h"
#include "ui/window.h"
// A property sheet as a child window: a tab control with one page per tab, each page a child
// dialog made from its template (created the first time it is shown). Pages can refuse to be
// left or to be shown; commands a page does not handle go on to the sheet, then to its parent.

namespace ui {

class PropertySheet;

class PropertyPage : public Dialog {
public:
    explicit PropertyPage(int template_id);

    // The tab text: the template's caption, in GBK.
    const std::string& caption() const { return caption_; }
    PropertySheet* sheet() const { return sheet_; }

    // The page is about to be shown; false refuses, and the sheet stays where it was.
    virtual bool on_set_active() { return true; }
    // The page is about to be left; false keeps it.
    virtual bool on_kill_active() { return true; }

protected:
    INT_PTR dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) override;
    // Pages that override this call it too.
    void on_destroyed() override;

private:
    friend class PropertySheet;
    bool create_in(PropertySheet* sheet);
    std::string caption_;
    PropertySheet* sheet_ = nullptr;
};

class PropertySheet : public Window {
public:
    static constexpr int kTabId = 0x3020;

    // The sheet's window class is the program's: each sheet names its own.
    explicit PropertySheet(const char* class_name) : class_name_(class_name) {}

    void add_page(PropertyPage* page);
    // Creates the sheet window as a child of `parent` and shows page `initial` (when visible).
    bool create(HWND parent, const char* caption_gbk, DWORD style, DWORD ex_style, int initial);

    int page_count() const { return static_cast<int>(pages_.size()); }
    PropertyPage* page(int index) const;
    int active_index() const { return active_; }
    PropertyPage* active_page() const { return page(active_); }
    HWND tab() const { return tab_; }

    // Makes page `index` the active one. False when the current page refuses to be left or the
    // new one refuses to be shown; the sheet then stays on the current page.
    bool set_active_page(int index);
    // Moves and sizes the sheet (in the parent's client coordinates) and lays out its pages.
    void move_to(const RECT& rect);

protected:
    LRESULT window_proc(UINT message, WPARAM wparam, LPARAM lparam) override;
    // WM_NOTIFY from the sheet's own controls (the tab control); true when handled.
    virtual bool on_control_notify(NMHDR* header, LRESULT& result);
    // WM_COMMAND that reached the sheet; true when handled, otherwise it goes to the parent.
    virtual bool on_command(int id, int code, HWND control);

private:
    friend class PropertyPage;
    RECT page_rect() const;
    void layout();
    bool switch_to(int index);
    const char* class_name_;
    std::vector<PropertyPage*> pages_;
    int active_ = -1;
    HWND tab_ = nullptr;
    Font tab_font_;
};

} // namespace ui
