#pragma once
#include <cstdint>
#include <functional>
// How the logo and the score are laid out, without a window: the logo keyed to the window face,
// and the score text centred on its first four characters.

// Pixels as 0x00RRGGBB, rows top to bottom. Every pixel whose channel sum is less than 100 below
// that of the pixel at column 1, row 1 (the key, read before any pixel changes) becomes `face`
// (also 0x00RRGGBB). A picture too small to have that pixel is left as it is.
void key_to_face(uint32_t* pixels, int width, int height, uint32_t face);

// The logo's place on a page: its right edge 40 pixels in from the client's right, its top 80
// pixels above the client's bottom.
struct PixelRect {
    int left, top, right, bottom;
};
PixelRect test_page_logo_rect(int client_right, int client_bottom, int logo_width,
                              int logo_height);
// Strictly inside: a point on the border is outside.
bool strictly_inside(const PixelRect& r, int x, int y);

// The score dialog's text: mark in "%4.2f", drawn so that its first four characters are centred
// in the client area. `measure` gives the width and height of the first n characters.
struct TextSize {
    int width, height;
};
struct ScoreText {
    char text[32];
    int x, y;
};
ScoreText layout_score(float mark, int client_width, int client_height,
                       const std::function<TextSize(const char* text, int count)>& measure);
