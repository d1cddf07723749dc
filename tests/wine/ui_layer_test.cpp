// The thin Win32 layer on its own: templates, texts, the property sheet's page changes and
// refusals, and where commands go.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/app.h"
#include "ui/dialog_template.h"
#include "ui/property_sheet.h"
#include "tests/wine/window_test_support.h"
#include "ui/text.h"

namespace {


class Parent : public ui::Window {
public:
    std::vector<int> commands;
    bool open() {
        register_class(L"KalvitLayerTestParent", nullptr, LoadCursorW(nullptr, IDC_ARROW),
                       reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        return create(0, L"KalvitLayerTestParent", L"parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                      0, 500, 300, nullptr, nullptr);
    }

protected:
    LRESULT window_proc(UINT message, WPARAM wparam, LPARAM lparam) override {
        if (message == WM_COMMAND) {
            commands.push_back(LOWORD(wparam));
            return 0;
        }
        return default_proc(message, wparam, lparam);
    }
};

class Page : public ui::PropertyPage {
public:
    using PropertyPage::PropertyPage;
    bool refuse_show = false;
    bool refuse_leave = false;
    int shown = 0;
    bool on_set_active() override {
        ++shown;
        return !refuse_show;
    }
    bool on_kill_active() override { return !refuse_leave; }

protected:
    bool on_command(int id, int, HWND) override { return id == 32772; }
};

std::string tab_text(HWND tab, int index) {
    wchar_t buffer[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buffer;
    item.cchTextMax = 64;
    SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return to_gbk(buffer);
}


class UiLayer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ui::App::set_instance(GetModuleHandleW(nullptr)); }
};

TEST_F(UiLayer, TemplateCaptionsAndChildStyle) {
    ui::DialogTemplate extended(201);
    ASSERT_FALSE(extended.empty());
    EXPECT_EQ(extended.caption(), "   测试页   ");
    ui::DialogTemplate plain(202);
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(plain.caption(), "选项设置");
    plain.make_child();
    DWORD style = plain.get()->style;
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_FALSE(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU));
    EXPECT_TRUE(ui::DialogTemplate(999).empty());
}

TEST_F(UiLayer, TextsCrossTheBoundaryAsGbk) {
    Parent parent;
    ASSERT_TRUE(parent.open());
    ui::set_text(parent.hwnd(), "基本系统: 联想奔月4000 PIII650E");
    wchar_t wide[64] = {};
    GetWindowTextW(parent.hwnd(), wide, 64);
    EXPECT_STREQ(wide, L"基本系统: 联想奔月4000 PIII650E");
    EXPECT_EQ(ui::get_text(parent.hwnd()), "基本系统: 联想奔月4000 PIII650E");
}

TEST_F(UiLayer, SheetChangesPagesAndHonoursRefusals) {
    Parent parent;
    ASSERT_TRUE(parent.open());
    Page first(201), second(202);
    ui::PropertySheet sheet;
    sheet.add_page(&first);
    sheet.add_page(&second);
    ASSERT_TRUE(sheet.create(parent.hwnd(), "Sheet", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0));
    RECT client{0, 0, 480, 260};
    sheet.move_to(client);

    HWND tab = sheet.tab();
    ASSERT_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(tab_text(tab, 0), "   测试页   ");
    EXPECT_EQ(tab_text(tab, 1), "选项设置");
    EXPECT_EQ(sheet.active_index(), 0);
    EXPECT_NE(first.hwnd(), nullptr);
    EXPECT_EQ(second.hwnd(), nullptr) << "pages are created when first shown";

    // The page that is shown refuses: nothing changes, not even the tab.
    second.refuse_show = true;
    click_tab(tab, 1);
    EXPECT_EQ(sheet.active_index(), 0);
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(second.shown, 1);
    EXPECT_TRUE(IsWindowVisible(first.hwnd()));

    second.refuse_show = false;
    click_tab(tab, 1);
    EXPECT_EQ(sheet.active_index(), 1);
    EXPECT_TRUE(IsWindowVisible(second.hwnd()));
    EXPECT_FALSE(IsWindowVisible(first.hwnd()));
    EXPECT_EQ(ui::get_text(GetDlgItem(second.hwnd(), 1060)),
              "启动程序时进行预备测试（测试时间更确定）");

    // The page that is left refuses: it stays, by click and by call alike.
    second.refuse_leave = true;
    click_tab(tab, 0);
    EXPECT_EQ(sheet.active_index(), 1);
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_FALSE(sheet.set_active_page(0));
    second.refuse_leave = false;
    EXPECT_TRUE(sheet.set_active_page(0));
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_FALSE(sheet.set_active_page(7));
}

TEST_F(UiLayer, UnhandledCommandsGoThroughTheSheetToItsParent) {
    Parent parent;
    ASSERT_TRUE(parent.open());
    Page first(201);
    ui::PropertySheet sheet;
    sheet.add_page(&first);
    ASSERT_TRUE(sheet.create(parent.hwnd(), "Sheet", WS_CHILD | WS_VISIBLE, 0, 0));
    SendMessageW(GetDlgItem(first.hwnd(), 32771), BM_CLICK, 0, 0);
    SendMessageW(GetDlgItem(first.hwnd(), 32772), BM_CLICK, 0, 0);
    pump();
    ASSERT_EQ(parent.commands, std::vector<int>{32771}) << "32772 is the page's own";
}

} // namespace
