#include "analysis/picture_rules.h"

#include <cstring>

#include "engine/model.h"

namespace {
int channel_sum(uint32_t rgb) {
    return static_cast<int>(((rgb >> 16) & 0xFF) + ((rgb >> 8) & 0xFF) + (rgb & 0xFF));
}
} // namespace

void key_to_face(uint32_t* pixels, int width, int height, uint32_t face) {
    if (pixels == nullptr || width < 2 || height < 2)
        return;
    const int key = channel_sum(pixels[width + 1]);
    const long long count = static_cast<long long>(width) * height;
    for (long long i = 0; i < count; ++i) {
        if (key - channel_sum(pixels[i]) < 100)
            pixels[i] = face;
    }
}

PixelRect test_page_logo_rect(int client_right, int client_bottom, int logo_width,
                              int logo_height) {
    PixelRect r{};
    r.right = client_right - 40;
    r.left = r.right - logo_width;
    r.top = client_bottom - 80;
    r.bottom = r.top + logo_height;
    return r;
}

bool strictly_inside(const PixelRect& r, int x, int y) {
    return r.left < x && x < r.right && r.top < y && y < r.bottom;
}

ScoreText layout_score(float mark, int client_width, int client_height,
                       const std::function<TextSize(const char*, int)>& measure) {
    ScoreText score{};
    format_mark(mark, score.text, sizeof score.text);
    const int length = static_cast<int>(std::strlen(score.text));
    TextSize size = measure(score.text, length < 4 ? length : 4);
    score.x = (client_width - size.width) / 2;
    score.y = (client_height - size.height) / 2;
    return score;
}
