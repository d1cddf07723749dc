// The resource counter of the soak driver: each figure follows objects made and freed in this
// process, and in another one (Wine's notepad) the GDI figures follow bitmaps it is made to leak.
#include <windows.h>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "tests/wine/driver.h"
#include "tests/wine/process_counters.h"

namespace {

constexpr int kObjects = 5;
using counters::GdiObjects;

GdiObjects own_gdi() {
    std::wstring why;
    const std::optional<GdiObjects> gdi = counters::gdi_objects(GetCurrentProcess(), &why);
    EXPECT_TRUE(gdi) << why;
    return gdi.value_or(GdiObjects{});
}

struct GdiKind {
    const char* name;
    std::function<HGDIOBJ()> make;
    int GdiObjects::*field;
    int entry_type;
};

TEST(ProcessCounters, GdiObjectsFollowEachKindMadeAndDeleted) {
    static const PALETTEENTRY colours[1] = {{1, 2, 3, 0}};
    const GdiKind kinds[] = {
        {"bitmap", [] { return CreateBitmap(4, 4, 1, 1, nullptr); }, &GdiObjects::bitmap, 0x09},
        {"brush", [] { return CreateSolidBrush(RGB(1, 2, 3)); }, &GdiObjects::brush, 0x10},
        {"pen", [] { return CreatePen(PS_SOLID, 2, RGB(1, 2, 3)); }, &GdiObjects::pen, 0x30},
        {"font",
         [] {
             return CreateFontW(13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                                L"Tahoma");
         },
         &GdiObjects::font, 0x0A},
        {"region", [] { return CreateRectRgn(0, 0, 7, 9); }, &GdiObjects::region, 0x04},
        {"palette",
         [] {
             struct {
                 WORD version, count;
                 PALETTEENTRY entries[1];
             } palette{0x300, 1, {colours[0]}};
             return CreatePalette(reinterpret_cast<LOGPALETTE*>(&palette));
         },
         &GdiObjects::palette, 0x08},
        {"memory dc", [] { return CreateCompatibleDC(nullptr); }, &GdiObjects::dc, 0x41},
    };
    for (const GdiKind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        // The first of a kind may bring objects that stay (the first memory DC's display).
        HGDIOBJ first = kind.make();
        kind.field == &GdiObjects::dc ? DeleteDC(static_cast<HDC>(first)) : DeleteObject(first);
        const GdiObjects before = own_gdi();
        std::vector<HGDIOBJ> made;
        for (int i = 0; i < kObjects; ++i)
            made.push_back(kind.make());
        ASSERT_NE(made.back(), nullptr);
        EXPECT_EQ(counters::gdi_entry_type(GetCurrentProcess(), made.back()), kind.entry_type);
        const GdiObjects during = own_gdi();
        for (HGDIOBJ object : made)
            kind.field == &GdiObjects::dc ? DeleteDC(static_cast<HDC>(object))
                                          : DeleteObject(object);
        const GdiObjects after = own_gdi();
        EXPECT_EQ(during.total, before.total + kObjects);
        EXPECT_EQ(during.*kind.field, before.*kind.field + kObjects);
        EXPECT_EQ(after.total, before.total);
        EXPECT_EQ(after.*kind.field, before.*kind.field);
        EXPECT_FALSE(counters::gdi_entry_type(GetCurrentProcess(), made.back()));
    }
}

TEST(ProcessCounters, HandlesWindowsAndMemoryFollowWhatIsMade) {
    // A top-level window of the thread brings the system's hidden IME window along for as long
    // as it has one.
    HWND first =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
    const std::optional<counters::Counts> before = counters::counts(GetCurrentProcess());
    ASSERT_TRUE(before);
    std::vector<ui::Handle> events;
    for (int i = 0; i < kObjects; ++i)
        events.emplace_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // Windows of each kind the count walks: top-level, child, grandchild and message-only.
    HWND top = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                               nullptr, nullptr);
    HWND child =
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 9, 9, top, nullptr, nullptr, nullptr);
    CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 9, 9, child, nullptr, nullptr, nullptr);
    HWND message_only =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 9, 9, message_only, nullptr, nullptr,
                    nullptr);
    constexpr SIZE_T kBlock = 48 << 20;
    auto* block = static_cast<BYTE*>(VirtualAlloc(nullptr, kBlock, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    for (SIZE_T at = 0; at < kBlock; at += 4096)
        block[at] = 1;
    const std::optional<counters::Counts> during = counters::counts(GetCurrentProcess());
    VirtualFree(block, 0, MEM_RELEASE);
    DestroyWindow(top);
    DestroyWindow(message_only);
    events.clear();
    const std::optional<counters::Counts> after = counters::counts(GetCurrentProcess());
    ASSERT_TRUE(during && after);
    EXPECT_EQ(during->handles, before->handles + kObjects);
    EXPECT_EQ(during->windows, before->windows + 5);
    EXPECT_GE(during->private_bytes, before->private_bytes + kBlock);
    EXPECT_GE(during->working_set, before->working_set + kBlock * 9 / 10);
    EXPECT_EQ(after->handles, before->handles);
    EXPECT_EQ(after->windows, before->windows);
    DestroyWindow(first);
    EXPECT_LT(after->private_bytes, during->private_bytes - kBlock * 9 / 10);
}

TEST(ProcessCounters, AnotherProcessMadeToLeakBitmaps) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::optional<driver::Process> notepad =
        driver::Process::start(driver::join_path(system, L"notepad.exe"), L"", system, L"");
    ASSERT_TRUE(notepad);
    ASSERT_TRUE(driver::wait_until([&] { return counters::window_count(notepad->id()) > 0; },
                                   driver::kStartTimeoutMs));
    WaitForInputIdle(notepad->handle(), driver::kStepTimeoutMs);
    std::wstring why;
    const std::optional<counters::Counts> before = counters::counts(notepad->handle(), &why);
    ASSERT_TRUE(before) << why;
    EXPECT_GT(before->gdi.total, 0);
    EXPECT_GT(before->handles, 0u);
    EXPECT_GT(before->working_set, 0u);
    EXPECT_GT(before->private_bytes, 0u);
    for (int leaked : {1, kObjects}) {
        SCOPED_TRACE(leaked);
        const GdiObjects start = counters::gdi_objects(notepad->handle()).value_or(GdiObjects{});
        ASSERT_TRUE(counters::leak_bitmaps(notepad->handle(), leaked, &why)) << why;
        const GdiObjects end = counters::gdi_objects(notepad->handle()).value_or(GdiObjects{});
        EXPECT_EQ(end.bitmap, start.bitmap + leaked);
        EXPECT_EQ(end.total, start.total + leaked);
    }
    notepad->terminate();
}

} // namespace
