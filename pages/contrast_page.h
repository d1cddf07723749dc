#pragma once
#include "sysinfo/mi_dlg.h"
#include "ui/handles.h"
#include "ui/property_sheet.h"
// The second page: two machines side by side, in figures and as a bar chart; the current
// machine stored under a name, stored machines deleted, and both machines' information shown.

// The machine selectors hold the machine list as it is; a run clears it so that the page refills
// them when it is next shown.
extern int contrast_selectors_filled;

class qcontrast_page : public ui::PropertyPage {
public:
    static constexpr int kTemplate = 141;
    static constexpr int kStoreButton = 1031;
    static constexpr int kDeleteButton = 1034;
    static constexpr int kInfoButton = 1040;
    static constexpr int kMachine1 = 1037;
    static constexpr int kMachine2 = 1038;
    static constexpr int kName1 = 1032;
    static constexpr int kName2 = 1033;
    static constexpr int kChartFrame = 1044;
    static constexpr int kSwatch1 = 1041;
    static constexpr int kSwatch2 = 1042;
    static constexpr int kFirstColumnLabel = 1059;
    static constexpr int kLastColumnLabel = 1063;
    static constexpr UINT kRefreshMessage = 5377;
    static constexpr int kLinkTimer = 1001;

    qcontrast_page();

    // Refused while a test runs.
    bool on_set_active() override;
    bool on_kill_active() override;

    // Brings the labels, figures, chart and buttons up to date for the two selected machines.
    void refresh_comparison();
    // Fills the machine-information dialog for the two selections and shows it; creates it the
    // first time.
    void fill_info_dialog();

    QMiDlg& info_dialog() { return info_dlg_; }
    bool follow_selection() const { return follow_selection_; }
    bool link_hot() const { return link_hot_; }

protected:
    bool on_command(int id, int code, HWND control) override;
    INT_PTR dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) override;
    void on_destroyed() override;

private:
    void fill_selector(int id, int count);
    int selection(int id) const;
    void select(int id, int index);
    void redraw_now();
    void refill_visible_info();
    void on_store();
    void on_delete();
    // Both selectors hold the stored machines only, machine 1 on `first` and machine 2 on
    // `second`; then both files are written, and the page and a shown information dialog follow.
    void list_stored_and_save(int first, int second, bool after_store);
    void paint();
    void draw_link(COLORREF colour);
    void on_mouse_move(int x, int y);

    QMiDlg info_dlg_;
    bool follow_selection_ = true;
    bool link_hot_ = false;
    ui::Font link_font_;
    unsigned link_ticks_ = 0;
};
