#pragma once
#include <windows.h>

#include "ui/handles.h"
// The logo "pdata\pnlogog.bmp" as the test page and the welcome window show it: loaded from its
// file at its own size, selected into a memory context once, and keyed to the button-face
// colour so that only its darker drawing stands on the window.

class KeyedLogo {
public:
    KeyedLogo() = default;
    KeyedLogo(const KeyedLogo&) = delete;
    KeyedLogo& operator=(const KeyedLogo&) = delete;
    ~KeyedLogo() { release(); }

    // Loads the file at a GBK path for drawing on `window`; false (and no logo) when it cannot.
    bool load(const char* gbk_path, HWND window);
    // Deselects the bitmap, then deletes it and the memory context.
    void release();

    bool loaded() const { return static_cast<bool>(bitmap_); }
    int width() const { return width_; }
    int height() const { return height_; }
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
