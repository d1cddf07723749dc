#pragma once
#include "analysis/picture_rules.h"
#include "pages/logo_picture.h"
#include "ui/property_sheet.h"
// The first page: five result rows with their bars, the start, stop, analysis and help buttons,
// and the logo in the lower right corner, a link to the makers' web site.

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

    // The logo's place at the last paint, and whether the pointer is over it.
    const PixelRect& logo_rect() const { return logo_rect_; }
    bool link_hot() const { return link_hot_; }
    const LogoPicture& logo() const { return logo_; }

protected:
    bool on_init() override;
    bool on_command(int id, int code, HWND control) override;
    INT_PTR dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) override;
    void on_destroyed() override;

private:
    void paint();
    void place_logo();
    void on_mouse_move(int x, int y);
    void on_left_button_up();
    LogoPicture logo_;
    PixelRect logo_rect_{};
    bool link_hot_ = false;
};
