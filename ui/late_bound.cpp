#include "ui/late_bound.h"

#include <commctrl.h>
#include <htmlhelp.h>

#include "ui/gbk.h"
#include "ui/text_api.h"

namespace ui {

namespace {
bool pretend_missing = false;

// A function of a system library, null when the library or the function is missing. The
// library stays loaded for the process.
template <class F> F* look_up(const char* library, const char* function) {
    if (pretend_missing)
        return nullptr;
    HMODULE module = GetModuleHandleA(library);
    if (module == nullptr)
        module = LoadLibraryA(library);
    return module != nullptr
               ? reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(module, function)))
               : nullptr;
}

uint64_t product(DWORD a, DWORD b, DWORD c) {
    return static_cast<uint64_t>(a) * static_cast<uint64_t>(b) * static_cast<uint64_t>(c);
}
} // namespace

void pretend_late_bound_missing(bool missing) {
    pretend_missing = missing;
}

void init_common_controls() {
    using InitEx = BOOL WINAPI(const INITCOMMONCONTROLSEX*);
    if (auto* init_ex = look_up<InitEx>("comctl32.dll", "InitCommonControlsEx")) {
        INITCOMMONCONTROLSEX icc{sizeof icc,
                                 ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
        if (init_ex(&icc))
            return;
    }
    InitCommonControls();
}

MemoryAmounts memory_amounts() {
    MemoryAmounts amounts;
    using StatusEx = BOOL WINAPI(MEMORYSTATUSEX*);
    if (auto* status_ex = look_up<StatusEx>("kernel32.dll", "GlobalMemoryStatusEx")) {
        MEMORYSTATUSEX status{};
        status.dwLength = sizeof status;
        if (status_ex(&status)) {
            amounts = {status.ullTotalPhys, status.ullAvailPhys, status.ullTotalPageFile,
                       status.ullAvailPageFile};
            return amounts;
        }
    }
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    return {status.dwTotalPhys, status.dwAvailPhys, status.dwTotalPageFile, status.dwAvailPageFile};
}

bool disk_free_space(const char* gbk_root, uint64_t& caller_free, uint64_t& total,
                     uint64_t& total_free) {
    // The extended call where there is one: it counts past 2 GB and the caller's quota.
    ULARGE_INTEGER available{}, bytes{}, free_bytes{};
    using FreeExW = BOOL WINAPI(LPCWSTR, ULARGE_INTEGER*, ULARGE_INTEGER*, ULARGE_INTEGER*);
    using FreeExA = BOOL WINAPI(LPCSTR, ULARGE_INTEGER*, ULARGE_INTEGER*, ULARGE_INTEGER*);
    auto* free_ex_w =
        wide_api() ? look_up<FreeExW>("kernel32.dll", "GetDiskFreeSpaceExW") : nullptr;
    auto* free_ex_a =
        wide_api() ? nullptr : look_up<FreeExA>("kernel32.dll", "GetDiskFreeSpaceExA");
    if (free_ex_w != nullptr || free_ex_a != nullptr) {
        const BOOL ok = free_ex_w != nullptr
                            ? free_ex_w(to_wide(gbk_root).c_str(), &available, &bytes, &free_bytes)
                            : free_ex_a(gbk_root, &available, &bytes, &free_bytes);
        caller_free = available.QuadPart;
        total = bytes.QuadPart;
        total_free = free_bytes.QuadPart;
        return ok != FALSE;
    }
    DWORD sectors = 0, sector_bytes = 0, free_clusters = 0, clusters = 0;
    const BOOL ok = wide_api() ? GetDiskFreeSpaceW(to_wide(gbk_root).c_str(), &sectors,
                                                   &sector_bytes, &free_clusters, &clusters)
                               : GetDiskFreeSpaceA(gbk_root, &sectors, &sector_bytes,
                                                   &free_clusters, &clusters);
    if (!ok)
        return false;
    total_free = product(sectors, sector_bytes, free_clusters);
    caller_free = total_free;
    total = product(sectors, sector_bytes, clusters);
    return true;
}

bool html_help(HWND caller, const char* gbk_address) {
    if (wide_api()) {
        using HelpW = HWND WINAPI(HWND, LPCWSTR, UINT, DWORD_PTR);
        auto* help = look_up<HelpW>("hhctrl.ocx", "HtmlHelpW");
        if (help == nullptr)
            return false;
        help(caller, to_wide(gbk_address).c_str(), HH_DISPLAY_TOPIC, 0);
        return true;
    }
    using HelpA = HWND WINAPI(HWND, LPCSTR, UINT, DWORD_PTR);
    auto* help = look_up<HelpA>("hhctrl.ocx", "HtmlHelpA");
    if (help == nullptr)
        return false;
    help(caller, gbk_address, HH_DISPLAY_TOPIC, 0);
    return true;
}

bool make_system_folder(const char* gbk_path) {
    if (wide_api()) {
        using MakeW = BOOL WINAPI(LPCWSTR);
        auto* make = look_up<MakeW>("shlwapi.dll", "PathMakeSystemFolderW");
        return make != nullptr && make(to_wide(gbk_path).c_str());
    }
    using MakeA = BOOL WINAPI(LPCSTR);
    auto* make = look_up<MakeA>("shlwapi.dll", "PathMakeSystemFolderA");
    return make != nullptr && make(gbk_path);
}

} // namespace ui
