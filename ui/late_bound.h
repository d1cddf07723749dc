#pragma once
#include <windows.h>

#include <cstdint>
// Functions that the oldest systems kalvit runs on (Windows 95, NT 4.0) do not have, or have
// only with a later Internet Explorer: each is looked up when it is first needed, and an older
// call or a plain refusal stands in where it is missing.

namespace ui {

// The common controls: InitCommonControlsEx, or the first comctl32's InitCommonControls.
void init_common_controls();

struct MemoryAmounts {
    uint64_t total_physical = 0, available_physical = 0;
    uint64_t total_page_file = 0, available_page_file = 0;
};
// GlobalMemoryStatusEx, or GlobalMemoryStatus (which caps each amount at 2 GB in 32-bit code).
MemoryAmounts memory_amounts();

// The free and total bytes of a drive, GBK root ("c:\"): GetDiskFreeSpaceEx, or
// GetDiskFreeSpace's clusters (which the first Windows 95 has alone, and which stop at 2 GB).
bool disk_free_space(const char* gbk_root, uint64_t& caller_free, uint64_t& total,
                     uint64_t& total_free);

// Shows a topic of a compiled help file ("file.chm::/topic.htm"), GBK; false when the system has
// no HTML Help (hhctrl.ocx comes with Internet Explorer 4 and later).
bool html_help(HWND caller, const char* gbk_address);

// Marks a folder as a system folder (shlwapi.dll of Internet Explorer 4 and later); false when
// the system cannot.
bool make_system_folder(const char* gbk_path);

} // namespace ui

namespace ui {
// Tests: as if none of the looked-up functions existed (true) or as the system has them.
void pretend_late_bound_missing(bool missing);
} // namespace ui
