#pragma once
#include <windows.h>

#include "sysinfo/cpu_clock.h"
#include "sysinfo/info_rows.h"
#include "ui/dialog.h"
#include "ui/handles.h"
// "机器信息": the information of the two machines chosen on the comparison page side by side,
// one owner-drawn row per item under its label. While it is shown, a one-second timer measures
// the processor clock again and keeps the current machine's clock row up to date.

// The rows of the two machine columns, filled by the comparison page.
extern InfoRows mi_rows1, mi_rows2;
// Set by the comparison page while it refills the dialog: the clock leaves the rows alone.
extern bool info_refilling;
// The clock's tick counter and sample, kept for the process: opening again does not reset them.
extern MhzTicker mi_clock_ticker;

class QMiDlg : public ui::ModelessDialog {
public:
    static constexpr int kTemplate = 172;
    static constexpr int kFrame = 1076;
    static constexpr int kList = 9001;
    static constexpr int kClockTimer = 1002;
    static constexpr int kLabelWidth = 80;
    static constexpr int kRowHeight = 18;

    // `refill` fills the dialog again for its new size, without a new collection.
    using Refill = void (*)();
    explicit QMiDlg(Refill refill) : ModelessDialog(kTemplate), refill_(refill) {}

    HWND list() const { return list_; }
    bool refilling() const { return refilling_; }
    // Which columns show the current system, whose clock row the timer rewrites.
    void show_current_in(bool column1, bool column2) {
        current_in_[0] = column1;
        current_in_[1] = column2;
    }

protected:
    bool on_init() override;
    bool on_command(int id, int code, HWND control) override;
    INT_PTR dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) override;
    void on_destroyed() override;

private:
    void layout();
    void draw_row(const DRAWITEMSTRUCT& item);
    void on_clock();
    void on_ok();
    void release();

    Refill refill_;
    HWND list_ = nullptr;
    ui::Font font_;
    ui::Brush selection_brush_;
    ui::Pen border_pen_;
    bool refilling_ = false;
    bool current_in_[2] = {false, false};
};
