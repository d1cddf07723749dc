#pragma once
#include <windows.h>
#include <gtest/gtest.h>

#include "pages/setup_page.h"
#include "shell/main_frame.h"
#include "shell/sheet.h"
#include "tests/wine/window_test_support.h"
#include "ui/app.h"
// The program's frame with its sheet and pages, made in the test process the way start-up makes
// them: the options page selected once and given the standard options, then the test page.

inline void create_test_frame() {
    ui::App::set_instance(GetModuleHandleW(nullptr));
    ASSERT_TRUE(main_frame.create());
    ASSERT_TRUE(create_property_sheet(main_frame.hwnd()));
    property_sheet.set_active_page(kSetupPageIndex);
    setup_page.set_start_options(1);
    RECT client{};
    GetClientRect(main_frame.hwnd(), &client);
    property_sheet.move_to(client);
    property_sheet.set_active_page(kTestPageIndex);
    ShowWindow(property_sheet.hwnd(), SW_SHOW);
    ShowWindow(main_frame.hwnd(), SW_SHOW);
    pump();
}
