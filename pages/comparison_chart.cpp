// The comparison page's refresh: labels, figures, the bar chart with its legend, and the buttons,
// drawn straight into the page over what its paint left.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/model.h"
#include "engine/benchmark_run.h"
#include "pages/chart_rules.h"
#include "pages/contrast_page.h"
#include "shell/main_frame.h"
#include "shell/sheet.h"
#include "ui/gbk.h"
#include "ui/text_api.h"

namespace {
// The value boxes of machine 1 and machine 2, in test order.
constexpr int kValueBoxes[kTestCount][2] = {
    {1018, 1019}, {1022, 1023}, {1024, 1025}, {1026, 1027}, {1028, 1029}};
constexpr int kNameTextSize = 128;

void redraw_control(HWND control) {
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void set_font(HWND control) {
    ui::send(control, WM_SETFONT, reinterpret_cast<WPARAM>(frame_gdi.text_font.get()), FALSE);
}

void move_to(HWND control, HWND parent, int x, int y) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    MoveWindow(control, x, y, r.right - r.left, r.bottom - r.top, TRUE);
}

// The control's client area, in the page's coordinates.
RECT client_in(HWND control, HWND parent) {
    RECT r{};
    GetClientRect(control, &r);
    MapWindowPoints(control, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void fill_solid(HDC dc, int x, int y, int cx, int cy, COLORREF colour) {
    SetBkColor(dc, colour);
    RECT r{x, y, x + cx, y + cy};
    ui::ext_text_out(dc, 0, 0, ETO_OPAQUE, &r, {});
}

// A one-pixel border: the light colour on the top and left, the dark one on the bottom and right.
void border_3d(HDC dc, const RECT& r, COLORREF light, COLORREF dark) {
    const int cx = r.right - r.left, cy = r.bottom - r.top;
    fill_solid(dc, r.left, r.top, cx - 1, 1, light);
    fill_solid(dc, r.left, r.top, 1, cy - 1, light);
    fill_solid(dc, r.right - 1, r.top, 1, cy, dark);
    fill_solid(dc, r.left, r.bottom - 1, cx, 1, dark);
}

COLORREF to_colorref(Rgb c) { return RGB(c.red, c.green, c.blue); }

void paint_bar(HDC dc, RECT r, Rgb colour) {
    const BarShades s = bar_shades(colour);
    border_3d(dc, r, to_colorref(s.outer_light), to_colorref(s.outer_dark));
    InflateRect(&r, -1, -1);
    border_3d(dc, r, to_colorref(s.inner_light), to_colorref(s.inner_dark));
    InflateRect(&r, -1, -1);
    if (r.right > r.left && r.bottom > r.top)
        fill_solid(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, to_colorref(colour));
}

void draw_text(HDC dc, int x, int y, const char* gbk) {
    ui::text_out(dc, x, y, gbk);
}

// The weighting chosen on the options page; a later checked button wins, none keeps the last.
int chosen_weighting(int method) {
    if (setup_page.hwnd() == nullptr)
        return method;
    if (setup_page.checked(QSetupPage::kAverageWeights))
        method = 0;
    if (setup_page.checked(QSetupPage::kBusinessWeights))
        method = 1;
    if (setup_page.checked(QSetupPage::kGameWeights))
        method = 2;
    return method;
}

int clamp_index(int index) {
    if (index < 0)
        return 0;
    return index > machine_list.stored_count ? machine_list.stored_count : index;
}
} // namespace

void qcontrast_page::refresh_comparison() {
    HWND page = hwnd();
    for (int id = kFirstColumnLabel; id <= kLastColumnLabel; ++id)
        redraw_control(item(id));

    const int count = machine_list.stored_count;
    int sel1 = selection(kMachine1);
    if (sel1 < 0)
        sel1 = machine_list.current_stored ? count - 1 : count;
    if (follow_selection_)
        select(kMachine1, sel1);
    int sel2 = selection(kMachine2);
    if (sel2 < 0)
        sel2 = 0;
    sel1 = clamp_index(sel1);
    sel2 = clamp_index(sel2);
    const MachineRecord& m1 = machine_list.entries[sel1];
    const MachineRecord& m2 = machine_list.entries[sel2];

    std::string name1 = item_text(kMachine1);
    name1.resize(gbk_fit_length(name1, kNameTextSize - 1));
    ui::set_text(item(kName1), name1.c_str());
    select(kMachine2, sel2);
    ui::set_text(item(kName2), ui::combo_item_text(item(kMachine2), sel2).c_str());
    for (int id : {kName1, kName2}) {
        set_font(item(id));
        redraw_control(item(id));
    }
    redraw_control(item(kMachine1));
    redraw_control(item(kMachine2));

    char text[32];
    for (int k = 0; k < kTestCount; ++k) {
        const MachineRecord* machines[2] = {&m1, &m2};
        for (int m = 0; m < 2; ++m) {
            HWND box = item(kValueBoxes[k][m]);
            set_font(box);
            std::snprintf(text, sizeof text, "%6.2f", relative_speed(*machines[m], k));
            ui::set_text(box, text);
            redraw_control(box);
        }
    }

    RECT client{};
    GetClientRect(page, &client);
    const int right = client.right, bottom = client.bottom;
    MoveWindow(item(kChartFrame), 0, 95, right, bottom - 50 - 95, TRUE);

    int random[6];
    for (int& r : random)
        r = std::rand();
    Rgb colour1{}, colour2{};
    bar_colours(random, colour1, colour2);
    ui::Brush brush1(CreateSolidBrush(to_colorref(colour1)));
    ui::Brush brush2(CreateSolidBrush(to_colorref(colour2)));

    ui::WindowDc dc(page);
    if (dc.get() == nullptr)
        return;
    move_to(item(kSwatch1), page, right / 3 - 80, bottom - 45);
    RECT swatch = client_in(item(kSwatch1), page);
    FillRect(dc.get(), &swatch, brush1.get());
    move_to(item(kName1), page, right / 3 - 180, bottom - 27);
    move_to(item(kSwatch2), page, 2 * right / 3 - 20, bottom - 45);
    swatch = client_in(item(kSwatch2), page);
    FillRect(dc.get(), &swatch, brush2.get());
    move_to(item(kName2), page, 2 * right / 3 - 140, bottom - 27);

    run_options.average_method = chosen_weighting(run_options.average_method);
    const float overall1 = weighted_score(m1, run_options.average_method);
    const float overall2 = weighted_score(m2, run_options.average_method);
    const int scale = chart_scale(overall1, overall2, auto_scale != 0);

    SetBkMode(dc.get(), TRANSPARENT);
    GridLine lines[kGridSteps];
    const int n = grid_lines(bottom, scale, lines);
    for (int i = 0; i < n; ++i) {
        if (lines[i].labelled)
            draw_text(dc.get(), 7, lines[i].label_y, lines[i].label);
        MoveToEx(dc.get(), 30, lines[i].y, nullptr);
        LineTo(dc.get(), 600, lines[i].y);
    }
    MoveToEx(dc.get(), 30, bottom - 55, nullptr);
    LineTo(dc.get(), 30, 105);

    for (int row = 0; row < kBarRows; ++row) {
        const BarSpan& span = kBarSpans[row];
        const int k = kBarRowTest[row];
        const float value1 = row == 0 ? overall1 : static_cast<float>(relative_speed(m1, k));
        const float value2 = row == 0 ? overall2 : static_cast<float>(relative_speed(m2, k));
        paint_bar(dc.get(), {span.left1, bar_top(bottom, scale, value1), span.right1, bottom - 55},
                  colour1);
        paint_bar(dc.get(), {span.left2, bar_top(bottom, scale, value2), span.right2, bottom - 55},
                  colour2);
    }

    SetTextColor(dc.get(), RGB(255, 255, 255));
    const float overall[2] = {overall1, overall2};
    const RECT boxes[2] = {{60, bottom - 115, 120, bottom - 55}, {120, bottom - 95, 180, bottom - 55}};
    for (int m = 0; m < 2; ++m) {
        std::snprintf(text, sizeof text, "%5.2f", static_cast<double>(overall[m]));
        RECT box = boxes[m];
        ui::draw_text(dc.get(), text, box, DT_CENTER | DT_TOP);
    }

    MoveWindow(item(kStoreButton), 5, 5, 80, 25, TRUE);
    enable_item(kStoreButton, results_ready != 0);
    MoveWindow(item(kDeleteButton), 90, 5, 80, 25, TRUE);
    enable_item(kDeleteButton, sel1 > 0 && sel1 < count && count > 1);
    MoveWindow(item(kInfoButton), 175, 5, 80, 25, TRUE);
}
