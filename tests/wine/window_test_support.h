#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/handles.h"
#include "shell/app_globals.h"
// Driving windows of the test process itself.

// The installation folder pointed elsewhere (a folder without the help file or the pictures)
// while the owner lives.
class ScopedInstallDir {
public:
    explicit ScopedInstallDir(const char* dir) : saved_(install_dir) { set(dir); }
    ScopedInstallDir(const ScopedInstallDir&) = delete;
    ScopedInstallDir& operator=(const ScopedInstallDir&) = delete;
    ~ScopedInstallDir() { set(saved_.c_str()); }

private:
    static void set(const char* dir) { std::snprintf(install_dir, sizeof install_dir, "%s", dir); }
    std::string saved_;
};

// A thread of the test process that runs `body` and is joined when the owner goes. The runtime
// has no std::thread (its threads are the Windows ones, without a POSIX layer that newer
// Windows functions would come with).
class TestThread {
public:
    explicit TestThread(std::function<void()> body) : body_(std::move(body)) {
        handle_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
        if (handle_ == nullptr)
            throw std::runtime_error("CreateThread failed");
    }
    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;
    ~TestThread() { join(); }
    void join() {
        if (handle_ != nullptr) {
            WaitForSingleObject(handle_, INFINITE);
            CloseHandle(handle_);
            handle_ = nullptr;
        }
    }

private:
    static DWORD WINAPI run(void* self) {
        static_cast<TestThread*>(self)->body_();
        return 0;
    }
    std::function<void()> body_;
    HANDLE handle_ = nullptr;
};

// The pixels of a window's client area as 0x00RRGGBB, rows top to bottom.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};
// The pixels of an area of a drawing context (a window's, or the screen's for null).
inline Picture capture_area(HWND hwnd, const RECT& r) {
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
inline Picture capture(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return capture_area(hwnd, r);
}

// Pumps for a while as the program's loop would, so that timers and posted messages run. The
// time is also looked at between messages: a timer whose handling outlasts its period is due
// again after every message, and would keep the inner loop going for ever.
inline void settle(DWORD ms) {
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

// Delivers every pending message of the thread.
inline void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Clicks a tab as a user would: button down and up at the centre of its rectangle.
inline void click_tab(HWND tab, int index) {
    RECT r{};
    SendMessageW(tab, TCM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tab, WM_LBUTTONUP, 0, at);
    pump();
}

// Posts a key press (down and up) to the focused window and delivers the queue the way the
// program's message loop does, dialog keyboard handling included.
inline void press(UINT key) {
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ui::App::process(msg);
}

// A modal dialog of template 203 (tests/wine/ui_layer_test.rc). It notes the messages that came before WM_INITDIALOG, gives
// its owner-drawn rows their height, and once shown runs `while_open` and ends. Command 1234 throws.
class ScriptedDialog : public ui::ModalDialog {
public:
    ScriptedDialog() : ModalDialog(203) {}
    std::vector<UINT> before_init;
    bool initialised = false;
    int row_height = 0;
    std::function<void(ScriptedDialog&)> while_open;

protected:
    INT_PTR dialog_proc(UINT message, WPARAM wparam, LPARAM lparam) override {
        if (!initialised && message != WM_INITDIALOG)
            before_init.push_back(message);
        switch (message) {
        case WM_MEASUREITEM:
            reinterpret_cast<MEASUREITEMSTRUCT*>(lparam)->itemHeight = 21;
            return TRUE;
        case WM_INITDIALOG:
            initialised = true;
            PostMessageW(hwnd(), WM_APP, 0, 0);
            break;
        case WM_APP:
            row_height = static_cast<int>(SendMessageW(item(1101), LB_GETITEMHEIGHT, 0, 0));
            if (while_open)
                while_open(*this);
            end(IDOK);
            return TRUE;
        default:
            break;
        }
        return ModalDialog::dialog_proc(message, wparam, lparam);
    }
    bool on_command(int id, int code, HWND control) override {
        if (id == 1234)
            throw std::runtime_error("command failed");
        return ModalDialog::on_command(id, code, control);
    }
};
