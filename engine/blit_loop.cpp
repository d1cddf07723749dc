#include "engine/blit_loop.h"

// Never inlined into its callers: the empty loop's blit is a call through a pointer that does
// nothing, and the rectangles it is given are computed as in the work loop.
__attribute__((noinline)) BlitLoopResult
run_blit_frames(int frames, const volatile int* stop, const int x[kTilePositions],
                const int y[kTilePositions], int width, int height, const BlitCalls& calls) {
    BlitLoopResult result;
    for (int frame = 0; frame < frames && !*stop; ++frame) {
        for (int i = 0; i < kTilePositions; ++i) {
            const BlitRect destination = blit_destination(x[i], y[i], width, height);
            const BlitRect source = blit_source(destination);
            if (!calls.blit(calls.context, destination, source)) {
                result.failed = true;
                result.source = source;
                result.destination = destination;
                return result;
            }
        }
        calls.relabel(calls.context, frame);
        result.frames = frame + 1;
    }
    return result;
}
