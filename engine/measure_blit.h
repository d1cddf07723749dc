#pragma once
#include <windows.h>

#include <optional>
// The DirectDraw test, the last of a run: a captured 128 × 128 piece of the desktop is blitted
// 2048 times a frame to tile positions of the screen in exclusive full-screen mode; the speed is
// the pixel data moved per second in MB/s at the mode's bytes per pixel.

// The test holds the screen.
extern int ddraw_active;

// Runs the test with work amount m and display-mode choice 0 (1024 × 768 16-bit), 1 (the
// current mode) or 2 (the options page's chosen mode). `memory_dc` is the run's memory context;
// the capture is made in it and its selection given back. On a failure the connection is closed,
// the run flags cleared and the frame back where it stood; the reason has been logged or shown.
std::optional<float> blit_test(int m, int ddraw_mode, HDC memory_dc);
