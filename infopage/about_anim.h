#pragma once
#include <string>
// The information page's animation without the screen: the size the picture is drawn at, the
// colours of the scrolling stripes, which logo frame swings in, where the information text has
// scrolled to, how fast frames come, and the version and author texts.

// The picture is drawn in whole groups of four pixels: each side rounds down to a multiple of 4.
int picture_side(int pixels);

// The green of the stripe at column x after `frame_count` frames, in a picture `width` wide:
// with half = width / 2 and quarter = half / 2, d = (x + frame_count) mod half rises from 32 by
// 64 / quarter per column up to the middle and falls back down again over the second quarter.
// The stripes are drawn in red 112, this green and blue 208. 0 when the picture is too narrow to
// have a quarter.
int stripe_green(int x, long frame_count, int width);
constexpr int kStripeRed = 112;
constexpr int kStripeBlue = 208;

// The logo frame (0 to 3) shown after `frame_count` frames: the logo swings from frame 3 down
// to frame 0 and back every 160 frames.
int sprite_frame(long frame_count);

// The information text is 700 rows that scroll up one row every 8 frames through a window of
// 185 rows at row 85 of the picture, starting 23 rows before the top of the text.
constexpr int kInfoTextRows = 700;
constexpr int kInfoWindowTop = 85;
constexpr int kInfoWindowRows = 185;
constexpr int kInfoWindowLeft = 50;
constexpr int kInfoColumns = 500;
int info_scroll_offset(long frame_count);

// The rows of the text surface that go into the window, in one piece or, when the offset is too
// near the end, in two: the rest of the text, then its top continuing below. Rows are top and
// bottom edges: top included, bottom excluded.
struct RowCopy {
    int source_top, source_bottom;
    int dest_top, dest_bottom;
};
struct InfoBlit {
    int count;
    RowCopy copies[2];
};
InfoBlit info_blit(int offset);

// Frames drawn and the rate they come at. The page asks `admit` before each step and calls
// `count` for each frame drawn; the clock is in milliseconds, and the time spent minimised since
// the start is kept out of it.
class FrameClock {
public:
    static constexpr int kMaxRate = 100;
    static constexpr long kMinElapsed = 50;

    void start(long now) {
        start_ = now;
        frames_ = 0;
        rate_ = 0;
    }
    // True when a step may draw. Above 100 frames a second the step is skipped, and the rate
    // taken as 100 until the next frame measures it again: at 150, every other call draws.
    bool admit();
    // A frame has been drawn at `now`: the count grows and the rate is frames × 1000 over the
    // elapsed time (less the time paused, at least 50 ms).
    void count(long now, long paused);

    long frames() const { return frames_; }
    int rate() const { return rate_; }
    void set_rate(int rate) { rate_ = rate; }

private:
    long start_ = 0;
    long frames_ = 0;
    int rate_ = 0;
};

// Whether the application's idle handler draws a frame, and whether it asks for more idle time.
// The NT family runs the animation from its timer alone; elsewhere every thousandth idle call
// draws, while the frame rate is at most 101 and the main window is not minimised.
struct IdleChoice {
    bool draw;
    bool more;
};
IdleChoice about_idle_choice(bool nt_family, long idle_count, int frame_rate, bool minimized,
                             bool frame_is_active);

// The version text in two pieces: the first 14 bytes at the left, the rest from byte 15 at the
// right. Neither piece cuts a GBK character in two: the left piece ends before a character that
// would cross byte 14, and the right one starts at the first character that begins at byte 15 or
// later. A text of 15 bytes or fewer has no right piece.
struct VersionPieces {
    std::string left;
    std::string right;
    int length; // of the whole text, which places the right piece
};
VersionPieces split_version(const char* text);
// Where the right piece starts: 8 pixels a byte of the whole text in from the picture's right,
// plus 100.
inline int version_right_x(int width, int length) { return width - 8 * length + 100; }

// The web-site line: its hot area in page coordinates for a picture W × H.
bool over_site_line(int width, int height, int x, int y);
