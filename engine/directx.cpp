#include "engine/directx.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/blit_rules.h"
#include "engine/dx_errors.h"
#include "engine/fpu_control.h"
#include "engine/benchmark_run.h"
#include "shell/app_globals.h"
#include "shell/log.h"
#include "shell/main_frame.h"
#include "shell/msgbox.h"
#include "shell/sheet.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

DirectDrawState directx;

HRESULT create_direct_draw(IDirectDraw7** dd) {
    using Create = HRESULT(WINAPI*)(GUID*, void**, REFIID, IUnknown*);
    // Loaded once and kept for the life of the process, as a linked import would be.
    static const Create create = [] {
        HMODULE ddraw = ui::load_library("ddraw.dll");
        return ddraw == nullptr ? nullptr
                                : reinterpret_cast<Create>(reinterpret_cast<void (*)()>(
                                      GetProcAddress(ddraw, "DirectDrawCreateEx")));
    }();
    *dd = nullptr;
    if (create == nullptr)
        return DDERR_NODIRECTDRAWSUPPORT;
    HRESULT hr = create(nullptr, reinterpret_cast<void**>(dd), IID_IDirectDraw7, nullptr);
    if (FAILED(hr))
        *dd = nullptr;
    return hr;
}

namespace {

constexpr DWORD kPixelFormatSize = 32;
static_assert(sizeof(DDPIXELFORMAT) == kPixelFormatSize);

void clear_surface_desc() {
    std::memset(&directx.surface_desc, 0, sizeof directx.surface_desc);
    directx.surface_desc.dwSize = sizeof directx.surface_desc;
}

HRESULT WINAPI list_mode(LPDDSURFACEDESC2 desc, LPVOID combo) {
    const int width = static_cast<int>(desc->dwWidth), height = static_cast<int>(desc->dwHeight);
    const int bits = static_cast<int>(desc->ddpfPixelFormat.dwRGBBitCount);
    if (!mode_is_listed(width, height, bits))
        return DDENUMRET_OK;
    char text[64];
    mode_list_text(width, height, bits, static_cast<int>(desc->dwRefreshRate), text, sizeof text);
    ui::combo_add(static_cast<HWND>(combo), text);
    return DDENUMRET_OK;
}

// A surface released to a nonzero count is still held elsewhere: its pointer is kept, and
// logged.
void release_surface(IDirectDrawSurface7*& surface, const char* error) {
    if (surface == nullptr)
        return;
    if (surface->Release() != 0)
        QMsgLog("%s", error);
    else
        surface = nullptr;
}

// A failure once the DirectDraw object exists: the report closes the connection, so it is
// marked open first and nothing of it stays behind.
int fail_open(const char* message, HRESULT code) {
    directx.dd_open = 1;
    GetDxError(message, code);
    return 0;
}

IDirectDrawSurface7* create_surface(DWORD flags, DWORD caps, int width, int height) {
    clear_surface_desc();
    directx.surface_desc.dwFlags = flags;
    directx.surface_desc.ddsCaps.dwCaps = caps;
    directx.surface_desc.dwWidth = static_cast<DWORD>(width);
    directx.surface_desc.dwHeight = static_cast<DWORD>(height);
    IDirectDrawSurface7* surface = nullptr;
    directx.dx_result = directx.dd->CreateSurface(&directx.surface_desc, &surface, nullptr);
    return SUCCEEDED(directx.dx_result) ? surface : nullptr;
}

int create_surfaces(int width, int height) {
    constexpr DWORD kSized = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    directx.main_surface = create_surface(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE, 0, 0);
    if (directx.main_surface == nullptr)
        return fail_open("*****Error: Crerate main_surface失败!", directx.dx_result);
    directx.src_surface = create_surface(kSized, DDSCAPS_OFFSCREENPLAIN, width, height);
    if (directx.src_surface == nullptr)
        return fail_open("*****Error: Crerate src_surface失败!", directx.dx_result);
    if (!directx.exclusive) {
        directx.inf_surface = create_surface(kSized, DDSCAPS_OFFSCREENPLAIN, 500, 768);
        if (directx.inf_surface == nullptr)
            return fail_open("*****Error: Crerate src_surface失败!", directx.dx_result);
    }
    std::memset(&directx.pixel_format, 0, sizeof directx.pixel_format);
    directx.pixel_format.dwSize = kPixelFormatSize;
    directx.dx_result = directx.src_surface->GetPixelFormat(&directx.pixel_format);
    const DDPIXELFORMAT& f = directx.pixel_format;
    directx.channels = analyse_masks(f.dwRBitMask, f.dwGBitMask, f.dwBBitMask);
    QMsgLog("src_surface format %dX%dX%d , RGB mask=%04X,%04X,%04X", width, height,
            static_cast<int>(f.dwRGBBitCount), static_cast<unsigned>(f.dwRBitMask),
            static_cast<unsigned>(f.dwGBitMask), static_cast<unsigned>(f.dwBBitMask));
    return 1;
}

int open_connection(int width, int height, int bits, bool may_switch) {
    QMsgLog("...... Begin init DirectX , exclusive=%d ......", directx.exclusive);
    directx.owner = main_frame.hwnd();
    directx.dx_result = create_direct_draw(&directx.dd);
    if (FAILED(directx.dx_result)) {
        GetDxError("*****Error: 不能创建 DirectDraw对象!", directx.dx_result);
        QMsgBox("请保证DirectX版本高于7.0");
        return 0;
    }
    const DWORD level = directx.exclusive ? DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE : DDSCL_NORMAL;
    directx.dx_result = directx.dd->SetCooperativeLevel(directx.owner, level);
    if (FAILED(directx.dx_result))
        return fail_open("*****Error: SetCooperativelevel()失败!", directx.dx_result);

    clear_surface_desc();
    directx.dd->GetDisplayMode(&directx.surface_desc);
    const DDSURFACEDESC2& current = directx.surface_desc;
    const int current_bits = static_cast<int>(current.ddpfPixelFormat.dwRGBBitCount);
    const int current_refresh = static_cast<int>(current.dwRefreshRate);
    const int current_width = static_cast<int>(current.dwWidth);
    const int current_height = static_cast<int>(current.dwHeight);
    QMsgLog("Current display mode: %dX%d %dBpp %dFps", current_width, current_height,
            current_bits, current_refresh);
    if (run_options.ddraw_mode == 1) {
        bits = current_bits;
        directx.refresh_rate = current_refresh;
    }

    if (directx.list_modes) {
        HWND combo = setup_page.item(QSetupPage::kModeList);
        ui::send(combo, CB_RESETCONTENT, 0, 0);
        directx.dd->EnumDisplayModes(DDEDM_REFRESHRATES, nullptr, combo, list_mode);
    }

    if (directx.exclusive && may_switch) {
        HRESULT switched = DD_OK;
        if (run_options.ddraw_mode == 2)
            switched = directx.dd->SetDisplayMode(width, height, bits, directx.refresh_rate, 0);
        else if (run_options.ddraw_mode == 0 &&
                 (current_width != 1024 || current_height != 768 || current_bits != bits))
            switched = directx.dd->SetDisplayMode(width, height, bits, 0, 0);
        directx.dx_result = switched;
        if (FAILED(switched)) {
            fail_open("*****Error: SetDisplayMode()失败! ", switched);
            if (!QMsgAsk("继续进行测试吗？"))
                return 0;
            // The report has closed the connection: the test goes on over a fresh one in the
            // screen's own mode, whose size and bits the caller reads back.
            directx.mode_kept = 1;
            return open_connection(current_width, current_height, current_bits, false);
        }
    }

    if (!directx.list_modes && !create_surfaces(width, height))
        return 0;

    directx.dd_open = 1;
    QMsgLog("Float control word1=%X", x87_control_word());
    load_run_control_word();
    return 1;
}

} // namespace

int init_directx(int width, int height, int bits) {
    directx.mode_kept = 0;
    return open_connection(width, height, bits, true);
}

int CleanDirectX() {
    if (!directx.dd_open)
        return 1;
    if (!directx.list_modes) {
        if (directx.exclusive) {
            directx.dd->RestoreDisplayMode();
            directx.dd->SetCooperativeLevel(directx.owner, DDSCL_NORMAL);
        } else {
            release_surface(directx.inf_surface, "*****Error: inf_surface->Release()失败!");
        }
        release_surface(directx.src_surface, "*****Error: src_surface->Release()失败!");
        release_surface(directx.main_surface, "*****Error: main_surface->Release()失败!");
    }
    if (directx.dd != nullptr)
        directx.dd->Release();
    directx.dd = nullptr;
    directx.dd_open = 0;
    QMsgLog("...... 已经CleanDirectX() ......");
    return 1;
}

void GetDxError(const char* message, HRESULT code) {
    const uint32_t value = static_cast<uint32_t>(code);
    // A code that no line names keeps this name: the lookup leaves it as it is.
    std::string name = "Unknow DX Error";
    if (const char* builtin = builtin_dx_error_name(value)) {
        name = builtin;
    } else {
        char path[kPathSize + 16];
        std::snprintf(path, sizeof path, "%s\\dderr.txt", program_dir);
        std::FILE* file = open_gbk(path, "rt");
        if (file == nullptr) {
            QMsgBox("GetDxError(): Can't open %s for read!", path);
            QMsgLog("GetDxError(): Can't open dderr.txt for read!");
            // Unnamed, the failure still ends the connection it came from.
            CleanDirectX();
            return;
        }
        find_dx_error(file, value, name);
        std::fclose(file);
    }
    const unsigned long shown = value;
    QMsgLog("%s code=%lX , error= %s", message, shown, name.c_str());
    CleanDirectX();
    QMsgBox("%s code=%lX , error= %s", message, shown, name.c_str());
}

uint32_t colour_to_pixel(uint32_t colour) { return colour_to_pixel(directx.channels, colour); }
uint32_t pixel_to_colour(uint32_t pixel) { return pixel_to_colour(directx.channels, pixel); }
