#include "pages/setup_page.h"

#include <string>
#include <vector>

#include "engine/directx.h"
#include "engine/run_flags.h"
#include "engine/run_rules.h"
#include "pages/help_topic.h"
#include "shell/log.h"
#include "ui/text_api.h"

int auto_scale = 1;

bool QSetupPage::on_set_active() {
    if (test_running)
        return false;
    preselect_mode();
    return true;
}

void QSetupPage::preselect_mode() {
    HWND list = item(kModeList);
    if (ui::send(list, CB_GETCURSEL, 0, 0) != CB_ERR)
        return;
    const int count = static_cast<int>(ui::send(list, CB_GETCOUNT, 0, 0));
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i)
        texts.push_back(ui::combo_item_text(list, i));
    std::vector<const char*> entries;
    for (const std::string& t : texts)
        entries.push_back(t.c_str());
    int choice = preselected_mode(entries.data(), count, directx.refresh_rate);
    if (choice >= 0)
        ui::send(list, CB_SETCURSEL, static_cast<WPARAM>(choice), 0);
}

void QSetupPage::set_start_options(int pre_test_flag) {
    set_check(kSmallBlocks, true);
    set_check(kUnbuffered, true);
    set_check(kDefaultMode, true);
    set_check(kPreTest, pre_test_flag != 0);
    set_check(kAutoScale, true);
    auto_scale = 1;
    set_check(kAverageWeights, true);
}

void QSetupPage::reset_to_standard() {
    if (test_running)
        return;
    QMsgLog("\nAll setting has been reseted.");
    set_check(kSmallBlocks, true);
    set_check(kBigBlocks, false);
    set_check(kUnbuffered, true);
    set_check(kBuffered, false);
    set_check(kDefaultMode, true);
    set_check(kCurrentMode, false);
    set_check(kChosenMode, false);
    set_check(kAutoScale, true);
    auto_scale = 1;
    set_check(kAverageWeights, true);
    set_check(kBusinessWeights, false);
    set_check(kGameWeights, false);
    set_check(kUse3dnow, false);
    set_check(kUseSse, false);
    set_check(kTripleAmount, false);
    set_check(kPreTest, false);
}

bool QSetupPage::on_command(int id, int code, HWND) {
    if (id == kModeList && code == CBN_SETFOCUS) {
        // Choosing in the list means choosing a mode of the list.
        set_check(kChosenMode, true);
        set_check(kDefaultMode, false);
        set_check(kCurrentMode, false);
        return true;
    }
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case kAutoScale:
        auto_scale = checked(kAutoScale) ? 1 : 0;
        return true;
    case kStandardButton:
        reset_to_standard();
        return true;
    case kHelpButton:
        show_help_topic(hwnd(), "option.htm");
        return true;
    default:
        return false;
    }
}
