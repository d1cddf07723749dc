#include "engine/benchmark_run.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "analysis/score_dlg.h"
#include "analysis/welcome_dlg.h"
#include "engine/measure_blit.h"
#include "engine/clock.h"
#include "engine/measure_disk.h"
#include "engine/measure_float.h"
#include "engine/fpu_control.h"
#include "engine/measure_integer.h"
#include "engine/measure_memory.h"
#include "engine/run_flags.h"
#include "engine/run_recording.h"
#include "engine/run_rules.h"
#include "shell/log.h"
#include "shell/main_frame.h"
#include "shell/msg_pump.h"
#include "shell/msgbox.h"
#include "shell/sheet.h"
#include "shell/text_buffer.h"
#include "ui/handles.h"
#include "ui/text_api.h"

int run_number = 0;
TestOptions run_options;

namespace {

constexpr DWORD kMergePaint = 0x00BB0226; // destination OR NOT source
constexpr int kMarkerSize = 32;

struct TestControls {
    int bar, absolute, relative;
};
constexpr TestControls kControls[kTestCount] = {
    {1009, 1017, 1018}, // integer
    {1015, 1022, 1024}, // floating point
    {1013, 1019, 1025}, // memory
    {1014, 1020, 1023}, // DirectDraw
    {1016, 1021, 1026}, // disk
};

// What one run draws with, made at its start and released on every way out of it.
class RunDrawing {
public:
    explicit RunDrawing(HWND page) : page_dc_(page) {}
    RunDrawing(const RunDrawing&) = delete;
    RunDrawing& operator=(const RunDrawing&) = delete;
    ~RunDrawing() { release_marker(); }

    void make_brushes() {
        uint32_t colours[kTestCount];
        make_bar_colours(std::rand, colours);
        for (int k = 0; k < kTestCount; ++k)
            brushes_[k].reset(CreateSolidBrush(colours[k]));
    }
    void select_marker(HBITMAP marker) {
        keep_marker_bits(marker);
        marker_dc_.reset(CreateCompatibleDC(page_dc_.get()));
        if (marker_dc_ && marker != nullptr)
            old_marker_ = SelectObject(marker_dc_.get(), marker);
    }
    void release_marker() {
        if (marker_dc_ && old_marker_ != nullptr)
            SelectObject(marker_dc_.get(), old_marker_);
        old_marker_ = nullptr;
        marker_dc_.reset();
    }
    void release_brushes() {
        for (ui::Brush& b : brushes_)
            b.reset();
    }

    HDC page() const { return page_dc_.get(); }
    // The run's memory context, holding the marker.
    HDC memory() const { return marker_dc_.get(); }
    HBRUSH brush(int k) const { return brushes_[k].get(); }

    // The bar on the page, and in the recording when asked.
    void fill(const RECT& bar, int k, bool record) const {
        FillRect(page(), &bar, brush(k));
        if (record && run_recording.dc() != nullptr)
            FillRect(run_recording.dc(), &bar, brush(k));
    }
    void marker(const RECT& bar, bool record = true) const {
        if (!marker_dc_)
            return;
        const int x = bar.left - kMarkerSize, y = bar.top - 8;
        BitBlt(page(), x, y, kMarkerSize, kMarkerSize, marker_dc_.get(), 0, 0, kMergePaint);
        if (record && run_recording.dc() != nullptr && !marker_bits_.empty())
            StretchDIBits(run_recording.dc(), x, y, kMarkerSize, kMarkerSize, 0, 0, kMarkerSize,
                          kMarkerSize, marker_bits_.data(), &marker_info_, DIB_RGB_COLORS,
                          kMergePaint);
    }

private:
    // The recording takes the marker as bits: Wine keeps a context and a bitmap for good for
    // every blit from a memory context into a metafile, five a run.
    void keep_marker_bits(HBITMAP marker) {
        marker_bits_.clear();
        marker_info_ = {};
        marker_info_.bmiHeader.biSize = sizeof marker_info_.bmiHeader;
        marker_info_.bmiHeader.biWidth = kMarkerSize;
        marker_info_.bmiHeader.biHeight = -kMarkerSize;
        marker_info_.bmiHeader.biPlanes = 1;
        marker_info_.bmiHeader.biBitCount = 32;
        marker_info_.bmiHeader.biCompression = BI_RGB;
        std::vector<uint32_t> bits(kMarkerSize * kMarkerSize);
        if (marker != nullptr && GetDIBits(page(), marker, 0, kMarkerSize, bits.data(),
                                           &marker_info_, DIB_RGB_COLORS) == kMarkerSize)
            marker_bits_ = std::move(bits);
    }

    ui::WindowDc page_dc_;
    std::vector<uint32_t> marker_bits_;
    BITMAPINFO marker_info_{};
    ui::MemoryDc marker_dc_;
    HGDIOBJ old_marker_ = nullptr;
    ui::Brush brushes_[kTestCount];
};

void redraw_now(HWND hwnd, UINT extra = 0) {
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | extra);
}

int clock_now() { return static_cast<int>(process_clock_ms()); }

void read_options_from_page() {
    OptionChecks c;
    c.big_blocks = setup_page.checked(QSetupPage::kBigBlocks);
    c.buffered = setup_page.checked(QSetupPage::kBuffered);
    c.default_mode = setup_page.checked(QSetupPage::kDefaultMode);
    c.current_mode = setup_page.checked(QSetupPage::kCurrentMode);
    c.chosen_mode = setup_page.checked(QSetupPage::kChosenMode);
    read_option_checks(c, run_options);
    QMsgLog("You Select DD Mode=%d", run_options.ddraw_mode);
    c.average = setup_page.checked(QSetupPage::kAverageWeights);
    c.business = setup_page.checked(QSetupPage::kBusinessWeights);
    c.game = setup_page.checked(QSetupPage::kGameWeights);
    c.use_3dnow = setup_page.checked(QSetupPage::kUse3dnow);
    c.use_sse = setup_page.checked(QSetupPage::kUseSse);
    c.triple = setup_page.checked(QSetupPage::kTripleAmount);
    read_option_checks(c, run_options);
}

void log_options(const TestOptions& o) {
    QMsgLog("mem_block=%d , disk_cached=%d , ddraw_mode=%d , average_method=%d , amd_3dnow=%d , "
            "intel_sse=%d , test_3times=%d",
            o.mem_block, o.disk_cached, o.ddraw_mode, o.average_method, o.amd_3dnow, o.intel_sse,
            o.test_3times);
}

// A processor without the chosen instructions runs the ordinary kernels: its box should not be
// on, and running them would end the program.
void keep_to_the_processor(TestOptions& o) {
    if (o.amd_3dnow && !cpu_has_3dnow()) {
        QMsgLog("-----Warning:\tno 3DNow! on this processor, the float test runs without it");
        o.amd_3dnow = 0;
    }
    if (o.intel_sse && !cpu_has_sse()) {
        QMsgLog("-----Warning:\tno SSE on this processor, the float test runs without it");
        o.intel_sse = 0;
    }
}

void show_result(int k, float speed) {
    MachineRecord& current = current_system_entry();
    if (k == kIntegerTest)
        std::snprintf(current.name, sizeof current.name, "%s", kCurrentSystemName);
    current.speeds[k] = speed;
    const TestControls& c = kControls[k];
    format_absolute_speed(k, speed, text_buffer, sizeof text_buffer);
    ui::set_text(test_page.item(c.absolute), text_buffer);
    redraw_now(test_page.item(c.absolute));
    format_relative_speed(k, speed, machine_list.entries[0].speeds[k], text_buffer,
                          sizeof text_buffer);
    ui::set_text(test_page.item(c.relative), text_buffer);
    redraw_now(test_page.item(c.relative));
}

// The bar of test k in the page's client coordinates, one pixel inside its frame at top and
// bottom.
RECT bar_area(int k) {
    HWND frame = test_page.item(kControls[k].bar);
    RECT r{};
    GetClientRect(frame, &r);
    MapWindowPoints(frame, test_page.hwnd(), reinterpret_cast<POINT*>(&r), 2);
    r.top += 1;
    r.bottom -= 1;
    return r;
}

std::optional<float> run_test(int k, const RunDrawing& drawing) {
    const RECT full = bar_area(k);
    const int width = full.right - full.left;
    RECT bar = full;
    bar.right = bar.left;
    TestHooks hooks;
    hooks.stop = &stop_requested;
    hooks.progress = [&](double fraction) {
        bar.right = bar_fill_right(full.left, width, fraction);
        drawing.fill(bar, k, false);
        QMsgPump(property_sheet.hwnd());
    };
    // A disturbed test is measured again: its bar empties and fills anew.
    hooks.restart = [&] {
        bar.right = bar.left;
        RECT in_sheet = full;
        MapWindowPoints(test_page.hwnd(), property_sheet.hwnd(),
                        reinterpret_cast<POINT*>(&in_sheet), 2);
        RedrawWindow(property_sheet.hwnd(), &in_sheet, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    };
    const int m = m_times[k];
    std::optional<float> speed;
    switch (k) {
    case kIntegerTest:
        speed = integer_test(m, hooks);
        break;
    case kFloatTest:
        speed = float_test(m, float_path(run_options.amd_3dnow, run_options.intel_sse), hooks);
        break;
    case kMemoryTest:
        speed = memory_test(m, run_options.mem_block, hooks);
        break;
    case kDiskTest:
        speed = disk_test(m, run_options.disk_cached, hooks);
        break;
    case kDirectDrawTest:
        speed = blit_test(m, run_options.ddraw_mode, drawing.memory());
        break;
    default:
        break;
    }
    if (!speed)
        return std::nullopt;
    bar.right = full.left + width;
    drawing.fill(bar, k, true);
    show_result(k, *speed);
    drawing.marker(bar);
    drain_page_and_sheet();
    return speed;
}

// The full-screen mode has wiped the page: the frame is redrawn and every bar painted again.
void repaint_after_full_screen(const RunDrawing& drawing) {
    property_sheet.set_active_page(kTestPageIndex);
    redraw_now(main_frame.hwnd(), RDW_FRAME | RDW_ALLCHILDREN);
    property_sheet.set_active_page(kTestPageIndex);
    for (TestKind k : kRunOrder) {
        const RECT bar = bar_area(k);
        drawing.fill(bar, k, false);
        drawing.marker(bar, false);
    }
}

void between_tests(int k) {
    if (k == kMemoryTest) {
        drain_page_and_sheet();
        QMsgLog("-----bef wait2: time=%d", clock_now());
        drain_page_and_sheet();
        QMsgLog("-----aft wait: time=%d", clock_now());
    } else if (k == kDiskTest) {
        Sleep(500);
        drain_page_and_sheet();
    }
}

// What the run turns off at its start and gives back on every way out of it.
void enable_run_buttons(bool stop, bool help) {
    if (stop)
        test_page.enable_item(QTestPage::kStopButton, true);
    if (help)
        test_page.enable_item(QTestPage::kHelpButton, true);
}

void end_of_run(RunDrawing& drawing, uint32_t start_time) {
    run_recording.finish();
    contrast_selectors_filled = 0;
    machine_list.current_stored = 0;
    drawing.release_marker();
    drawing.release_brushes();
    QMsgLog("\nEnd No.%d test at %d , 测试消耗时间：%d", run_number, clock_now(),
            static_cast<int>(ms_timer() - start_time));
    test_running = 0;

    if (stop_requested) {
        stop_requested = 0;
        run_recording.delete_picture();
        enable_run_buttons(false, true);
        redraw_now(property_sheet.hwnd(), RDW_ALLCHILDREN);
    } else if (pre_test_flag) {
        set_amounts_after_pre_test(current_system_entry());
        close_welcome();
        enable_run_buttons(true, true);
        pre_test_flag = 0;
        pre_tested = 1;
    } else {
        mark = overall_score(current_system_entry());
        QMsgLog("+++++OK:\tTavoliMARK=%4.2f", static_cast<double>(mark));
        if (current_system_entry().option_flags == 0) {
            QScoreDlg score;
            score.run(main_frame.hwnd());
        }
        results_ready = 1;
        test_page.enable_item(QTestPage::kAnalysisButton, true);
        enable_run_buttons(false, true);
    }
}

// A test failed and has told the user: the run ends where it is. The bars and texts drawn so
// far stay; the buttons the run took come back, and a failed pre-test lets its window go.
void failed_run(RunDrawing& drawing) {
    run_recording.discard_unfinished();
    drawing.release_marker();
    drawing.release_brushes();
    stop_requested = 0;
    test_running = 0;
    enable_run_buttons(true, true);
    if (pre_test_flag)
        close_welcome();
    QMsgLog("*****Error:\tNo.%d test failed at %d", run_number, clock_now());
}

} // namespace

void drain_page_and_sheet() {
    QMsgPump(test_page.hwnd());
    QMsgPump(property_sheet.hwnd());
}

void run_benchmark() {
    if (test_running)
        return;
    test_running = 1;
    const uint32_t start_time = ms_timer();
    ++run_number;
    QMsgLog("\nBegin No.%d test at %d......", run_number, clock_now());

    if (pre_test_flag)
        test_page.enable_item(QTestPage::kStopButton, false);
    test_page.enable_item(QTestPage::kHelpButton, false);
    test_page.enable_item(QTestPage::kAnalysisButton, false);
    // The machine-information dialog would stay over the screen the DirectDraw test takes; its
    // clock does nothing while it is hidden, and the next 机器信息 shows it again.
    if (HWND info = contrast_page.info_dialog().hwnd())
        ShowWindow(info, SW_HIDE);

    read_options_from_page();
    property_sheet.set_active_page(kTestPageIndex);
    log_options(run_options);
    if (keep_sse_over_3dnow(run_options)) {
        QMsgBox("不允许同时使用SSE和3DNOW! \n现在仅使用SSE进行测试。");
        setup_page.set_check(QSetupPage::kUse3dnow, false);
    }
    keep_to_the_processor(run_options);
    current_system_entry().option_flags = option_flags(run_options);

    RunDrawing drawing(test_page.hwnd());
    drawing.make_brushes();
    QMsgPump(property_sheet.hwnd());

    test_page.enable_item(QTestPage::kAnalysisButton, false);
    drawing.select_marker(frame_gdi.marker.get());
    run_recording.delete_picture();
    run_recording.begin(test_page.hwnd());
    // The sheet clips its pages: they are redrawn with it, so that the last run's bars go.
    redraw_now(property_sheet.hwnd(), RDW_ALLCHILDREN);

    // The passes of the tests are timed one by one: the timer ticks every millisecond until the
    // tests are done.
    std::optional<FinestTimerPeriod> finest_timer;
    finest_timer.emplace();
    QMsgLog("Float control word2=%X", x87_control_word());
    load_run_control_word();
    // A lambda, not the function's address: std::function keeps the type of what it holds, and
    // a function pointer's type description brings in the C++ runtime's pointer matching for
    // exceptions, which is built for the P6 instruction set.
    set_work_amounts(run_options, [](int passes) { return quick_integer_speed(passes); });
    for (int k = 0; k < kTestCount; ++k)
        QMsgLog("pre_test_flag=%d pre_tested=%d m_times[%d]=%d", pre_test_flag, pre_tested, k,
                m_times[k]);
    drain_page_and_sheet();

    for (TestKind k : kRunOrder) {
        property_sheet.set_active_page(kTestPageIndex);
        if (!run_test(k, drawing)) {
            failed_run(drawing);
            return;
        }
        if (k == kDirectDrawTest)
            repaint_after_full_screen(drawing);
        if ((k == kMemoryTest || k == kDiskTest) && stop_requested)
            break;
        between_tests(k);
    }
    finest_timer.reset();
    end_of_run(drawing, start_time);
}
