#pragma once
#include "infopage/about_page.h"
#include "pages/contrast_page.h"
#include "pages/setup_page.h"
#include "pages/test_page.h"
#include "ui/property_sheet.h"
// The property sheet that fills the frame, and its four pages.

constexpr int kTestPageIndex = 0;
constexpr int kComparePageIndex = 1;
constexpr int kSetupPageIndex = 2;
constexpr int kAboutPageIndex = 3;

class qPropertySheet : public ui::PropertySheet {
public:
    qPropertySheet() : PropertySheet("qPropertySheet") {}

protected:
    // While a test runs nothing the sheet's controls report is acted on, so the page stays.
    bool on_control_notify(NMHDR* header, LRESULT& result) override;
};

extern qPropertySheet property_sheet;
extern QTestPage test_page;
extern qcontrast_page contrast_page;
extern QSetupPage setup_page;
extern QAboutDlg about_page;

// Adds the four pages in their order and creates the sheet as a bordered child of `frame`.
bool create_property_sheet(HWND frame);
