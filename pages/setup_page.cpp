#include "pages/setup_page.h"

#include "engine/run_flags.h"

int auto_scale = 1;

bool QSetupPage::on_set_active() { return !test_running; }

void QSetupPage::set_start_options(int pre_test_flag) {
    set_check(kSmallBlocks, true);
    set_check(kUnbuffered, true);
    set_check(kDefaultMode, true);
    set_check(kPreTest, pre_test_flag != 0);
    set_check(kAutoScale, true);
    auto_scale = 1;
    set_check(kAverageWeights, true);
}

bool QSetupPage::on_command(int id, int code, HWND) {
    if (id == kAutoScale && code == BN_CLICKED) {
        auto_scale = checked(kAutoScale) ? 1 : 0;
        return true;
    }
    return false;
}
