#pragma once
#include "engine/blit_rules.h"
// The frame loop of the blit test, apart from DirectDraw: per frame one blit per tile position,
// then the relabelling of the tile. The work loop passes the real blit, the empty loop one that
// does nothing; both run through this one compiled loop, so that they differ only in the blit.

struct BlitCalls {
    // One blit; false ends the loop at once.
    bool (*blit)(void* context, const BlitRect& destination, const BlitRect& source);
    // Called after every frame's blits with the frame number.
    void (*relabel)(void* context, int frame);
    void* context;
};

struct BlitLoopResult {
    int frames = 0;       // frames whose blits and relabelling were all done
    bool failed = false;  // a blit failed
    BlitRect source{}, destination{}; // the rectangles of the failed blit
};

// Runs up to `frames` frames, reading `stop` before each one.
BlitLoopResult run_blit_frames(int frames, const volatile int* stop, const int x[kTilePositions],
                               const int y[kTilePositions], int width, int height,
                               const BlitCalls& calls);
