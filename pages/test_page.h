#pragma once
#include "ui/property_sheet.h"
// The first page: five result rows with their bars, the start, stop, analysis and help buttons.

class QTestPage : public ui::PropertyPage {
public:
    static constexpr int kTemplate = 107;
    static constexpr int kStartButton = 32771;
    static constexpr int kStopButton = 32772;
    static constexpr int kHelpButton = 1039;
    static constexpr int kAnalysisButton = 1040;
    static constexpr int kSlogan = 1082;

    QTestPage() : PropertyPage(kTemplate) {}

    // The analysis opens only on results of a finished run, and not during one.
    bool on_set_active() override;

protected:
    bool on_command(int id, int code, HWND control) override;
};
