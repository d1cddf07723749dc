#include "shell/startup_rules.h"

bool is_installation_call(std::wstring_view command_line) {
    return command_line.substr(0, 4) == L"help" || command_line.substr(0, 6) == L"\"help\"";
}

std::wstring directory_of(std::wstring_view module_path) {
    size_t cut = module_path.rfind(L'\\');
    return std::wstring(module_path.substr(0, cut));
}

FrameBounds fit_frame_height(FrameBounds frame, int slogan_top, int screen_height) {
    if (slogan_top - frame.top <= kSloganLimit)
        return frame;
    frame.top = (screen_height - kTallFrameHeight) / 2;
    frame.bottom = (screen_height + kTallFrameHeight) / 2;
    return frame;
}
