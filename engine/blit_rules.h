#pragma once
#include <cstdint>
// The arithmetic of the DirectDraw blit test, and the display-mode list's texts, apart from
// DirectDraw itself: the tile grid, the random tile positions, the capture point, the clipped
// rectangles, the frame count, the clamps and the speed.

constexpr int kTileSize = 128;
constexpr int kTilePositions = 2048;
// The capture point when no tile position lies on the screen.
constexpr int kDefaultCaptureX = 300;
constexpr int kDefaultCaptureY = 200;

struct TileGrid {
    int columns, rows;
};
// Tiles across and down that cover a mode: (width + 127) / 128 and (height + 127) / 128.
TileGrid tile_grid(int width, int height);

// Fills x[] and y[] with kTilePositions tile corners, each a multiple of 128 on the grid; for
// each i x is drawn first, then y: (random() mod columns) × 128, (random() mod rows) × 128.
void draw_tile_positions(int (*random)(), TileGrid grid, int x[kTilePositions],
                         int y[kTilePositions]);

struct Point {
    int x, y;
    bool operator==(const Point&) const = default;
};
// The first position whose whole tile lies within a screen of the given size; the default point
// (300, 200) when none does (a screen smaller than a tile takes it at once).
Point capture_point(const int x[kTilePositions], const int y[kTilePositions], int screen_width,
                    int screen_height);

struct BlitRect {
    int left, top, right, bottom;
    bool operator==(const BlitRect&) const = default;
};
// A blit's destination: the tile at (x, y), cut at the right and bottom of the mode.
BlitRect blit_destination(int x, int y, int width, int height);
// Its source: the same size from the top left of the source surface.
BlitRect blit_source(const BlitRect& destination);

// Frames of a test with work amount m: (5 × m) / 2, with 5 = 81920 / 128 / 128 (at least 1).
int blit_frames(int m);

// The share of the tile grid that lies on the screen, float32; only logged.
float effect_ratio(int width, int height);
// frames × 1000 × 2048 / 1024 × 128 × 128 / 1024 / dtgt × ((bits + 1) / 8), computed in long
// double and stored as float32; every blit counts as a full tile.
float blit_speed(int frames, uint32_t dtgt, int bits);
// The speed kept to 0.1 .. 9999.
float clamp_blit_speed(float speed);

// The display-mode list: modes narrower than 640, lower than 480 or of 14 bits or fewer are not
// listed.
bool mode_is_listed(int width, int height, int bits);
// "%dX%d %dbit %dHZ", or "%dX%d %dbit 默认刷新率" at refresh rate 0 (GBK text).
void mode_list_text(int width, int height, int bits, int refresh, char* out, int size);
