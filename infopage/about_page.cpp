#include "infopage/about_page.h"

#include <shellapi.h>
#include <windowsx.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "analysis/encode_upload.h"
#include "engine/directx.h"
#include "engine/run_flags.h"
#include "pages/help_topic.h"
#include "pages/link_cursor.h"
#include "shell/app_globals.h"
#include "shell/config_file.h"
#include "shell/log.h"
#include "shell/main_frame.h"
#include "shell/msgbox.h"
#include "shell/sheet.h"
#include "ui/app.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

long about_paused_time = 0;
long about_minimize_time = 0;

namespace {
constexpr int kIconId = 128;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kGrey = RGB(160, 160, 160);
constexpr int kInfoLineHeight = 24;
constexpr int kTitleLines = 2;

HFONT make_font(int height, bool underline) {
    return ui::create_font(height, 0, FW_BOLD, underline, GB2312_CHARSET,
                           OUT_TT_PRECIS, CLIP_TT_ALWAYS, DEFAULT_QUALITY, DEFAULT_PITCH, "宋体");
}

void text_out(HDC dc, int x, int y, const std::string& gbk) {
    ui::text_out(dc, x, y, gbk);
}

HRESULT fill_black(IDirectDrawSurface7* surface) {
    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0;
    return surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

// A surface's drawing context for the life of the scope; null when the surface gives none.
class SurfaceDc {
public:
    explicit SurfaceDc(IDirectDrawSurface7* surface) : surface_(surface) {
        if (FAILED(surface_->GetDC(&dc_)))
            dc_ = nullptr;
    }
    SurfaceDc(const SurfaceDc&) = delete;
    SurfaceDc& operator=(const SurfaceDc&) = delete;
    ~SurfaceDc() {
        if (dc_ != nullptr)
            surface_->ReleaseDC(dc_);
    }
    HDC get() const { return dc_; }

private:
    IDirectDrawSurface7* surface_;
    HDC dc_ = nullptr;
};

bool key_down(int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; }
} // namespace

bool QAboutDlg::on_init() {
    HICON icon = ui::load_icon(kIconId);
    ui::send(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    link_font_.reset(make_font(24, true));
    small_font_.reset(make_font(16, false));
    large_font_.reset(make_font(24, false));
    load_frames();
    site_hot_ = false;
    return true;
}

bool QAboutDlg::load_frames() {
    for (int i = 0; i < kFrames; ++i) {
        char path[kPathSize + 32];
        std::snprintf(path, sizeof path, "%s\\pdata\\pnlogo%d.bmp", install_dir, i);
        if (!frames_[i].load(path, hwnd(), LogoPicture::Keying::None)) {
            QMsgBox("Can't LoadImage: %s", path);
            return false;
        }
    }
    return true;
}

void QAboutDlg::on_destroyed() {
    if (animating())
        stop_animation();
    for (LogoPicture& f : frames_)
        f.release();
    link_font_.reset();
    small_font_.reset();
    large_font_.reset();
    PropertyPage::on_destroyed();
}

bool QAboutDlg::on_set_active() {
    if (test_running || directx.dd_open)
        return false;
    screen_width_ = GetSystemMetrics(SM_CXSCREEN);
    screen_height_ = GetSystemMetrics(SM_CYSCREEN);
    directx.exclusive = 0;
    if (!init_directx(screen_width_, screen_height_, 16))
        return false;
    switch_step = 0;
    if (!attach_clipper())
        return false;
    fit_picture();
    prepare_surfaces();
    set_colour_keys();

    SetTimer(hwnd(), kTimer, 10, nullptr);
    clock_.start(process_clock_ms());
    about_paused_time = 0;
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    QMsgLog("QAboutDlg: Has been SetActive()");
    return true;
}

bool QAboutDlg::attach_clipper() {
    HRESULT hr = directx.dd->CreateClipper(0, &clipper_, nullptr);
    if (FAILED(hr)) {
        clipper_ = nullptr;
        GetDxError("Create Clipper(): ", hr);
        return false;
    }
    hr = clipper_->SetHWnd(0, hwnd());
    if (FAILED(hr)) {
        GetDxError("*****Error: Clipper: SetHWnd(): ", hr);
        release_clipper();
        return false;
    }
    hr = directx.main_surface->SetClipper(clipper_);
    if (FAILED(hr)) {
        GetDxError("main_surface: SetClipper(): ", hr);
        release_clipper();
        return false;
    }
    return true;
}

void QAboutDlg::release_clipper() {
    if (clipper_ != nullptr)
        clipper_->Release();
    clipper_ = nullptr;
}

// The picture is drawn in groups of four pixels: the control shrinks to fit, keeping its place.
void QAboutDlg::fit_picture() {
    HWND picture = item(kPicture);
    RECT client{}, window{};
    GetClientRect(picture, &client);
    GetWindowRect(picture, &window);
    width_ = picture_side(client.right);
    height_ = picture_side(client.bottom);
    const int border_x = (window.right - window.left) - client.right;
    const int border_y = (window.bottom - window.top) - client.bottom;
    SetWindowPos(picture, nullptr, 0, 0, width_ + border_x, height_ + border_y,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(picture, &client);
    GetWindowRect(picture, &window);
    QMsgLog("m_picframe: wd(%d,%d) ct(%d,%d)", static_cast<int>(window.right - window.left),
            static_cast<int>(window.bottom - window.top), static_cast<int>(client.right),
            static_cast<int>(client.bottom));
}

// The logo frames below the picture on the composition surface, and the information text on its
// own surface.
void QAboutDlg::prepare_surfaces() {
    fill_black(directx.src_surface);
    fill_black(directx.inf_surface);
    frame_width_ = frames_[0].width();
    frame_height_ = frames_[0].height();
    {
        SurfaceDc dc(directx.src_surface);
        for (int i = 0; dc.get() != nullptr && i < kFrames; ++i) {
            if (frames_[i].loaded())
                BitBlt(dc.get(), i % 2 * frame_width_, height_ + i / 2 * frame_height_,
                       frame_width_, frame_height_, frames_[i].dc(), 0, 0, SRCCOPY);
        }
    }
    SurfaceDc dc(directx.inf_surface);
    if (dc.get() == nullptr)
        return;
    SetBkMode(dc.get(), TRANSPARENT);
    for (int i = 0; i < kAboutLines; ++i) {
        if (about_info[i][0] == '\0')
            continue;
        const bool title = i < kTitleLines;
        ui::ScopedSelect font(dc.get(), title ? large_font_.get() : small_font_.get());
        SetTextColor(dc.get(), title ? kWhite : kYellow);
        text_out(dc.get(), 0, kInfoLineHeight * i, about_info[i]);
    }
}

// The logo's corner colour is transparent in the sprite; black is transparent in the text.
void QAboutDlg::set_colour_keys() {
    const COLORREF corner = frames_[0].loaded() ? GetPixel(frames_[0].dc(), 0, 0) : 0;
    const uint32_t key = colour_to_pixel(static_cast<uint32_t>(corner));
    QMsgLog("ColorKey=%06X-%06X", static_cast<unsigned>(key), static_cast<unsigned>(key));
    DDCOLORKEY sprite_key{key, key};
    const HRESULT hr = directx.src_surface->SetColorKey(DDCKEY_SRCBLT, &sprite_key);
    if (FAILED(hr)) {
        GetDxError("*****Error: SetColorKey failed!", hr);
        return;
    }
    QMsgLog("+++++OK: SetColorKey successed.");
    DDCOLORKEY black{0, 0};
    directx.inf_surface->SetColorKey(DDCKEY_SRCBLT, &black);
}

bool QAboutDlg::on_kill_active() {
    if (!test_running)
        stop_animation();
    return true;
}

void QAboutDlg::stop_animation() {
    KillTimer(hwnd(), kTimer);
    CleanDirectX();
    release_clipper();
}

void QAboutDlg::animation_step(UINT_PTR id) {
    // Only the page's own activation animates: a connection opened by anyone else is not drawn
    // on.
    if (id != kTimer || busy_ || !animating() || !directx.dd_open || test_running ||
        frame_minimized)
        return;
    if (!clock_.admit())
        return;
    busy_ = true;
    RECT screen{};
    GetClientRect(item(kPicture), &screen);
    MapWindowPoints(item(kPicture), nullptr, reinterpret_cast<POINT*>(&screen), 2);

    if (!draw_stripes()) {
        busy_ = false;
        return;
    }
    const bool drawable = width_ > 0 && height_ > 0;
    if (drawable) {
        RECT band{0, 0, width_, 2};
        for (int s = 1; s < height_ - 1; s += 2) {
            RECT dest{0, s, width_, s + 2};
            directx.src_surface->Blt(&dest, directx.src_surface, &band, DDBLT_WAIT, nullptr);
        }
        draw_sprite();
    }
    draw_texts();
    if (drawable) {
        draw_info_text();
        present(screen);
    }
    busy_ = false;

    const bool pressed =
        key_down('G') && key_down('B') && key_down(VK_CONTROL) && key_down(VK_SHIFT);
    const bool new_press = pressed && !writer_keys_held_;
    writer_keys_held_ = pressed;
    if (new_press && !writer_showing_)
        show_writer_info();
}

// The stripes go into rows 0 and 1 pixel by pixel; false ends the step. A surface lost in a
// display switch sends the sheet to the options page and back, which builds the connection anew.
bool QAboutDlg::draw_stripes() {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    const HRESULT hr = directx.src_surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
    if (hr == DDERR_SURFACELOST) {
        if (switch_step == 3) {
            property_sheet.set_active_page(kSetupPageIndex);
            ui::post(hwnd(), kSurfaceLost, 0, 0);
            switch_step = 0;
        }
        return false;
    }
    if (FAILED(hr)) {
        QMsgLog("*****Error:\tsrc_surface->Lock() ");
        return false;
    }
    const int bytes = (static_cast<int>(desc.ddpfPixelFormat.dwRGBBitCount) + 1) / 8;
    const int columns = width_ < static_cast<int>(desc.dwWidth) ? width_ : static_cast<int>(desc.dwWidth);
    auto* row0 = static_cast<unsigned char*>(desc.lpSurface);
    unsigned char* row1 = row0 + desc.lPitch;
    const bool two_rows = desc.dwHeight > 1;
    const int drawn = bytes > 0 && bytes <= 4 ? columns : 0;
    for (int x = 0; x < drawn; ++x) {
        const int green = stripe_green(x, clock_.frames(), width_);
        const uint32_t pixel = colour_to_pixel(RGB(kStripeRed, green, kStripeBlue));
        std::memcpy(row0 + x * bytes, &pixel, static_cast<size_t>(bytes));
        if (two_rows)
            std::memcpy(row1 + x * bytes, &pixel, static_cast<size_t>(bytes));
    }
    directx.src_surface->Unlock(nullptr);
    return true;
}

void QAboutDlg::draw_sprite() {
    if (frame_width_ <= 0 || frame_height_ <= 0)
        return;
    const int f = sprite_frame(clock_.frames());
    const int left = f % 2 * frame_width_, top = height_ + f / 2 * frame_height_;
    RECT source{left, top, left + frame_width_, top + frame_height_};
    const int x = (width_ - frame_width_) / 2;
    RECT dest{x, 0, x + frame_width_, frame_height_};
    directx.src_surface->Blt(&dest, directx.src_surface, &source, DDBLT_KEYSRC | DDBLT_WAIT,
                             nullptr);
}

void QAboutDlg::draw_texts() {
    SurfaceDc dc(directx.src_surface);
    clock_.count(process_clock_ms(), about_paused_time);
    if (dc.get() == nullptr)
        return;
    SetBkMode(dc.get(), TRANSPARENT);
    SetTextColor(dc.get(), kWhite);
    const VersionPieces version = split_version(version_info);
    text_out(dc.get(), 2, 6, version.left);
    if (!version.right.empty())
        text_out(dc.get(), version_right_x(width_, version.length), 2, version.right);
    ui::ScopedSelect font(dc.get(), link_font_.get());
    SetTextColor(dc.get(), site_hot_ ? kWhite : kGrey);
    text_out(dc.get(), width_ - 380, height_ - 30, visit_url);
}

void QAboutDlg::draw_info_text() {
    const InfoBlit blit = info_blit(info_scroll_offset(clock_.frames()));
    for (int i = 0; i < blit.count; ++i) {
        const RowCopy& c = blit.copies[i];
        RECT source{0, c.source_top, kInfoColumns, c.source_bottom};
        RECT dest{kInfoWindowLeft, c.dest_top, kInfoWindowLeft + kInfoColumns, c.dest_bottom};
        directx.src_surface->Blt(&dest, directx.inf_surface, &source, DDBLT_KEYSRC | DDBLT_WAIT,
                                 nullptr);
    }
}

void QAboutDlg::present(const RECT& screen) {
    RECT source{0, 0, width_, height_};
    RECT dest = screen;
    const HRESULT hr =
        directx.main_surface->Blt(&dest, directx.src_surface, &source, DDBLT_WAIT, nullptr);
    if (hr == DDERR_SURFACELOST) {
        QMsgLog("-----Warning: main_surface->Blt()2 surfacelost!");
    } else if (FAILED(hr)) {
        QMsgLog("*****Error: main_surface->Blt()2 failed!");
        QMsgLog("wdrt=(%d,%d,%d,%d)", static_cast<int>(dest.left), static_cast<int>(dest.top),
                static_cast<int>(dest.right), static_cast<int>(dest.bottom));
    }
}

// The author text hidden in the configuration, in the letters of the upload; one box at a time,
// however many steps come while it is up.
void QAboutDlg::show_writer_info() {
    writer_showing_ = true;
    const std::string text = decode_upload(writer_info);
    QMsgBox("%s", text.c_str());
    writer_showing_ = false;
}

void QAboutDlg::on_mouse_move(int x, int y) {
    if (over_site_line(width_, height_, x, y)) {
        site_hot_ = true;
        SetCursor(hand_cursor());
    } else if (site_hot_) {
        SetCursor(ui::arrow_cursor());
        site_hot_ = false;
    }
}

void QAboutDlg::on_left_button_up() {
    if (!site_hot_)
        return;
    site_hot_ = false;
    ui::shell_open(hwnd(), visit_url);
}

bool QAboutDlg::on_command(int id, int code, HWND) {
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case kSupportButton:
        ui::shell_open(hwnd(), contact_mail);
        return true;
    case kHelpButton:
        show_help_topic(hwnd(), nullptr);
        return true;
    default:
        return false;
    }
}

INT_PTR QAboutDlg::dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_TIMER:
        animation_step(wparam);
        return TRUE;
    case kSurfaceLost:
        QMsgLog("AboutDlg: --------- Get WM_ABOUTSURFACELOST!");
        property_sheet.set_active_page(kAboutPageIndex);
        return TRUE;
    case WM_PAINT: {
        // The picture is the animation's; the page itself has nothing to draw.
        PAINTSTRUCT ps;
        BeginPaint(hwnd(), &ps);
        EndPaint(hwnd(), &ps);
        return TRUE;
    }
    case WM_MOUSEMOVE:
        on_mouse_move(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
        return FALSE;
    case WM_LBUTTONUP:
        on_left_button_up();
        return FALSE;
    case WM_SETCURSOR:
        return keep_hand_cursor(hwnd(), site_hot_, wparam, lparam) ? TRUE : FALSE;
    default:
        return PropertyPage::dialog_proc(message, wparam, lparam);
    }
}
