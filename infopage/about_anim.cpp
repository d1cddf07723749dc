#include "infopage/about_anim.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "ui/gbk.h"

namespace {
constexpr int kSwingPeriod = 160; // frames of one swing out and back
constexpr int kRowsPerStep = 8;   // frames for each row the information text scrolls
constexpr int kStartOffset = kInfoTextRows - kInfoWindowRows / kRowsPerStep; // 677
constexpr size_t kVersionLeft = 14;
constexpr size_t kVersionRightFrom = 15;

bool gbk_lead(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x81 && b <= 0xFE;
}
} // namespace

int picture_side(int pixels) { return pixels > 0 ? pixels / 4 * 4 : 0; }

int stripe_green(int x, long frame_count, int width) {
    const int half = width / 2;
    const int quarter = half / 2;
    if (quarter <= 0)
        return 0;
    const long d = (x + frame_count % half) % half;
    // Stored through volatile doubles, so that the x87 of the 32-bit build rounds the step and
    // the product as a 64-bit build does: the truncation then gives both the same colours.
    volatile double step = 64.0 / quarter;
    volatile double green = d < quarter ? 32 + step * static_cast<double>(d)
                                        : 160 - step * static_cast<double>(d);
    return static_cast<int>(green) & 0xFF;
}

int sprite_frame(long frame_count) {
    // (4 × count) mod 640 depends only on count mod 160, which keeps the product small.
    const long phase = frame_count % kSwingPeriod;
    const long g = std::labs(4 * phase - 320);
    if (g < 80)
        return 0;
    if (g < 160)
        return 1;
    if (g < 240)
        return 2;
    return 3;
}

int info_scroll_offset(long frame_count) {
    return static_cast<int>((frame_count / kRowsPerStep + kStartOffset) % kInfoTextRows);
}

InfoBlit info_blit(int offset) {
    const int window_bottom = kInfoWindowTop + kInfoWindowRows;
    const int last_whole = kInfoTextRows - kInfoWindowRows; // 515
    if (offset <= last_whole)
        return {1, {{offset, offset + kInfoWindowRows, kInfoWindowTop, window_bottom}, {}}};
    const int split = kInfoWindowTop + kInfoTextRows - offset; // 785 - offset
    return {2,
            {{offset, kInfoTextRows, kInfoWindowTop, split},
             {0, offset - last_whole, split, window_bottom}}};
}

bool FrameClock::admit() {
    if (rate_ > kMaxRate) {
        rate_ = kMaxRate;
        return false;
    }
    return true;
}

void FrameClock::count(long now, long paused) {
    long elapsed = now - start_ - paused;
    if (elapsed < kMinElapsed)
        elapsed = kMinElapsed;
    ++frames_;
    rate_ = static_cast<int>(static_cast<long long>(frames_) * 1000 / elapsed);
}

IdleChoice about_idle_choice(bool nt_family, long idle_count, int frame_rate, bool minimized,
                             bool frame_is_active) {
    if (nt_family || frame_rate > 101 || minimized)
        return {false, false};
    return {idle_count % 1000 == 0, frame_is_active};
}

VersionPieces split_version(const char* text) {
    const std::string_view all(text);
    VersionPieces pieces;
    pieces.length = static_cast<int>(all.size());
    pieces.left.assign(all.substr(0, gbk_fit_length(all, kVersionLeft)));
    size_t from = 0;
    while (from < all.size() && from < kVersionRightFrom)
        from += gbk_lead(all[from]) ? 2 : 1;
    if (from < all.size())
        pieces.right.assign(all.substr(from));
    return pieces;
}

bool over_site_line(int width, int height, int x, int y) {
    return width - 380 < x && x < width - 10 && height - 10 < y && y < height + 14;
}
