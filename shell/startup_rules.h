#pragma once
#include <string>
#include <string_view>
// Start-up's decisions that need no window: the installation call, the program directory and
// the frame's height for large system fonts.

// "help" as the first four characters of the command line, or the word between double quotes.
bool is_installation_call(std::string_view command_line);

// The directory of the executable: its GBK path cut at the last backslash. The path is walked
// character by character, since in GBK the second byte of a character may be a backslash (乗 is
// 81 5C).
std::string directory_of(std::string_view module_path);

struct FrameBounds {
    int left, top, right, bottom;
};
constexpr int kTallFrameHeight = 470;
constexpr int kSloganLimit = 395;
// The frame's window rectangle once the test page's last line is known: when that line's top
// lies more than 395 pixels below the frame's top (large system fonts), the frame becomes 470
// pixels high, centred vertically on the screen; otherwise it stays as it is.
FrameBounds fit_frame_height(FrameBounds frame, int slogan_top, int screen_height);
