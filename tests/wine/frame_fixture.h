#pragma once
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "pages/setup_page.h"
#include "shell/app_globals.h"
#include "shell/log.h"
#include "shell/main_frame.h"
#include "shell/sheet.h"
#include "tests/read_all.h"
#include "tests/wine/driver.h"
#include "tests/wine/window_test_support.h"
#include "ui/app.h"
#include "ui/gbk.h"
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

// The installation folder: a folder of the Linux side, as the program's GBK path.
inline void set_install_dir(const char* unix_dir) {
    std::snprintf(install_dir, sizeof install_dir, "%s",
                  to_gbk(driver::from_unix_path(unix_dir)).c_str());
}

// A log file of the test's own, attached while it lives.
class TestLog {
public:
    TestLog() { open(); }
    TestLog(const TestLog&) = delete;
    TestLog& operator=(const TestLog&) = delete;
    ~TestLog() { close(); }
    std::string text() const { return read_all(file_); }
    void restart() {
        close();
        open();
    }

private:
    void open() {
        file_ = std::tmpfile();
        log_attach(file_);
    }
    void close() {
        log_close();
        std::fclose(file_);
    }
    FILE* file_ = nullptr;
};
