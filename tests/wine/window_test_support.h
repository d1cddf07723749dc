#pragma once
#include <windows.h>

#include <functional>
#include <vector>

#include "tests/wine/driver_window.h"
#include "ui/dialog.h"
// The window helpers of the driver library by their short names, and a scripted dialog of the
// test templates (tests/wine/ui_layer_test.rc).

using driver::capture;
using driver::capture_area;
using driver::click_tab;
using driver::kWait;
using driver::Picture;
using driver::press;
using driver::pump;
using driver::pump_until;
using driver::ScopedInstallDir;
using driver::settle;
using driver::TestThread;

// A modal dialog of template 203. It notes the messages that came before WM_INITDIALOG, gives
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
};
