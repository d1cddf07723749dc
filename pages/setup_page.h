#pragma once
#include "ui/property_sheet.h"
// The third page: the benchmark options, read by the test run from its controls.

// The comparison chart scales its axis to the machines shown; mirrors check box 1061.
extern int auto_scale;

class QSetupPage : public ui::PropertyPage {
public:
    static constexpr int kTemplate = 159;
    static constexpr int kSmallBlocks = 1045;
    static constexpr int kBigBlocks = 1046;
    static constexpr int kBuffered = 1048;
    static constexpr int kUnbuffered = 1049;
    static constexpr int kBusinessWeights = 1050;
    static constexpr int kAverageWeights = 1051;
    static constexpr int kGameWeights = 1052;
    static constexpr int kStandardButton = 1053;
    static constexpr int kCurrentMode = 1054;
    static constexpr int kUse3dnow = 1055;
    static constexpr int kUseSse = 1056;
    static constexpr int kDefaultMode = 1057;
    static constexpr int kTripleAmount = 1058;
    static constexpr int kChosenMode = 1059;
    static constexpr int kPreTest = 1060;
    static constexpr int kAutoScale = 1061;
    static constexpr int kHelpButton = 1062;
    static constexpr int kModeList = 1072;

    QSetupPage() : PropertyPage(kTemplate) {}

    // Refused while a test runs; otherwise preselects the display mode once.
    bool on_set_active() override;
    // The options every start begins with; the pre-test box follows the stored setting.
    void set_start_options(int pre_test_flag);
    // "标准设置": every option to its standard value, auto-scaling on, no pre-test; the display
    // mode selection stays. Ignored while a test runs.
    void reset_to_standard();

protected:
    bool on_command(int id, int code, HWND control) override;

private:
    void preselect_mode();
};
