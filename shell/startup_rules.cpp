#include "shell/startup_rules.h"

bool is_installation_call(std::string_view command_line) {
    return command_line.substr(0, 4) == "help" || command_line.substr(0, 6) == "\"help\"";
}

std::string directory_of(std::string_view module_path) {
    size_t cut = std::string_view::npos;
    for (size_t at = 0; at < module_path.size(); ++at) {
        const auto c = static_cast<unsigned char>(module_path[at]);
        if (c >= 0x81 && c <= 0xFE)
            ++at;
        else if (c == '\\')
            cut = at;
    }
    return std::string(module_path.substr(0, cut));
}

FrameBounds fit_frame_height(FrameBounds frame, int slogan_top, int screen_height) {
    if (slogan_top - frame.top <= kSloganLimit)
        return frame;
    frame.top = (screen_height - kTallFrameHeight) / 2;
    frame.bottom = (screen_height + kTallFrameHeight) / 2;
    return frame;
}
