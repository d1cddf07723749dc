#include "pages/test_page.h"

#include "engine/model.h"
#include "engine/run_flags.h"

bool QTestPage::on_set_active() {
    enable_item(kAnalysisButton, results_ready && !test_running);
    return true;
}

bool QTestPage::on_command(int id, int code, HWND) {
    // The stop button is the page's own; start goes on to the frame, which runs the test.
    if (id == kStopButton && code == BN_CLICKED) {
        if (test_running)
            stop_requested = 1;
        return true;
    }
    return false;
}
