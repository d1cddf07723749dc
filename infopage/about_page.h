#pragma once
#include "ui/property_sheet.h"
// The fourth page: program information with its animated logo.

// Milliseconds the main window spent minimised since the page became active, and when it was
// last minimised; the frame's activation handling keeps them.
extern long about_paused_time;
extern long about_minimize_time;

class QAboutDlg : public ui::PropertyPage {
public:
    static constexpr int kTemplate = 100;

    QAboutDlg() : PropertyPage(kTemplate) {}

    bool on_set_active() override;
};
