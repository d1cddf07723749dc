#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>
// Driving windows of the test process itself: delivering its messages the program's way,
// clicks, keys, pictures of its windows and threads beside it.

namespace driver {

// How long a test waits for what the program does next: minutes, for a busy machine.
constexpr DWORD kWait = 120000;

// The installation folder pointed elsewhere (a folder without the help file or the pictures)
// while the owner lives.
class ScopedInstallDir {
public:
    explicit ScopedInstallDir(const char* dir);
    ScopedInstallDir(const ScopedInstallDir&) = delete;
    ScopedInstallDir& operator=(const ScopedInstallDir&) = delete;
    ~ScopedInstallDir();

private:
    std::string saved_;
};

// A thread of the test process that runs `body` and is joined when the owner goes (the runtime
// has no std::thread).
class TestThread {
public:
    explicit TestThread(std::function<void()> body);
    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;
    ~TestThread() { join(); }
    void join();

private:
    static DWORD WINAPI run(void* self);
    std::function<void()> body_;
    HANDLE handle_ = nullptr;
};

// The pixels of an area of a drawing context (a window's, or the screen's for null) as
// 0x00RRGGBB, rows top to bottom.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};
Picture capture_area(HWND hwnd, const RECT& r);
Picture capture(HWND hwnd); // the client area

// Delivers every pending message of the thread the way the program's loop does (dialog keys
// included).
void pump();
// Delivers the thread's messages for ms milliseconds, so that timers and posted messages run.
void settle(DWORD ms);
// Delivers the thread's messages until pred holds or timeout_ms pass; true when it held.
bool pump_until(const std::function<bool()>& pred, DWORD timeout_ms);

// Clicks a tab as a user would: button down and up at the centre of its rectangle.
void click_tab(HWND tab, int index);
// A key press (down and up) posted to the focused window and delivered.
void press(UINT key);

} // namespace driver
