#include "analysis/analyse_dlg.h"

#include <commctrl.h>
#include <mmsystem.h>

#include <memory>

#include "analysis/report.h"
#include "analysis/upload.h"
#include "analysis/welcome_dlg.h"
#include "engine/model.h"
#include "engine/run_flags.h"
#include "pages/help_topic.h"
#include "shell/bench_app.h"
#include "shell/log.h"
#include "shell/msg_pump.h"
#include "sysinfo/machine_info_win.h"
#include "ui/app.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

namespace {
constexpr int kIconId = 128;
constexpr int kWelcomeShift = 40;
constexpr int kLabelColumnWidth = 100;
constexpr int kTextColumnWidth = 480;
constexpr int kButtons[] = {QAnalyseDlg::kReportButton, QAnalyseDlg::kHelpButton,
                            QAnalyseDlg::kUploadButton};

void insert_column(HWND list, int index, int format, int width) {
    ui::list_insert_column(list, index, "", width, format);
}
} // namespace

void open_analysis(HWND owner) {
    if (!results_ready || test_running)
        return;
    // The rows are large; the dialog lives on the heap for its modal run.
    auto dialog = std::make_unique<QAnalyseDlg>();
    dialog->run(owner);
}

bool QAnalyseDlg::on_init() {
    analysis_ready_ = false;
    ui::send(
        hwnd(), WM_SETICON, ICON_BIG,
        reinterpret_cast<LPARAM>(ui::load_icon(kIconId)));
    ui::send(list(), LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    for (int id : kButtons)
        enable_item(id, false);

    show_welcome();
    collect_machine_info(current_system_entry().info_text);
    QMsgPump(hwnd());
    fill_list();

    ticks_ = 0;
    reading_ = 0;
    ticker_ = MhzTicker{};
    SetTimer(hwnd(), kClockTimer, kClockPeriodMs, nullptr);
    QMsgLog("QAnalyseDlg::OnInitDialog: clock started at %lu",
            static_cast<unsigned long>(timeGetTime()));
    return true;
}

// Over this dialog, centred on it and moved a little to the right, above everything.
void QAnalyseDlg::show_welcome() {
    if (welcome_dlg.hwnd() == nullptr && !welcome_dlg.create(nullptr))
        return;
    RECT me{}, welcome{};
    GetWindowRect(hwnd(), &me);
    GetWindowRect(welcome_dlg.hwnd(), &welcome);
    const int left = (me.left + me.right - (welcome.right - welcome.left)) / 2 + kWelcomeShift;
    const int top = (me.top + me.bottom - (welcome.bottom - welcome.top)) / 2;
    SetWindowPos(welcome_dlg.hwnd(), HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    open_welcome("获取机器信息……", left, top);
}

void QAnalyseDlg::set_cell(int row, int column, const char* gbk) {
    ui::list_set_item_text(list(), row, column, gbk);
}

void QAnalyseDlg::fill_list() {
    HWND l = list();
    insert_column(l, 0, LVCFMT_CENTER, kLabelColumnWidth);
    insert_column(l, 1, LVCFMT_LEFT, kTextColumnWidth);
    ui::send(l, LVM_DELETEALLITEMS, 0, 0);

    const AnalysisInputs in{
        &current_system_entry(), mark, static_cast<uint32_t>(os_version.dwMajorVersion),
        static_cast<uint32_t>(os_version.dwMinorVersion), memory_status().total_physical};
    fill_analysis_rows(in, rows_);
    for (int row = 0; row < kAnalysisRows; ++row) {
        ui::list_insert_item(l, row, rows_.label[row]);
    }
    for (int row = 0; row < kAnalysisRows; ++row)
        if (rows_.text[row][0] != '\0')
            set_cell(row, 1, rows_.text[row]);
}

void QAnalyseDlg::on_clock() {
    ClockSample now;
    if (take_clock_sample(now)) {
        uint32_t measured = 0;
        if (ticker_.tick(now, measured)) {
            reading_ = next_shown_mhz(reading_, measured);
            format_mhz(reading_, rows_.text[kClockRow]);
            set_cell(kClockRow, 1, rows_.text[kClockRow]);
            rewrite_mhz_text(current_system_entry().info_text,
                             sizeof current_system_entry().info_text, reading_);
        }
    }
    QMsgLog("QAnalyseDlg::OnTimer: tick %u at %lu , cpu_mf=%u", ticks_ + 1,
            static_cast<unsigned long>(timeGetTime()), reading_);
    if (++ticks_ == kReadyTick) {
        close_welcome();
        for (int id : kButtons)
            enable_item(id, true);
        analysis_ready_ = true;
    }
}

bool QAnalyseDlg::on_command(int id, int code, HWND) {
    switch (id) {
    case IDOK:
    case IDCANCEL:
        // Closing waits for the third tick, when the welcome window has gone and the first
        // reading is shown.
        if (analysis_ready_) {
            KillTimer(hwnd(), kClockTimer);
            end(IDCANCEL);
        }
        return true;
    case kReportButton:
        if (code == BN_CLICKED && analysis_ready_)
            write_report(list());
        return true;
    case kHelpButton:
        if (code == BN_CLICKED && analysis_ready_)
            show_help_topic(nullptr, "analyse.htm");
        return true;
    case kUploadButton:
        if (code == BN_CLICKED && analysis_ready_)
            upload_results(hwnd(), settings());
        return true;
    default:
        return false;
    }
}

INT_PTR QAnalyseDlg::dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_TIMER && wparam == kClockTimer) {
        on_clock();
        return TRUE;
    }
    return ModalDialog::dialog_proc(message, wparam, lparam);
}

void QAnalyseDlg::on_destroyed() {
    KillTimer(hwnd(), kClockTimer);
    // A dialog that goes before it was ready (the program ending) takes its welcome window along.
    if (!analysis_ready_)
        close_welcome();
    ModalDialog::on_destroyed();
}
