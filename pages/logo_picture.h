#pragma once
#include <windows.h>

#include "ui/handles.h"
// A picture of the pdata folder loaded from its file at its own size and selected into a memory
// context once. The logo "pnlogog.bmp" of the test page and the welcome window is keyed to the
// button-face colour so that only its darker drawing stands on the window; the information
// page's logo frames are used as they are.

class LogoPicture {
public:
    enum class Keying { ButtonFace, None };

    LogoPicture() = default;
    LogoPicture(const LogoPicture&) = delete;
    LogoPicture& operator=(const LogoPicture&) = delete;
    ~LogoPicture() { release(); }

    // Loads the file at a GBK path for drawing on `window`; false (and no picture) when it
    // cannot.
    bool load(const char* gbk_path, HWND window, Keying keying = Keying::ButtonFace);
    // Deselects the bitmap, then deletes it and the memory context.
    void release();

    bool loaded() const { return static_cast<bool>(bitmap_); }
    int width() const { return width_; }
    int height() const { return height_; }
    // The memory context holding the picture; null without one.
    HDC dc() const { return dc_.get(); }
    // Copies the logo unchanged with its top left at (x, y); nothing without a logo.
    void draw(HDC dc, int x, int y) const;

private:
    void key_to_button_face();
    ui::Bitmap bitmap_;
    ui::MemoryDc dc_;
    HGDIOBJ old_bitmap_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// "%s\pdata\pnlogog.bmp" of the install directory.
void logo_path(char* path, int size);
