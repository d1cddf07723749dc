#pragma once
#include <windows.h>

#include <cstdint>

#include "analysis/analysis_rows.h"
#include "sysinfo/cpu_clock.h"
#include "ui/dialog.h"
// "测试结果分析": the current machine's information, the settings, the score and the speeds in
// one list and, after a standard run, the machine rated in words. A half-second timer keeps the
// processor clock reading up to date; the dialog is ready, and can close, from its third tick.

class QAnalyseDlg : public ui::ModalDialog {
public:
    static constexpr int kTemplate = 173;
    static constexpr int kList = 1084;
    static constexpr int kReportButton = 1040;
    static constexpr int kHelpButton = 1041;
    static constexpr int kUploadButton = 1042;
    static constexpr int kClockTimer = 1003;
    static constexpr UINT kClockPeriodMs = 500;
    static constexpr uint32_t kReadyTick = 3;

    QAnalyseDlg() : ModalDialog(kTemplate) {}

    HWND list() const { return item(kList); }
    bool ready() const { return analysis_ready_; }
    // The settings text, which the upload sends.
    const char* settings() const { return rows_.text[kSettingsRow]; }

protected:
    bool on_init() override;
    bool on_command(int id, int code, HWND control) override;
    INT_PTR dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) override;
    void on_destroyed() override;

private:
    void show_welcome();
    void fill_list();
    void set_cell(int row, int column, const char* gbk);
    void on_clock();

    AnalysisRows rows_{};
    bool analysis_ready_ = false;
    uint32_t ticks_ = 0;
    uint32_t reading_ = 0; // MHz
    MhzTicker ticker_;
};

// The test page's button: opens the dialog modally when results are ready and no test runs.
void open_analysis(HWND owner);
