#pragma once
#include <cstdint>
// A surface's pixel format reduced to what the colour conversions need: for red, green and blue
// the position of the lowest bit of its mask and 2 to the number of bits in it.

struct ChannelLayout {
    int shift[3] = {0, 0, 0}; // red, green, blue
    int scale[3] = {1, 1, 1};
};

// Walks bits 0..31: a bit of the red mask sets the red shift the first time and doubles the red
// scale; otherwise the same for green, then for blue.
ChannelLayout analyse_masks(uint32_t red_mask, uint32_t green_mask, uint32_t blue_mask);

// 0x00BBGGRR to the surface's pixel value: Σ ((channel × scale) >> 8) << shift.
uint32_t colour_to_pixel(const ChannelLayout& layout, uint32_t colour);
// A pixel value to 0x00BBGGRR: per channel ((pixel >> shift) << 8) / scale, kept to 8 bits.
uint32_t pixel_to_colour(const ChannelLayout& layout, uint32_t pixel);
