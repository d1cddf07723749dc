// The thin Win32 layer on its own: templates, texts, the property sheet's page changes and
// refusals, and where commands go.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/app.h"
#include "ui/dialog_template.h"
#include "ui/property_sheet.h"
#include "tests/wine/window_test_support.h"
#include "ui/gbk.h"
#include "ui/late_bound.h"
#include "ui/text_api.h"

namespace {

class Parent : public ui::Window {
public:
    std::vector<int> commands;
    bool open() {
        register_class("KalvitLayerTestParent", nullptr, LoadCursorW(nullptr, IDC_ARROW),
                       reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        return create(0, "KalvitLayerTestParent", "parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
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
    std::vector<int> commands; // every command the page saw, handled or not
    bool refuse_show = false;
    bool refuse_leave = false;
    int shown = 0;
    bool on_set_active() override {
        ++shown;
        return !refuse_show;
    }
    bool on_kill_active() override { return !refuse_leave; }

protected:
    bool on_command(int id, int, HWND) override {
        commands.push_back(id);
        return id == 32772;
    }
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
    // Both forms read to their last control: 16-bit ids and no help ids in the plain one.
    for (const ui::DialogTemplate* t : {&extended, &plain}) {
        ui::DialogTemplate::Layout layout = t->layout();
        EXPECT_TRUE(layout.complete);
        EXPECT_EQ(layout.font_points, 9);
        EXPECT_EQ(layout.font_face, "宋体");
        ASSERT_FALSE(layout.controls.empty());
        const ui::DialogTemplate::Control& last = layout.controls.back();
        EXPECT_EQ(last.class_atom, 0x80);
        EXPECT_EQ(last.id, t == &plain ? 1060 : 32772);
        EXPECT_EQ(last.text, t == &plain ? "启动程序时进行预备测试（测试时间更确定）" : "停止测试");
        EXPECT_EQ(last.x, t == &plain ? 10 : 80);
        EXPECT_EQ(last.cy, t == &plain ? 12 : 14);
    }
    plain.make_child();
    DWORD style = plain.get()->style;
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_FALSE(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU));
    EXPECT_TRUE(ui::DialogTemplate(999).empty());
}

TEST_F(UiLayer, TextsCrossAsGbkAndTheSheetChangesPagesAndHonoursRefusals) {
    Parent parent;
    ASSERT_TRUE(parent.open());
    ui::set_text(parent.hwnd(), "基本系统: 联想奔月4000 PIII650E");
    wchar_t wide[64] = {};
    GetWindowTextW(parent.hwnd(), wide, 64);
    EXPECT_STREQ(wide, L"基本系统: 联想奔月4000 PIII650E");
    EXPECT_EQ(ui::get_text(parent.hwnd()), "基本系统: 联想奔月4000 PIII650E");
    Page first(201), second(202);
    ui::PropertySheet sheet("KalvitLayerTestSheet");
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

// Clicks and keys alike: a command reaches the page first, and what the page leaves goes on
// through the sheet to its parent.
TEST_F(UiLayer, CommandsFromClicksAndKeysReachThePageBeforeTheSheetAndItsParent) {
    Parent parent;
    ASSERT_TRUE(parent.open());
    Page first(201);
    ui::PropertySheet sheet("KalvitLayerTestSheet");
    sheet.add_page(&first);
    ASSERT_TRUE(sheet.create(parent.hwnd(), "Sheet", WS_CHILD | WS_VISIBLE, 0, 0));
    sheet.move_to(RECT{0, 0, 480, 260});
    HWND start = GetDlgItem(first.hwnd(), 32771);
    HWND stop = GetDlgItem(first.hwnd(), 32772);
    SendMessageW(start, BM_CLICK, 0, 0);
    SendMessageW(stop, BM_CLICK, 0, 0);
    pump();
    ASSERT_EQ(first.commands, (std::vector<int>{32771, 32772}));
    ASSERT_EQ(parent.commands, std::vector<int>{32771}) << "32772 is the page's own";
    first.commands.clear();
    parent.commands.clear();

    SetFocus(start);
    ASSERT_EQ(GetFocus(), start);

    press(VK_TAB);
    ASSERT_EQ(GetFocus(), stop);
    press(VK_RETURN);
    EXPECT_EQ(first.commands, std::vector<int>{32772}) << "Enter on a button is its click";
    press(VK_SPACE);
    EXPECT_EQ(first.commands, (std::vector<int>{32772, 32772}));
    EXPECT_TRUE(parent.commands.empty()) << "the page handles its own button";
    press(VK_ESCAPE);
    EXPECT_EQ(first.commands, (std::vector<int>{32772, 32772, IDCANCEL}));
    EXPECT_EQ(parent.commands, std::vector<int>{IDCANCEL}) << "what the page leaves goes on";

    // Enter on the default button acts on the page too, and goes on since the page leaves it.
    press(VK_TAB);
    ASSERT_EQ(GetFocus(), start);
    press(VK_RETURN);
    EXPECT_EQ(parent.commands, (std::vector<int>{IDCANCEL, 32771}));
}

TEST_F(UiLayer, ModalDialogsGetTheirFirstMessagesAndOwnWhatIsOpenedInThem) {
    Parent parent;
    ASSERT_TRUE(parent.open());
    EXPECT_EQ(ui::active_owner(parent.hwnd()), parent.hwnd());
    EXPECT_EQ(ui::active_owner(nullptr), nullptr);

    ScriptedDialog outer;
    ScriptedDialog inner;
    HWND outer_hwnd = nullptr, inner_hwnd = nullptr;
    HWND owner_in_outer = nullptr, owner_in_inner = nullptr, owner_after_inner = nullptr;
    bool parent_enabled = true;
    inner.while_open = [&](ScriptedDialog& self) {
        inner_hwnd = self.hwnd();
        owner_in_inner = ui::active_owner(parent.hwnd());
    };
    outer.while_open = [&](ScriptedDialog& self) {
        outer_hwnd = self.hwnd();
        owner_in_outer = ui::active_owner(parent.hwnd());
        parent_enabled = IsWindowEnabled(parent.hwnd()) != FALSE;
        inner.run(self.hwnd());
        owner_after_inner = ui::active_owner(parent.hwnd());
    };
    EXPECT_EQ(outer.run(parent.hwnd()), IDOK);
    ASSERT_NE(outer_hwnd, nullptr);
    ASSERT_NE(inner_hwnd, nullptr);
    EXPECT_FALSE(parent_enabled);
    EXPECT_EQ(owner_in_outer, outer_hwnd);
    EXPECT_EQ(owner_in_inner, inner_hwnd);
    EXPECT_EQ(owner_after_inner, outer_hwnd);
    EXPECT_EQ(ui::active_owner(parent.hwnd()), parent.hwnd());

    // What came before WM_INITDIALOG reached the object: the font, and the rows' height.
    auto came = [&](UINT message) {
        return std::find(outer.before_init.begin(), outer.before_init.end(), message) !=
               outer.before_init.end();
    };
    EXPECT_TRUE(came(WM_SETFONT));
    EXPECT_TRUE(came(WM_MEASUREITEM));
    EXPECT_EQ(outer.row_height, 21);
}

} // namespace

// Where Windows 95 or NT 4.0 lacks a newer function, its stand-in gives the same facts: the
// memory amounts (capped at 2 GB each in 32-bit code), the free and total bytes of drive C from
// its clusters, and the common controls; HTML Help and the system-folder mark report that they
// are missing rather than calling nothing.
TEST(LateBound, StandInsGiveTheFactsOfTheNewerFunctions) {
    const ui::MemoryAmounts newer = ui::memory_amounts();
    uint64_t caller_free = 0, total = 0, total_free = 0;
    ASSERT_TRUE(ui::disk_free_space("c:\\", caller_free, total, total_free));
    ui::pretend_late_bound_missing(true);
    const ui::MemoryAmounts older = ui::memory_amounts();
    uint64_t old_caller_free = 0, old_total = 0, old_total_free = 0;
    const bool old_disk = ui::disk_free_space("c:\\", old_caller_free, old_total, old_total_free);
    ui::init_common_controls();
    const bool help = ui::html_help(nullptr, "c:\\none.chm");
    const bool marked = ui::make_system_folder("c:\\");
    ui::pretend_late_bound_missing(false);

    constexpr uint64_t kCap = sizeof(void*) == 4 ? 0x7FFFFFFFull : ~0ull;
    EXPECT_EQ(older.total_physical, std::min(newer.total_physical, kCap));
    EXPECT_GT(older.available_physical, 0u);
    EXPECT_LE(older.available_physical, older.total_physical);
    ASSERT_TRUE(old_disk);
    // Clusters of 2 GB and more are what the older call cannot count: the total stays in reach.
    EXPECT_EQ(old_total, total);
    EXPECT_NEAR(static_cast<double>(old_total_free), static_cast<double>(total_free), 64e6);
    EXPECT_EQ(old_caller_free, old_total_free);
    EXPECT_FALSE(help);
    EXPECT_FALSE(marked);
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    EXPECT_NE(list, nullptr);
    DestroyWindow(list);
}
