#include "tests/wine/program_run.h"

#include "ui/gbk.h"

namespace driver {

namespace {
constexpr DWORD kPollMs = 250;
constexpr DWORD kCloseTimeoutMs = 30000;

void put(HANDLE out, const std::wstring& text) {
    DWORD mode = 0, done = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        return;
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                        nullptr, nullptr);
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}
} // namespace

void print(const std::wstring& text) { put(GetStdHandle(STD_OUTPUT_HANDLE), text); }
void print_error(const std::wstring& text) { put(GetStdHandle(STD_ERROR_HANDLE), text); }

std::wstring caption(HWND hwnd) {
    wchar_t text[256];
    const int n = GetWindowTextW(hwnd, text, 256);
    return std::wstring(text, n > 0 ? static_cast<size_t>(n) : 0);
}

HWND find_dialog(DWORD pid, const wchar_t* wanted) {
    for (HWND hwnd : top_windows(pid, true))
        if (class_name(hwnd) == L"#32770" && caption(hwnd) == wanted)
            return hwnd;
    return nullptr;
}

std::optional<std::wstring> other_dialog(DWORD pid) {
    for (HWND hwnd : top_windows(pid, true)) {
        if (class_name(hwnd) != L"#32770")
            continue;
        const std::wstring text = caption(hwnd);
        if (text == kWelcomeCaption || text == kScoreCaption)
            continue;
        HWND message = GetDlgItem(hwnd, 0xFFFF);
        return L"\"" + text + L"\"" +
               (message != nullptr ? L": " + window_text(message) : std::wstring());
    }
    return std::nullopt;
}

void wait_for_run(const Process& kalvit, const std::wstring& log, const std::wstring& what,
                  const std::function<bool()>& done) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return;
        if (!kalvit.running())
            throw RunFailure(what + L": kalvit.exe " + describe_state(kalvit));
        if (std::optional<std::wstring> box = other_dialog(kalvit.id()))
            throw RunFailure(what + L": kalvit.exe shows " + *box);
        for (const std::string& line : read_log_lines(log))
            if (line.rfind("*****Error:", 0) == 0)
                throw RunFailure(what + L": the log says " + to_wide(line));
        if (GetTickCount() - start >= kRunTimeoutMs)
            throw RunFailure(what + L": not within " + std::to_wstring(kRunTimeoutMs / 60000) +
                             L" minutes; kalvit.exe " + describe_state(kalvit));
        Sleep(kPollMs);
    }
}

SavedProfile::SavedProfile()
    : pre_test_(profile_dword(L"pre_test_flag")), install_dir_(profile_string(L"install_dir")) {}

SavedProfile::~SavedProfile() {
    if (pre_test_)
        set_profile_dword(L"pre_test_flag", *pre_test_);
    else
        delete_profile_value(L"pre_test_flag");
    if (install_dir_)
        set_profile_string(L"install_dir", *install_dir_);
    else
        delete_profile_value(L"install_dir");
}

void end_program(Process& kalvit, HWND frame) {
    if (frame != nullptr && IsWindow(frame))
        close_window(frame);
    if (!kalvit.wait_exit(kCloseTimeoutMs)) {
        print_error(L"kalvit.exe did not end after WM_CLOSE; terminating it\n");
        kalvit.terminate();
    }
}

} // namespace driver
