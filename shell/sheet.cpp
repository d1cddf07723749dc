#include "shell/sheet.h"

#include <commctrl.h>

#include "engine/run_flags.h"

qPropertySheet property_sheet;
QTestPage test_page;
qcontrast_page contrast_page;
QSetupPage setup_page;
QAboutDlg about_page;

bool qPropertySheet::on_control_notify(NMHDR* header, LRESULT& result) {
    if (test_running) {
        // Handled, not acted on: a tab's change request is refused.
        result = header->code == TCN_SELCHANGING ? TRUE : 0;
        return true;
    }
    return PropertySheet::on_control_notify(header, result);
}

bool create_property_sheet(HWND frame) {
    property_sheet.add_page(&test_page);
    property_sheet.add_page(&contrast_page);
    property_sheet.add_page(&setup_page);
    property_sheet.add_page(&about_page);
    return property_sheet.create(frame, "Kalvit Sheet", WS_CHILD | WS_BORDER, 0, kTestPageIndex);
}
