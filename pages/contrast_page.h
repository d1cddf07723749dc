#pragma once
#include "ui/property_sheet.h"
// The second page: two machines side by side, in figures and as a bar chart.

// The machine selectors hold the machine list as it is; a run clears it so that the page refills
// them when it is next shown.
extern int contrast_selectors_filled;

class qcontrast_page : public ui::PropertyPage {
public:
    static constexpr int kTemplate = 141;

    qcontrast_page() : PropertyPage(kTemplate) {}

    bool on_set_active() override;
};
