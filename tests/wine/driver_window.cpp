#include "tests/wine/driver_window.h"

#include <commctrl.h>

#include <cstdio>
#include <stdexcept>
#include <utility>

#include "shell/app_globals.h"
#include "tests/wine/driver.h"
#include "ui/app.h"
#include "ui/handles.h"

namespace driver {

namespace {
void set_install_dir(const char* dir) { std::snprintf(install_dir, sizeof install_dir, "%s", dir); }
} // namespace

ScopedInstallDir::ScopedInstallDir(const char* dir) : saved_(install_dir) { set_install_dir(dir); }
ScopedInstallDir::~ScopedInstallDir() { set_install_dir(saved_.c_str()); }

TestThread::TestThread(std::function<void()> body) : body_(std::move(body)) {
    handle_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
    if (handle_ == nullptr)
        throw std::runtime_error("CreateThread failed");
}

void TestThread::join() {
    if (handle_ != nullptr) {
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
        handle_ = nullptr;
    }
}

DWORD WINAPI TestThread::run(void* self) {
    static_cast<TestThread*>(self)->body_();
    return 0;
}

Picture capture_area(HWND hwnd, const RECT& r) {
    Picture p;
    p.width = r.right - r.left;
    p.height = r.bottom - r.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), p.width, -p.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    ui::WindowDc dc(hwnd);
    ui::MemoryDc memory(CreateCompatibleDC(dc.get()));
    ui::Bitmap dib(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || bits == nullptr)
        return p;
    {
        ui::ScopedSelect select(memory.get(), dib.get());
        BitBlt(memory.get(), 0, 0, p.width, p.height, dc.get(), r.left, r.top, SRCCOPY);
    }
    GdiFlush();
    const auto* px = static_cast<const uint32_t*>(bits);
    p.pixels.assign(px, px + static_cast<size_t>(p.width) * static_cast<size_t>(p.height));
    for (uint32_t& v : p.pixels)
        v &= 0xFFFFFF;
    return p;
}

Picture capture(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return capture_area(hwnd, r);
}

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ui::App::process(msg);
}

// The time is looked at between messages too: a timer whose handling outlasts its period is due
// again after every message and would keep the inner loop going for ever.
void settle(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ui::App::process(msg);
            if (GetTickCount() - start >= ms)
                break;
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

bool pump_until(const std::function<bool()>& pred, DWORD timeout_ms) {
    return wait_until(
        [&] {
            settle(10);
            return pred();
        },
        timeout_ms);
}

void click_tab(HWND tab, int index) {
    RECT r{};
    SendMessageW(tab, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tab, WM_LBUTTONUP, 0, at);
    pump();
}

void press(UINT key) {
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    pump();
}

} // namespace driver
