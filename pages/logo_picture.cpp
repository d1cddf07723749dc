#include "pages/logo_picture.h"

#include <cstdio>
#include <vector>

#include "analysis/picture_rules.h"
#include "shell/app_globals.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

void logo_path(char* path, int size) {
    std::snprintf(path, static_cast<size_t>(size), "%s\\pdata\\pnlogog.bmp", install_dir);
}

bool LogoPicture::load(const char* gbk_path, HWND window, Keying keying) {
    release();
    HBITMAP bitmap = ui::load_bitmap_file(gbk_path);
    if (bitmap == nullptr)
        return false;
    bitmap_.reset(bitmap);
    BITMAP info{};
    ui::object_info(bitmap, sizeof info, &info);
    width_ = info.bmWidth;
    height_ = info.bmHeight;
    ui::WindowDc window_dc(window);
    dc_.reset(CreateCompatibleDC(window_dc.get()));
    if (!dc_) {
        release();
        return false;
    }
    if (keying == Keying::ButtonFace)
        key_to_button_face();
    old_bitmap_ = SelectObject(dc_.get(), bitmap);
    return true;
}

void LogoPicture::key_to_button_face() {
    // The pixels as 32-bit top-down rows (0x00RRGGBB), keyed, and written back.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(width_) * static_cast<size_t>(height_));
    if (pixels.empty() || GetDIBits(dc_.get(), bitmap_.get(), 0, static_cast<UINT>(height_),
                                    pixels.data(), &info, DIB_RGB_COLORS) == 0)
        return;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const uint32_t face_rgb = static_cast<uint32_t>(GetRValue(face)) << 16 |
                              static_cast<uint32_t>(GetGValue(face)) << 8 | GetBValue(face);
    key_to_face(pixels.data(), width_, height_, face_rgb);
    SetDIBits(dc_.get(), bitmap_.get(), 0, static_cast<UINT>(height_), pixels.data(), &info,
              DIB_RGB_COLORS);
}

void LogoPicture::release() {
    if (dc_ && old_bitmap_ != nullptr)
        SelectObject(dc_.get(), old_bitmap_);
    old_bitmap_ = nullptr;
    bitmap_.reset();
    dc_.reset();
    width_ = height_ = 0;
}

void LogoPicture::draw(HDC dc, int x, int y) const {
    if (loaded() && dc_)
        BitBlt(dc, x, y, width_, height_, dc_.get(), 0, 0, SRCCOPY);
}
