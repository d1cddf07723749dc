#pragma once
#include <windows.h>

#include <string>

#include "tests/wine/driver.h"
#include "tests/wine/driver_window.h"

// A display that refuses the switch to 1024 × 768 at 16 bits (as a 32-bit prefix's does) makes
// the program report it and ask whether to go on. The user says Yes, and the test continues in
// the screen's own mode; every other box is left to the tests.
class SwitchRefusalAnswerer {
public:
    explicit SwitchRefusalAnswerer(DWORD pid)
        : thread_([this, pid] {
              while (InterlockedCompareExchange(&stop_, 0, 0) == 0) {
                  answer(pid);
                  Sleep(100);
              }
          }) {}
    SwitchRefusalAnswerer(const SwitchRefusalAnswerer&) = delete;
    SwitchRefusalAnswerer& operator=(const SwitchRefusalAnswerer&) = delete;
    ~SwitchRefusalAnswerer() {
        InterlockedExchange(&stop_, 1);
        thread_.join();
    }

private:
    static void answer(DWORD pid) {
        for (HWND box : driver::top_windows(pid, true)) {
            const std::wstring text = driver::window_text(GetDlgItem(box, 0xFFFF));
            int button = 0;
            if (text.rfind(L"*****Error: SetDisplayMode()失败! ", 0) == 0)
                button = IDOK;
            else if (text == L"继续进行测试吗？")
                button = IDYES;
            if (button != 0 && GetDlgItem(box, button) != nullptr)
                PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
        }
    }
    volatile LONG stop_ = 0;
    driver::TestThread thread_;
};
