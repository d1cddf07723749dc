#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>

#include "tests/wine/driver.h"
// shots <folder of kalvit.exe> <output folder>: starts kalvit.exe from its folder, shows each
// page of the sheet in turn and saves the frame's screen area as page<N>-<name>.bmp.

namespace {

struct Page {
    int control_id; // a control that only this page has
    const wchar_t* file;
};
constexpr Page kPages[] = {
    {1082, L"page1-test.bmp"},
    {1031, L"page2-compare.bmp"},
    {1060, L"page3-options.bmp"},
    {1068, L"page4-info.bmp"},
};

// The screen inside rect as a 24-bit bottom-up BMP file.
bool capture_screen(const RECT& rect, const std::wstring& path) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD image_size = stride * static_cast<DWORD>(height);

    ui::WindowDc screen(nullptr);
    ui::MemoryDc memory(CreateCompatibleDC(screen.get()));
    void* bits = nullptr;
    ui::Bitmap dib(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (screen.get() == nullptr || !memory || !dib || bits == nullptr)
        return false;
    {
        ui::ScopedSelect select(memory.get(), dib.get());
        if (!BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY))
            return false;
    }
    GdiFlush();

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + image_size;
    info.bmiHeader.biSizeImage = image_size;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
    bytes.append(static_cast<const char*>(bits), image_size);
    return driver::write_file(path, bytes);
}

int fail(const wchar_t* what) {
    std::fwprintf(stderr, L"shots: %ls\n", what);
    return 1;
}

// Lets the frame's thread work off the click and paint before the picture is taken.
void settle(HWND frame) {
    for (int i = 0; i < 3; ++i) {
        driver::responding(frame);
        Sleep(300);
    }
}

int shoot(const std::wstring& exe, const std::wstring& exe_dir, const std::wstring& out_dir) {
    std::optional<driver::Process> kalvit = driver::Process::start(exe, L"", exe_dir, L"");
    if (!kalvit)
        return fail(L"cannot start kalvit.exe");
    HWND frame = driver::wait_for_frame(*kalvit);
    HWND sheet = frame != nullptr ? driver::find_sheet(frame) : nullptr;
    if (sheet == nullptr)
        return fail((L"no main frame with its sheet appeared; kalvit.exe " +
                     driver::describe_state(*kalvit))
                        .c_str());
    SetForegroundWindow(frame);
    for (const Page& page : kPages) {
        const int index = static_cast<int>(&page - kPages);
        if (driver::select_page(sheet, index, page.control_id) == nullptr)
            return fail((std::wstring(L"page did not show: ") + page.file).c_str());
        settle(frame);
        RECT rect{};
        GetWindowRect(frame, &rect);
        if (!capture_screen(rect, driver::join_path(out_dir, page.file)))
            return fail((std::wstring(L"cannot save ") + page.file).c_str());
    }
    driver::close_window(frame);
    if (!kalvit->wait_exit(driver::kStepTimeoutMs))
        return fail(L"kalvit.exe did not end after WM_CLOSE");
    return 0;
}

int run(const std::wstring& exe_dir, const std::wstring& out_dir) {
    const std::wstring exe = driver::join_path(exe_dir, L"kalvit.exe");
    if (!driver::file_exists(exe))
        return fail((L"no " + exe).c_str());
    CreateDirectoryW(out_dir.c_str(), nullptr);

    // A pre-test would hold the sheet on its first page for a whole benchmark run: start
    // without one and put the user's setting back afterwards.
    std::optional<DWORD> pre_test = driver::profile_dword(L"pre_test_flag");
    driver::set_profile_dword(L"pre_test_flag", 0);
    const int result = shoot(exe, exe_dir, out_dir);
    if (pre_test)
        driver::set_profile_dword(L"pre_test_flag", *pre_test);
    else
        driver::delete_profile_value(L"pre_test_flag");
    return result;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3)
        return fail(L"usage: shots <folder of kalvit.exe> <output folder>");
    return run(argv[1], argv[2]);
}
