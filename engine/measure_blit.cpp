#include "engine/measure_blit.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "engine/blit_loop.h"
#include "engine/blit_rules.h"
#include "engine/clock.h"
#include "engine/directx.h"
#include "engine/measure.h"
#include "engine/pass_clock.h"
#include "engine/model.h"
#include "engine/run_flags.h"
#include "engine/run_rules.h"
#include "engine/benchmark_run.h"
#include "shell/log.h"
#include "shell/main_frame.h"
#include "shell/msg_pump.h"
#include "shell/sheet.h"
#include "ui/handles.h"
#include "ui/text_api.h"

int ddraw_active = 0;

namespace {

struct Mode {
    int width, height, bits;
};

Mode choose_mode(int ddraw_mode, int screen_width, int screen_height) {
    Mode mode{screen_width, screen_height, 16};
    if (ddraw_mode == 0)
        return {1024, 768, 16};
    if (ddraw_mode != 2)
        return mode;
    HWND list = setup_page.item(QSetupPage::kModeList);
    const LRESULT chosen = ui::send(list, CB_GETCURSEL, 0, 0);
    if (chosen == CB_ERR)
        return mode;
    const std::string text = ui::combo_item_text(list, static_cast<int>(chosen));
    Mode parsed = mode;
    int refresh = directx.refresh_rate;
    if (parse_mode_text(text.c_str(), parsed.width, parsed.height, parsed.bits, refresh) < 3)
        return mode;
    directx.refresh_rate = refresh;
    QMsgLog("Init DD use select:%dX%dX%d %d", parsed.width, parsed.height, parsed.bits,
            directx.refresh_rate);
    return parsed;
}

// The screen's mode as the open connection reports it; nothing when it cannot tell.
std::optional<Mode> current_display_mode() {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    if (directx.dd == nullptr || FAILED(directx.dd->GetDisplayMode(&desc)))
        return std::nullopt;
    return Mode{static_cast<int>(desc.dwWidth), static_cast<int>(desc.dwHeight),
                static_cast<int>(desc.ddpfPixelFormat.dwRGBBitCount)};
}

void store_mode(const Mode& mode) {
    MachineRecord& current = current_system_entry();
    current.ddraw_width = static_cast<int16_t>(mode.width);
    current.ddraw_height = static_cast<int16_t>(mode.height);
    current.ddraw_bits = static_cast<int16_t>(mode.bits);
}

// The frame minimised, restored and moved back to where it stood before the test.
class FramePlace {
public:
    FramePlace() { GetWindowRect(main_frame.hwnd(), &saved_); }
    void minimise() const { ShowWindow(main_frame.hwnd(), SW_MINIMIZE); }
    void restore() const { ShowWindow(main_frame.hwnd(), SW_RESTORE); }
    void move_back() const {
        MoveWindow(main_frame.hwnd(), saved_.left, saved_.top, saved_.right - saved_.left,
                   saved_.bottom - saved_.top, TRUE);
    }

private:
    RECT saved_{};
};

// What the test draws the tile with: the captured picture in the run's memory context and the
// label font.
struct Tile {
    HDC picture;
    HFONT font;
    PassClock* clock; // of the loop that is running
};

bool real_blit(void*, const BlitRect& d, const BlitRect& s) {
    RECT destination{d.left, d.top, d.right, d.bottom};
    RECT source{s.left, s.top, s.right, s.bottom};
    directx.dx_result = directx.main_surface->Blt(&destination, directx.src_surface, &source,
                                                  DDBLT_WAIT, nullptr);
    return SUCCEEDED(directx.dx_result);
}

// The empty loop's blit: only the rectangles, computed by the loop, reach it.
bool no_blit(void*, const BlitRect&, const BlitRect&) { return true; }

// The tile gets the frame number. A surface that gives no drawing context this time keeps its
// last label.
void draw_label(const Tile& tile, int frame) {
    HDC dc = nullptr;
    if (FAILED(directx.src_surface->GetDC(&dc)) || dc == nullptr)
        return;
    HGDIOBJ old_font = SelectObject(dc, tile.font);
    SetBkMode(dc, TRANSPARENT);
    StretchBlt(dc, 0, 0, kTileSize, kTileSize, tile.picture, 0, 0, kTileSize, kTileSize,
               SRCCOPY);
    char label[16];
    std::snprintf(label, sizeof label, " Test %02d ", frame);
    SetTextColor(dc, RGB(255, 0, 0));
    ui::text_out(dc, 15, 45, std::string_view(label, 9));
    SelectObject(dc, old_font);
    directx.src_surface->ReleaseDC(dc);
}

// After every frame the queue is drained, as after every pass of the other tests: the program
// answers and the stop button works while the frames are drawn, which takes a minute when the
// blits are done in software. The empty loop drains as often, so the time cancels out.
void relabel(void* context, int frame) {
    const Tile& tile = *static_cast<const Tile*>(context);
    draw_label(tile, frame);
    drain_page_and_sheet();
    tile.clock->pass();
}

// The captured picture onto the source surface, through the surface's drawing context.
bool fill_source_surface(HDC picture) {
    HDC dc = nullptr;
    HRESULT result = directx.src_surface->GetDC(&dc);
    if (result == DDERR_SURFACELOST) {
        QMsgLog("-----Warning: src_surface lost,try to restore");
        const HRESULT restored = directx.src_surface->Restore();
        if (FAILED(restored))
            QMsgLog("*****Error: src_surface->Restore() failed! dx_result=%X",
                    static_cast<unsigned>(restored));
        else
            result = directx.src_surface->GetDC(&dc);
    }
    directx.dx_result = result;
    if (FAILED(result)) {
        GetDxError("*****Error: src_surface->GetDC()失败!", result);
        return false;
    }
    if (dc == nullptr) {
        QMsgLog("*****Error: src_dc.Attach()失败!");
        return false;
    }
    const bool copied = BitBlt(dc, 0, 0, kTileSize, kTileSize, picture, 0, 0, SRCCOPY) != 0;
    if (!copied)
        QMsgLog("*****Error: src_dc.BitBlt() failed!");
    directx.dx_result = directx.src_surface->ReleaseDC(dc);
    if (FAILED(directx.dx_result)) {
        QMsgLog("*****Error: src_surface->ReleaseDC()失败!");
        return false;
    }
    return copied;
}

// Every way out of the test after the connection was asked for.
std::nullopt_t give_up(const FramePlace& frame) {
    CleanDirectX();
    test_running = 0;
    ddraw_active = 0;
    frame.move_back();
    return std::nullopt;
}

} // namespace

std::optional<float> blit_test(int m, int ddraw_mode, HDC memory_dc) {
    ui::Font font(ui::create_font(20, 0, FW_BOLD, false, DEFAULT_CHARSET,
                                  OUT_TT_PRECIS, CLIP_TT_ALWAYS, DEFAULT_QUALITY, DEFAULT_PITCH,
                                  "宋体"));
    const int screen_width = GetSystemMetrics(SM_CXSCREEN);
    const int screen_height = GetSystemMetrics(SM_CYSCREEN);
    Mode mode = choose_mode(ddraw_mode, screen_width, screen_height);
    store_mode(mode);

    static int x[kTilePositions], y[kTilePositions];
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    draw_tile_positions(std::rand, tile_grid(mode.width, mode.height), x, y);

    // The picture is made in the screen's format, which the run's memory context shares
    // whatever bitmap it holds.
    ui::WindowDc screen(nullptr);
    ui::MemoryDc own_memory(memory_dc == nullptr ? CreateCompatibleDC(screen.get()) : nullptr);
    HDC memory = memory_dc != nullptr ? memory_dc : own_memory.get();
    ui::Bitmap picture(CreateCompatibleBitmap(screen.get(), kTileSize, kTileSize));
    ui::ScopedSelect select_picture(memory, picture.get());

    FramePlace frame;
    frame.minimise();
    HWND desktop = GetDesktopWindow();
    RedrawWindow(desktop, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    {
        ui::WindowDc desktop_dc(desktop);
        drain_page_and_sheet();
        const Point at = capture_point(x, y, screen_width, screen_height);
        BitBlt(memory, 0, 0, kTileSize, kTileSize, desktop_dc.get(), at.x, at.y, SRCCOPY);
        if (at == Point{kDefaultCaptureX, kDefaultCaptureY})
            QMsgLog("Capture screen vertex(default): (300,200)");
        else
            QMsgLog("Capture screen vertex: (%d,%d)", at.x, at.y);
    }

    directx.exclusive = 1;
    ddraw_active = 1;
    frame.restore();
    if (!init_directx(mode.width, mode.height, mode.bits)) {
        QMsgLog("*****Error: init_directx() failed!");
        return give_up(frame);
    }
    // In the current mode, the bytes per pixel are the screen's. When the user went on after
    // the switch was refused, the whole mode is the screen's, and so is the tile grid.
    if (ddraw_mode == 1 || directx.mode_kept) {
        if (const std::optional<Mode> screen_mode = current_display_mode()) {
            if (directx.mode_kept) {
                mode = *screen_mode;
                draw_tile_positions(std::rand, tile_grid(mode.width, mode.height), x, y);
            }
            mode.bits = screen_mode->bits;
        }
        store_mode(mode);
    }
    if (!fill_source_surface(memory))
        return give_up(frame);
    drain_page_and_sheet();

    const int frames = blit_frames(m);
    PassClock work_clock(frames), empty_clock(frames);
    Tile tile{memory, font.get(), &work_clock};
    TestHooks hooks;
    hooks.stop = &stop_requested;
    const std::optional<Measurement> kept =
        measure_undisturbed("Blt Test", kWorkAndEmpty, hooks, [&]() -> std::optional<Measurement> {
            tile.clock = &work_clock;
            work_clock.start();
            const BlitLoopResult work = run_blit_frames(frames, &stop_requested, x, y, mode.width,
                                                        mode.height, {real_blit, relabel, &tile});
            if (work.failed) {
                GetDxError("*****Error: main_surface->Blt() failed!", directx.dx_result);
                QMsgLog("src_rt=(%d,%d,%d,%d), des_rt=(%d,%d,%d,%d)", work.source.left,
                        work.source.top, work.source.right, work.source.bottom,
                        work.destination.left, work.destination.top, work.destination.right,
                        work.destination.bottom);
                return std::nullopt;
            }
            const uint32_t work_time = clamp_dtgt(work_clock.elapsed());
            QMsgLog("Blt Test: dtgt0=%d", static_cast<int>(work_time));

            tile.clock = &empty_clock;
            empty_clock.start();
            const BlitLoopResult empty = run_blit_frames(frames, &stop_requested, x, y,
                                                         mode.width, mode.height,
                                                         {no_blit, relabel, &tile});
            Measurement r = timed_loops(work_clock, empty_clock);
            r.dtgt = net_time(work_time, empty_clock.elapsed());
            r.speed = blit_speed(empty.frames, r.dtgt, mode.bits);
            return r;
        });
    if (!kept)
        return give_up(frame);

    CleanDirectX();
    ddraw_active = 0;
    frame.restore();
    frame.move_back();

    const float ratio = effect_ratio(mode.width, mode.height);
    QMsgLog("Blt Test: dtgt=%d , speed=%7.1f M , effect ratio=%4.2f",
            static_cast<int>(kept->dtgt), static_cast<double>(kept->speed),
            static_cast<double>(ratio));
    return clamp_blit_speed(kept->speed);
}
