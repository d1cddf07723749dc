#include "engine/blit_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/measure.h"

namespace {
// The frames of a unit of work: 81920 / 128 / 128 = 5, halved by blit_frames.
constexpr int kTilesPerUnit = std::max(1, 81920 / kTileSize / kTileSize);
constexpr float kMinBlitSpeed = 0.1f;
constexpr float kMaxBlitSpeed = 9999.0f;
} // namespace

TileGrid tile_grid(int width, int height) {
    return {(width + kTileSize - 1) / kTileSize, (height + kTileSize - 1) / kTileSize};
}

void draw_tile_positions(int (*random)(), TileGrid grid, int x[kTilePositions],
                         int y[kTilePositions]) {
    // A grid of no tiles only comes from a mode of no pixels; it draws the same numbers as a
    // single tile rather than dividing by zero.
    const int columns = std::max(1, grid.columns);
    const int rows = std::max(1, grid.rows);
    for (int i = 0; i < kTilePositions; ++i) {
        // Two statements, so that x takes the first number of each pair.
        x[i] = random() % columns * kTileSize;
        y[i] = random() % rows * kTileSize;
    }
}

Point capture_point(const int x[kTilePositions], const int y[kTilePositions], int screen_width,
                    int screen_height) {
    for (int i = 0; i < kTilePositions; ++i) {
        if (x[i] >= 0 && x[i] <= screen_width - kTileSize && y[i] >= 0 &&
            y[i] <= screen_height - kTileSize)
            return {x[i], y[i]};
    }
    return {kDefaultCaptureX, kDefaultCaptureY};
}

BlitRect blit_destination(int x, int y, int width, int height) {
    return {x, y, std::min(x + kTileSize, width), std::min(y + kTileSize, height)};
}

BlitRect blit_source(const BlitRect& destination) {
    return {0, 0, destination.right - destination.left, destination.bottom - destination.top};
}

int blit_frames(int m) {
    return kTilesPerUnit * m / 2;
}

float effect_ratio(int width, int height) {
    TileGrid grid = tile_grid(width, height);
    if (grid.columns <= 0 || grid.rows <= 0)
        return 0.0f;
    return static_cast<float>(width * 1.0 * height / grid.columns / grid.rows / kTileSize /
                              kTileSize);
}

float blit_speed(int frames, uint32_t dtgt, int bits) {
    // The caller has already kept the time to at least 10 ms; a time that has not been kept
    // counts as that floor instead of dividing by zero.
    dtgt = std::max(dtgt, kMinDtgt);
    // Bytes a pixel, truncated: 15 and 16 bits are both 2.
    const int bytes = (bits + 1) / 8;
    long double speed = frames * 1000.0L * kTilePositions / 1024.0L * kTileSize * kTileSize /
                        1024.0L / dtgt * bytes;
    return static_cast<float>(speed);
}

float clamp_blit_speed(float speed) {
    // Written so that NaN, which compares false with everything, falls to the floor.
    if (!(speed >= kMinBlitSpeed))
        return kMinBlitSpeed;
    return std::min(speed, kMaxBlitSpeed);
}

bool mode_is_listed(int width, int height, int bits) {
    return width >= 640 && height >= 480 && bits > 14;
}

void mode_list_text(int width, int height, int bits, int refresh, char* out, int size) {
    if (out == nullptr || size <= 0)
        return;
    if (refresh == 0)
        std::snprintf(out, static_cast<size_t>(size), "%dX%d %dbit 默认刷新率", width, height,
                      bits);
    else
        std::snprintf(out, static_cast<size_t>(size), "%dX%d %dbit %dHZ", width, height, bits,
                      refresh);
}
