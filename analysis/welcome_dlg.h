#pragma once
#include "pages/logo_picture.h"
#include "ui/dialog.h"
// "欢迎使用《Tavoli测试》": the logo and one line of progress while the program is busy, at
// start-up, during the pre-test and while the analysis collects the machine information. One
// window for the process, created when needed and closed when the work is done.

class QWelcomeDlg : public ui::ModelessDialog {
public:
    static constexpr int kTemplate = 171;
    static constexpr int kText = 1079;

    QWelcomeDlg() : ModelessDialog(kTemplate) {}

    // Releases the logo and destroys the window; harmless when it is not open.
    void close();
    const LogoPicture& logo() const { return logo_; }

protected:
    bool on_init() override;
    INT_PTR dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) override;
    void on_destroyed() override;

private:
    void paint();
    LogoPicture logo_;
};

extern QWelcomeDlg welcome_dlg;

// Creates the welcome window unless it is open, sets its text, puts its top left at (x, y),
// brings it to the foreground, shows it and drains its messages. False when it cannot be made.
bool open_welcome(const char* gbk_text, int x, int y);
// The same, centred on the screen.
bool open_welcome_centred(const char* gbk_text);
// Sets the text of the open window; nothing when it is closed.
void set_welcome_text(const char* gbk_text);
void close_welcome();
