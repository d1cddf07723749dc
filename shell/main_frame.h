#pragma once
#include <windows.h>

#include "ui/handles.h"
#include "ui/window.h"
// The program's one top-level window: fixed size, holding the property sheet. It owns the GDI
// objects that several pages share, refuses to close and discards system commands while a test
// runs, watches for a display switch while DirectDraw is open, and saves the profile on close.

// GDI objects shared by the pages, made when the frame is created.
struct FrameGdi {
    ui::Bitmap marker;           // the 32 × 32 marker drawn after each result bar
    ui::Font text_font;          // the comparison page's text font
    ui::Bitmap background;       // "pdata\dlgback.bmp"; absent when the file cannot be loaded
    ui::Brush background_brush;  // a pattern brush of the background

    void release();
};
extern FrameGdi frame_gdi;

// Set when the frame starts to close.
extern int quit_flag;
// The last activation value (0 inactive) and whether the frame is minimised.
extern int frame_activation;
extern bool frame_minimized;
// Progress of the display-switch watcher, 0 to 3.
extern int switch_step;

class CMainFrame : public ui::FrameWindow {
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 440;
    static constexpr int kStartTest = 32771;
    static constexpr int kComparePage = 32772;
    // The application's commands: the options page and the information page.
    static constexpr int kOptionsPage = 32776;
    static constexpr int kAboutPage = 57664;

    // Registers the window class and creates the frame, centred, not yet shown.
    bool create();

protected:
    LRESULT frame_proc(UINT message, WPARAM wparam, LPARAM lparam) override;
    LRESULT default_proc(UINT message, WPARAM wparam, LPARAM lparam) override;

private:
    bool on_create();
    void on_close();
    void on_activate(WPARAM wparam);
    // The frame's and the application's commands; true when handled.
    bool on_command(int id, int code);
    void watch_display_switch(UINT message);
    // Set once the close has begun: a close request that arrives while the close drains
    // messages (a page's kill-active may) finds it and does nothing.
    bool closing_ = false;
};

extern CMainFrame main_frame;
