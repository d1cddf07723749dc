#pragma once
#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "engine/pixel_format.h"
// The one DirectDraw 7 connection of the process: the blit test takes the screen with it in
// exclusive full-screen mode, start-up opens it only to list the display modes, and the
// information page draws through it in a window. Whoever opens it closes it; every reported
// DirectDraw failure closes it too.

struct DirectDrawState {
    IDirectDraw7* dd = nullptr;
    IDirectDrawSurface7* main_surface = nullptr;
    IDirectDrawSurface7* src_surface = nullptr;
    // 500 × 768, made only for windowed connections (the information page draws on it).
    IDirectDrawSurface7* inf_surface = nullptr;
    HRESULT dx_result = DD_OK;
    // Set by the caller before it opens: exclusive full-screen (1) or a window (0).
    int exclusive = 0;
    // A connection is open; the frame's display-switch watcher reads it.
    int dd_open = 0;
    // Open only to fill the options page's display-mode list: no surfaces.
    int list_modes = 0;
    // Refresh rate in Hz of a switch to the chosen mode; the options page preselects by it.
    int refresh_rate = 0;
    // The user went on in the current display mode after the switch to the asked one failed.
    int mode_kept = 0;
    DDSURFACEDESC2 surface_desc{};
    DDPIXELFORMAT pixel_format{};
    ChannelLayout channels;
    HWND owner = nullptr;
};
extern DirectDrawState directx;

// DirectDrawCreateEx for the primary display driver, asking for IDirectDraw7. ddraw.dll is
// bound when first needed, so that the program starts on a system without DirectDraw and
// reports it there; DDERR_NODIRECTDRAWSUPPORT when the library or its entry is missing.
HRESULT create_direct_draw(IDirectDraw7** dd);

// Opens the connection for a mode of the given size and bits; 1 on success, 0 on a failure
// that has been reported.
int init_directx(int width, int height, int bits);
// Closes what is open; harmless on a closed connection. Always 1.
int CleanDirectX();
// Names the code, logs and shows "<message> code=<hex> , error= <name>", and closes the
// connection.
void GetDxError(const char* message, HRESULT code);

// Conversions between 0x00BBGGRR colours and pixels of the source surface's format.
uint32_t colour_to_pixel(uint32_t colour);
uint32_t pixel_to_colour(uint32_t pixel);
