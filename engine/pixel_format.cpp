#include "engine/pixel_format.h"

// The arithmetic is unsigned and 64 bits wide: a channel of many bits makes scales up to 2^32
// and shifts up to 31, which would overflow or shift into the sign bit of an int.

ChannelLayout analyse_masks(uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask) {
    const uint32_t masks[3] = {red_mask, green_mask, blue_mask};
    uint64_t scale[3] = {1, 1, 1};
    ChannelLayout layout;
    for (int i = 0; i < 32; ++i) {
        const uint32_t bit = 1u << i;
        // A bit shared by two masks belongs to the first of red, green, blue.
        for (int c = 0; c < 3; ++c) {
            if (masks[c] & bit) {
                // Still 1: this is the channel's lowest bit.
                if (scale[c] == 1)
                    layout.shift[c] = i;
                scale[c] *= 2;
                break;
            }
        }
    }
    // A 32-bit mask's scale of 2^32 does not fit and is kept as 0 (see the conversions).
    for (int c = 0; c < 3; ++c)
        layout.scale[c] = static_cast<int>(static_cast<uint32_t>(scale[c]));
    return layout;
}

namespace {
uint64_t scale_of(const ChannelLayout& layout, int c) {
    uint64_t scale = static_cast<uint32_t>(layout.scale[c]);
    return scale == 0 ? uint64_t{1} << 32 : scale;
}
int shift_of(const ChannelLayout& layout, int c) {
    return layout.shift[c] & 31;
}
} // namespace

uint32_t colour_to_pixel(const ChannelLayout& layout, uint32_t colour) {
    uint64_t pixel = 0;
    for (int c = 0; c < 3; ++c) {
        const uint64_t value = (colour >> (8 * c)) & 0xFF;
        pixel += ((value * scale_of(layout, c)) >> 8) << shift_of(layout, c);
    }
    return static_cast<uint32_t>(pixel);
}

uint32_t pixel_to_colour(const ChannelLayout& layout, uint32_t pixel) {
    uint32_t colour = 0;
    for (int c = 0; c < 3; ++c) {
        // The bits above the channel go up with it and are cut off by the mask; the scale is a
        // power of two, so the division is a shift.
        const uint64_t value =
            (static_cast<uint64_t>(pixel >> shift_of(layout, c)) << 8) / scale_of(layout, c);
        colour |= static_cast<uint32_t>(value & 0xFF) << (8 * c);
    }
    return colour;
}
