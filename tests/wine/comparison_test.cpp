// The comparison page with the real frame, sheet and pages in the test process, over record
// files of known machines: the selectors, the figures and the chart, storing and deleting, and
// the machine-information dialog with its clock row.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <regex>
#include <vector>

#include "engine/model.h"
#include "engine/run_flags.h"
#include "pages/record_store.h"
#include "shell/msgbox.h"
#include "sysinfo/cpu_clock.h"
#include "sysinfo/machine_info_win.h"
#include "sysinfo/mi_dlg.h"
#include "tests/wine/frame_fixture.h"
#include "ui/text_api.h"

namespace {

const char kRecords[] =
    "<基本系统: 联想奔月4000 PIII650E\r\n 35.70  3.39 253.49 339.74 16.82 00000000 1024 768 16\r\n"
    "<甲机\r\n 71.40  6.78 506.98 679.48 33.64 00000000 1024 768 16\r\n"
    "<乙机\r\n 357.00 33.90 2534.90 3397.40 168.20 00000011 800 600 32\r\n";
const char kTexts[] = "基本系统\r\n\0甲机名\r\n处理器甲\r\nMMX SSE \r\n650  MHz    \r\n\0"
                      "乙机名\r\n处理器乙\r\nMMX \r\n3000 MHz    \r\n";
const std::string kTextBytes(kTexts, sizeof kTexts); // the last text's 0 byte included
const char kSentinel[] = "99999MHz    ";

std::vector<std::string> messages, questions;
bool answer = true;
void record_message(const char* text) { messages.push_back(text); }
bool record_question(const char* text) {
    questions.push_back(text);
    return answer;
}

std::string file(const char* name) { return driver::read_file(to_wide(name)).value_or("<none>"); }

HWND combo(int id) { return contrast_page.item(id); }
int count_of(int id) { return static_cast<int>(SendMessageW(combo(id), CB_GETCOUNT, 0, 0)); }
int selected(int id) { return static_cast<int>(SendMessageW(combo(id), CB_GETCURSEL, 0, 0)); }
std::vector<std::string> entries_of(int id) {
    std::vector<std::string> out;
    for (int i = 0; i < count_of(id); ++i)
        out.push_back(ui::combo_item_text(combo(id), i));
    return out;
}

// A selection as the user makes it: the combo box notifies the page.
void choose(int id, int index) {
    SendMessageW(combo(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(contrast_page.hwnd(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo(id)));
    pump();
}

void click(int id) { SendMessageW(contrast_page.item(id), BM_CLICK, 0, 0); }

void type_name(const wchar_t* name) {
    SendMessageW(combo(qcontrast_page::kMachine1), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetWindowTextW(combo(qcontrast_page::kMachine1), name);
}

bool reddish(uint32_t p) {
    const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
    return p == 0xFFFFFF || (r >= 96 && g < 100 && b < 100 && r > 2 * g && r > 2 * b);
}
bool bluish(uint32_t p) {
    const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF, b = p & 0xFF;
    return p == 0xFFFFFF || (b >= 96 && r < 140 && g < 140 && b > r + 40 && b > g + 40);
}
// The top of the bar in column x: scanning up from the baseline while the colour holds (the
// white overall figure counts as part of the bar).
int bar_top_at(const Picture& p, int x, int baseline, bool (*colour)(uint32_t)) {
    int y = baseline - 1;
    while (y > 0 && colour(p.at(x, y - 1)))
        --y;
    return y;
}

std::wstring column_title(HWND list, int index, int& width) {
    wchar_t title[128] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = title;
    column.cchTextMax = 128;
    if (!SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(index),
                      reinterpret_cast<LPARAM>(&column)))
        return L"<none>";
    width = column.cx;
    return title;
}

RECT child_rect(HWND child, HWND parent) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class Comparison : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::wstring dir = L"c:\\kalvit-compare";
        ASSERT_TRUE(driver::make_fresh_dir(dir));
        ASSERT_TRUE(SetCurrentDirectoryW(dir.c_str()));
        ASSERT_TRUE(driver::write_file(L"kalvit.dat", kRecords));
        ASSERT_TRUE(driver::write_file(L"kalvitif.dat", kTextBytes));
        set_install_dir(KALVIT_BUILD_DIR);
        create_test_frame();
        set_message_presenter(record_message);
        set_question_presenter(record_question);
        ASSERT_TRUE(load_machine_list(machine_list, real_record_files(), collect_machine_info));
    }
    static void TearDownTestSuite() {
        set_message_presenter(nullptr);
        set_question_presenter(nullptr);
    }
    void SetUp() override {
        messages.clear();
        questions.clear();
        answer = true;
    }
    static Picture page_picture() {
        // What the last change queued is handled before the chart is drawn again.
        pump();
        RedrawWindow(contrast_page.hwnd(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        pump();
        return capture(contrast_page.hwnd());
    }
    static int bottom() {
        RECT r{};
        GetClientRect(contrast_page.hwnd(), &r);
        return r.bottom;
    }
    TestLog log_;
};

TEST_F(Comparison, ActivationIsRefusedDuringARunAndFillsTheSelectors) {
    ASSERT_EQ(machine_list.stored_count, 3);
    test_running = 1;
    EXPECT_FALSE(property_sheet.set_active_page(kComparePageIndex));
    EXPECT_EQ(property_sheet.active_index(), kTestPageIndex);
    test_running = 0;
    ASSERT_TRUE(property_sheet.set_active_page(kComparePageIndex));
    pump();

    const std::vector<std::string> all = {kBaseSystemName, "甲机", "乙机", "当前系统"};
    EXPECT_EQ(entries_of(qcontrast_page::kMachine1), all);
    EXPECT_EQ(entries_of(qcontrast_page::kMachine2), all);
    EXPECT_EQ(selected(qcontrast_page::kMachine1), 3);
    EXPECT_EQ(selected(qcontrast_page::kMachine2), 0);
    EXPECT_EQ(contrast_page.item_text(qcontrast_page::kName1), "当前系统");
    EXPECT_EQ(contrast_page.item_text(qcontrast_page::kName2), kBaseSystemName);
    for (int id : {1019, 1023, 1025, 1027, 1029})
        EXPECT_EQ(contrast_page.item_text(id), "  1.00") << id;
    for (int id : {1018, 1022, 1024, 1026, 1028})
        EXPECT_EQ(contrast_page.item_text(id), "  0.00") << id;
    // Nothing to store before a run, and neither the current nor the base system can go.
    EXPECT_FALSE(IsWindowEnabled(contrast_page.item(qcontrast_page::kStoreButton)));
    EXPECT_FALSE(IsWindowEnabled(contrast_page.item(qcontrast_page::kDeleteButton)));
    choose(qcontrast_page::kMachine2, 2);
    EXPECT_EQ(contrast_page.item_text(1029), " 10.00");
    EXPECT_EQ(contrast_page.item_text(qcontrast_page::kName2), "乙机");
    choose(qcontrast_page::kMachine2, 0);

    // The link is strictly inside 180 < x < 280, 100 < y < 120.
    const POINT at[] = {{180, 110}, {181, 110}, {279, 119}, {200, 120}, {200, 100}, {280, 101}};
    const bool hot[] = {false, true, true, false, false, false};
    for (int i = 0; i < 6; ++i) {
        SendMessageW(contrast_page.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(at[i].x, at[i].y));
        EXPECT_EQ(contrast_page.link_hot(), hot[i]) << at[i].x << "," << at[i].y;
    }
}

TEST_F(Comparison, ChartBarsFollowTheWeightingTheScaleAndStopAtTheFrameTop) {
    ASSERT_TRUE(property_sheet.set_active_page(kComparePageIndex));
    const int b = bottom();
    ASSERT_GE(b, 370) << "the page is too short for these bars";
    const int baseline = b - 55;
    MachineRecord& current = current_system_entry();
    const float* base = machine_list.entries[0].speeds;
    for (int k = 0; k < kTestCount; ++k)
        current.speeds[k] = base[k];
    current.speeds[kIntegerTest] = 2 * base[kIntegerTest];

    // Average 1.2, business 1.3, game 1.25: all scale 8, 20 × 8 pixels per unit.
    struct Weighting {
        int button;
        int overall_height;
    };
    const Weighting weightings[] = {{QSetupPage::kAverageWeights, 192},
                                    // 1.3 in single precision lies a little above 1.3: 208.00002 pixels truncate one higher.
                                    {QSetupPage::kBusinessWeights, 209},
                                    {QSetupPage::kGameWeights, 200}};
    for (const Weighting& w : weightings) {
        for (int id : {QSetupPage::kAverageWeights, QSetupPage::kBusinessWeights,
                       QSetupPage::kGameWeights})
            setup_page.set_check(id, id == w.button);
        const Picture p = page_picture();
        EXPECT_EQ(bar_top_at(p, 71, baseline, reddish), baseline - w.overall_height) << w.button;
        // The base system beside it, 1.00 whatever the weighting; its integer bar 1.0 too.
        EXPECT_EQ(bar_top_at(p, 131, baseline, bluish), baseline - 160) << w.button;
        // Twice the base's integer speed is 320 pixels at scale 8: cut at the frame's top.
        EXPECT_EQ(bar_top_at(p, 297, baseline, reddish), 100) << w.button;
        EXPECT_EQ(bar_top_at(p, 324, baseline, bluish), baseline - 160) << w.button;
        // Two shaded borders, then the colour itself.
        const int y = baseline - 10;
        EXPECT_EQ(p.at(72, y), p.at(90, y)) << w.button;
        EXPECT_NE(p.at(71, y), p.at(90, y)) << w.button;
        EXPECT_NE(p.at(70, y), p.at(71, y)) << w.button;
        EXPECT_NE(p.at(108, y), p.at(90, y)) << w.button;
    }
    setup_page.set_check(QSetupPage::kBusinessWeights, false);
    setup_page.set_check(QSetupPage::kGameWeights, false);
    setup_page.set_check(QSetupPage::kAverageWeights, true);

    // Without auto-scaling the same machine stands on scale 1.
    auto_scale = 0;
    Picture p = page_picture();
    EXPECT_EQ(bar_top_at(p, 71, baseline, reddish), baseline - 24);
    auto_scale = 1;

    // 30 times the base's integer speed and 3 times its disk speed: the average of 7.2 keeps
    // scale 1, the integer bar of 600 pixels is cut at y = 100, and the disk bar stands before
    // the DirectDraw bar.
    current.speeds[kIntegerTest] = 30 * base[kIntegerTest];
    current.speeds[kDiskTest] = 3 * base[kDiskTest];
    p = page_picture();
    EXPECT_EQ(bar_top_at(p, 297, baseline, reddish), 100);
    EXPECT_EQ(bar_top_at(p, 365, baseline, reddish), baseline - 20);
    EXPECT_EQ(bar_top_at(p, 501, baseline, reddish), baseline - 60);
    EXPECT_EQ(bar_top_at(p, 569, baseline, reddish), baseline - 20);
    EXPECT_EQ(bar_top_at(p, 71, baseline, reddish), baseline - 144);
    // The grid stops below the frame's top: nothing of a line above y = 95 at x = 200.
    for (int y = 0; y < 95; ++y)
        ASSERT_NE(p.at(200, y), 0u) << y;
    current.speeds[kIntegerTest] = 2 * base[kIntegerTest];
    current.speeds[kDiskTest] = base[kDiskTest];
}

TEST_F(Comparison, StoringRefusesBadNamesAndAsksBeforeOverwriting) {
    ASSERT_TRUE(property_sheet.set_active_page(kComparePageIndex));
    results_ready = 1;
    page_picture();
    EXPECT_TRUE(IsWindowEnabled(contrast_page.item(qcontrast_page::kStoreButton)));
    const std::string records = file("kalvit.dat"), texts = file("kalvitif.dat");

    const std::string current_refusal = "机器名不能叫做'当前系统'\n请重新输入有效的机器名！";
    const std::string base_refusal = "不能修改'基本系统'\n请重新输入有效的机器名！";
    struct Case {
        const wchar_t* name;
        std::string message;
    };
    const Case cases[] = {{L"当前系统", current_refusal},
                          {L"基本系统: 联想奔月4000 PIII650E", base_refusal}};
    for (const Case& c : cases) {
        messages.clear();
        type_name(c.name);
        SetFocus(contrast_page.item(qcontrast_page::kStoreButton));
        click(qcontrast_page::kStoreButton);
        EXPECT_EQ(messages, std::vector<std::string>{c.message}) << to_gbk(c.name);
        HWND focus = GetFocus();
        EXPECT_TRUE(focus == combo(qcontrast_page::kMachine1) ||
                    GetParent(focus) == combo(qcontrast_page::kMachine1));
    }
    answer = false;
    type_name(L"甲机");
    click(qcontrast_page::kStoreButton);
    EXPECT_EQ(questions, std::vector<std::string>{"机器名\"甲机\"已经存在，是否更新记录？"});
    EXPECT_EQ(machine_list.stored_count, 3);
    EXPECT_EQ(machine_list.entries[1].speeds[0], 71.40f);
    EXPECT_EQ(file("kalvit.dat"), records);
    EXPECT_EQ(file("kalvitif.dat"), texts);
    EXPECT_EQ(count_of(qcontrast_page::kMachine1), 4);
}

TEST_F(Comparison, StoringANewNameAppendsItToBothSelectorsAndBothFiles) {
    ASSERT_TRUE(property_sheet.set_active_page(kComparePageIndex));
    MachineRecord& current = current_system_entry();
    current.option_flags = kFlagDiskCached | kFlagMemBlock;
    current.ddraw_width = 800;
    current.ddraw_height = 600;
    current.ddraw_bits = 32;
    choose(qcontrast_page::kMachine2, 2);
    type_name(L" 丙机 new ");
    click(qcontrast_page::kStoreButton);
    EXPECT_TRUE(messages.empty()) << messages[0];

    const std::vector<std::string> stored = {kBaseSystemName, "甲机", "乙机", "丙机 new "};
    EXPECT_EQ(entries_of(qcontrast_page::kMachine1), stored);
    EXPECT_EQ(entries_of(qcontrast_page::kMachine2), stored);
    EXPECT_EQ(selected(qcontrast_page::kMachine1), 3);
    EXPECT_EQ(selected(qcontrast_page::kMachine2), 2);
    EXPECT_EQ(machine_list.stored_count, 4);
    EXPECT_TRUE(machine_list.current_stored);

    std::string text = machine_list.entries[3].info_text;
    ASSERT_FALSE(text.empty());
    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
        text.replace(at, 1, "\r\n");
    EXPECT_EQ(file("kalvit.dat"),
              std::string(kRecords) +
                  "<丙机 new \r\n 71.40  3.39 253.49 339.74 16.82 00000011 800 600 32\r\n");
    EXPECT_EQ(file("kalvitif.dat"), kTextBytes + text + std::string(1, '\0'));
    for (const char* left : {kRecordTemp, kInfoTemp, kInfoBackup})
        EXPECT_FALSE(driver::file_exists(to_wide(left))) << left;

    // With nothing selected in machine 1, the refresh takes the machine just stored.
    type_name(L"");
    page_picture();
    EXPECT_EQ(selected(qcontrast_page::kMachine1), 3);
}

TEST_F(Comparison, DeletingKeepsMachineTwoOnItsMachine) {
    ASSERT_TRUE(property_sheet.set_active_page(kComparePageIndex));
    ASSERT_EQ(machine_list.stored_count, 4);
    choose(qcontrast_page::kMachine1, 0);
    EXPECT_FALSE(IsWindowEnabled(contrast_page.item(qcontrast_page::kDeleteButton)));
    click(qcontrast_page::kDeleteButton);
    EXPECT_EQ(messages, std::vector<std::string>{"不能删除 \" 基本系统 \" !"});

    // Machine 2 after the deleted entry moves up with its machine.
    choose(qcontrast_page::kMachine2, 3);
    choose(qcontrast_page::kMachine1, 1);
    EXPECT_TRUE(IsWindowEnabled(contrast_page.item(qcontrast_page::kDeleteButton)));
    click(qcontrast_page::kDeleteButton);
    EXPECT_EQ(questions, std::vector<std::string>{"确认要删除记录：\n\" 甲机 \" ?"});
    const std::vector<std::string> left = {kBaseSystemName, "乙机", "丙机 new "};
    EXPECT_EQ(entries_of(qcontrast_page::kMachine1), left);
    EXPECT_EQ(selected(qcontrast_page::kMachine1), 2);
    EXPECT_EQ(selected(qcontrast_page::kMachine2), 2);
    EXPECT_EQ(contrast_page.item_text(qcontrast_page::kName2), "丙机 new ");
    EXPECT_EQ(file("kalvit.dat").find("<甲机"), std::string::npos);
    EXPECT_EQ(std::string(current_system_entry().name), "丙机 new ");

    // Machine 2 on the deleted machine goes to the one before it.
    choose(qcontrast_page::kMachine2, 1);
    choose(qcontrast_page::kMachine1, 1);
    click(qcontrast_page::kDeleteButton);
    EXPECT_EQ(selected(qcontrast_page::kMachine2), 0);
    EXPECT_EQ(machine_list.stored_count, 2);
    const std::string records(kRecords);
    EXPECT_EQ(file("kalvit.dat"),
              records.substr(0, records.find("<甲机")) +
                  "<丙机 new \r\n 71.40  3.39 253.49 339.74 16.82 00000011 800 600 32\r\n");
}

TEST_F(Comparison, InformationDialogShowsBothMachinesAndRewritesOnlyTheCurrentClock) {
    ASSERT_TRUE(property_sheet.set_active_page(kTestPageIndex));
    // As after a run: the current system is unsaved and offered again.
    machine_list.current_stored = 0;
    contrast_selectors_filled = 0;
    MachineRecord& current = current_system_entry();
    std::snprintf(current.name, sizeof current.name, "%s", kCurrentSystemName);
    current.option_flags = kFlagDiskCached | kFlagMemBlock;
    ASSERT_TRUE(property_sheet.set_active_page(kComparePageIndex));
    choose(qcontrast_page::kMachine1, 2);
    choose(qcontrast_page::kMachine2, 0);
    const uint32_t collections = mhz_count;
    click(qcontrast_page::kInfoButton);
    QMiDlg& dlg = contrast_page.info_dialog();
    ASSERT_NE(dlg.hwnd(), nullptr);
    EXPECT_TRUE(IsWindowVisible(dlg.hwnd()));
    EXPECT_EQ(mhz_count, collections + 1);
    RECT r{};
    GetWindowRect(dlg.hwnd(), &r);
    EXPECT_EQ(r.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(r.top, 0);

    HWND list = dlg.list();
    RECT lr{};
    GetWindowRect(list, &lr);
    int w0 = 0, w1 = 0, w2 = 0;
    EXPECT_EQ(column_title(list, 0, w0), L"  名  称");
    EXPECT_EQ(column_title(list, 1, w1), L"当前系统");
    EXPECT_EQ(column_title(list, 2, w2), to_wide(kBaseSystemName));
    EXPECT_EQ(w0, 80);
    EXPECT_EQ(w1, (lr.right - lr.left - GetSystemMetrics(SM_CXVSCROLL) - 80) / 2);
    EXPECT_EQ(w2, w1);
    // This machine's lines with its settings behind them; the base system's one line, and its
    // settings on the same row.
    std::vector<std::string> lines;
    for (const char *at = current.info_text, *end; (end = std::strchr(at, '\n')) != nullptr;
         at = end + 1)
        lines.emplace_back(at, end);
    // 15 lines, or 14 where the BIOS is "Unknow" (as in this process, which read no version).
    const int j = static_cast<int>(lines.size());
    ASSERT_TRUE(j == 14 || j == 15) << current.info_text;
    for (int i = 0; i < j; ++i)
        EXPECT_EQ(mi_rows1[i], lines[i]) << i;
    EXPECT_STREQ(mi_rows1[j], "CACHED BIG_BLOCK ");
    EXPECT_STREQ(mi_rows2[0], "基本系统");
    EXPECT_STREQ(mi_rows2[1], "");
    EXPECT_STREQ(mi_rows2[j], "标准设置 ");
    const int visible = (lr.bottom - lr.top) / 18 + 1;
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), (visible > j ? visible : j) + 1);

    // The current machine's clock row is measured again every two seconds, the other's not.
    std::memcpy(mi_rows1[kClockRow], kSentinel, sizeof kSentinel);
    std::memcpy(mi_rows2[kClockRow], kSentinel, sizeof kSentinel);
    rewrite_mhz_text(current.info_text, sizeof current.info_text, 99999);
    // A value comes every second tick.
    pump_until([] { return std::strcmp(mi_rows1[kClockRow], kSentinel) != 0; }, kWait);
    EXPECT_TRUE(std::regex_match(mi_rows1[kClockRow], std::regex("[1-9][0-9]{0,3} *MHz    ")))
        << mi_rows1[kClockRow];
    EXPECT_STREQ(mi_rows2[kClockRow], kSentinel);
    EXPECT_EQ(std::string(current.info_text + mhz_text_offset, 12), mi_rows1[kClockRow]);
    EXPECT_NE(log_.text().find("MiDlg::OnTimer1: cpu_mf="), std::string::npos);
    // Once stored, it stays through two more measuring ticks.
    machine_list.current_stored = 1;
    std::memcpy(mi_rows1[kClockRow], kSentinel, sizeof kSentinel);
    auto ticks = [this] {
        const std::string text = log_.text();
        size_t n = 0;
        for (size_t at = 0; (at = text.find("MiDlg::OnTimer1: ", at)) != std::string::npos; ++at)
            ++n;
        return n;
    };
    const size_t ticked = ticks();
    EXPECT_TRUE(pump_until([&] { return ticks() >= ticked + 2; }, kWait));
    EXPECT_STREQ(mi_rows1[kClockRow], kSentinel);
    machine_list.current_stored = 0;

    // A selected row is yellow; the one below it is not.
    ListView_SetItemState(list, 16, LVIS_SELECTED, LVIS_SELECTED);
    UpdateWindow(list);
    RECT row{};
    ListView_GetItemRect(list, 16, &row, LVIR_BOUNDS);
    Picture p = capture(list);
    EXPECT_EQ(p.at(120, row.top + 9), 0xFFFF00u);
    EXPECT_NE(p.at(120, row.bottom + 9), 0xFFFF00u);

    // Resizing keeps the margins and refills the columns without a new collection.
    SetWindowPos(dlg.hwnd(), nullptr, 0, 0, r.right - r.left + 120, r.bottom - r.top + 60,
                 SWP_NOMOVE | SWP_NOZORDER);
    pump();
    RECT client{};
    GetClientRect(dlg.hwnd(), &client);
    const RECT frame = child_rect(dlg.item(QMiDlg::kFrame), dlg.hwnd());
    EXPECT_EQ(frame.left, 10);
    EXPECT_EQ(frame.top, 10);
    EXPECT_EQ(frame.right, client.right - 10);
    EXPECT_EQ(frame.bottom, client.bottom - 12);
    const RECT inside = child_rect(list, dlg.hwnd());
    EXPECT_EQ(inside.left, 12);
    EXPECT_EQ(inside.bottom, client.bottom - 14);
    EXPECT_EQ(column_title(list, 1, w1), L"当前系统");
    EXPECT_EQ(w1, (inside.right - inside.left - GetSystemMetrics(SM_CXVSCROLL) - 80) / 2);
    EXPECT_EQ(mhz_count, collections + 1);

    // Enter hides it; the next command shows it again, collected afresh.
    SetFocus(list);
    press(VK_RETURN);
    EXPECT_FALSE(IsWindowVisible(dlg.hwnd()));
    EXPECT_NE(log_.text().find("QMiDlg::OnOK: no quit_flag , so hide"), std::string::npos);
    click(qcontrast_page::kInfoButton);
    EXPECT_TRUE(IsWindowVisible(dlg.hwnd()));
    EXPECT_EQ(mhz_count, collections + 2);

    // After the frame has begun to close, OK ends it.
    quit_flag = 1;
    SendMessageW(dlg.hwnd(), WM_COMMAND, IDOK, 0);
    quit_flag = 0;
    EXPECT_EQ(dlg.hwnd(), nullptr);
    EXPECT_NE(log_.text().find("QMiDlg::OnOK: quit_flag , so quit"), std::string::npos);
}

} // namespace
