#pragma once
#include <windows.h>
#include <ddraw.h>

#include "infopage/about_anim.h"
#include "pages/logo_picture.h"
#include "ui/handles.h"
#include "ui/property_sheet.h"
// The fourth page: program information. While it is shown it plays its animation through the
// DirectDraw connection in a window: scrolling colour stripes, the logo swinging between its four
// frames, the version text, the web-site line and the scrolling information text.

// Milliseconds the main window spent minimised since the page became active, and when it was
// last minimised; the frame's activation handling keeps them.
extern long about_paused_time;
extern long about_minimize_time;

class QAboutDlg : public ui::PropertyPage {
public:
    static constexpr int kTemplate = 100;
    static constexpr int kPicture = 1068;
    static constexpr int kSupportButton = 1040;
    static constexpr int kHelpButton = 1041;
    static constexpr UINT_PTR kTimer = 101;
    // Posted to the page after a lost surface has sent the sheet to the options page.
    static constexpr UINT kSurfaceLost = 0x1401;
    static constexpr int kFrames = 4;

    QAboutDlg() : PropertyPage(kTemplate) {}

    bool on_set_active() override;
    bool on_kill_active() override;
    // One frame of the animation; only the timer's identifier draws. Also called by the
    // application's idle handler.
    void animation_step(UINT_PTR id);

    int frame_rate() const { return clock_.rate(); }
    long frame_count() const { return clock_.frames(); }
    bool site_hot() const { return site_hot_; }
    bool animating() const { return clipper_ != nullptr; }
    int picture_width() const { return width_; }
    int picture_height() const { return height_; }
    const LogoPicture& frame(int i) const { return frames_[i]; }

protected:
    bool on_init() override;
    bool on_command(int id, int code, HWND control) override;
    INT_PTR dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) override;
    void on_destroyed() override;

private:
    bool load_frames();
    bool attach_clipper();
    void fit_picture();
    void prepare_surfaces();
    void set_colour_keys();
    bool draw_stripes();
    void draw_sprite();
    void draw_texts();
    void draw_info_text();
    void present(const RECT& screen);
    void show_writer_info();
    void release_clipper();
    // Stops the timer and closes the connection with its clipper.
    void stop_animation();
    void on_mouse_move(int x, int y);
    void on_left_button_up();

    ui::Font link_font_, small_font_, large_font_;
    LogoPicture frames_[kFrames];
    IDirectDrawClipper* clipper_ = nullptr;
    int width_ = 0, height_ = 0;           // the picture's client size, multiples of 4
    int screen_width_ = 0, screen_height_ = 0;
    int frame_width_ = 0, frame_height_ = 0; // of frame 0; every frame is drawn at this size
    FrameClock clock_;
    bool busy_ = false;
    bool site_hot_ = false;
    bool writer_showing_ = false;
    // The key combination was down at the last step: a held combination, or the display's key
    // repeat, shows the author text once until it is let go.
    bool writer_keys_held_ = false;
};
