#pragma once
#include <windows.h>

#include <optional>
#include <string>

// Resource figures of another process of the same prefix and architecture, read in ways that
// give real numbers under Wine, where GetGuiResources answers 0 for everything:
// - GDI objects from the process's own GDI handle table, which Wine keeps in the Windows layout
//   (PEB->GdiSharedHandleTable: 65536 entries, an entry in use has a nonzero type);
// - "user objects" as the process's windows: top-level, message-only and all their descendants;
// - kernel handles from the system's handle list (NtQuerySystemInformation), entries of the
//   process (GetProcessHandleCount answers 0 under Wine);
// - the working set from GetProcessMemoryInfo, and private bytes as the committed private
//   regions of VirtualQueryEx (Wine's PrivateUsage is the swap in use, mostly 0).
// The process handle needs PROCESS_QUERY_INFORMATION and PROCESS_VM_READ (a handle from
// CreateProcess has them).

namespace counters {

struct GdiObjects {
    int total = 0;
    int dc = 0, region = 0, bitmap = 0, palette = 0, font = 0, brush = 0, pen = 0, other = 0;
    int by_type[0x80] = {}; // by the entry's type bits, for the kinds counted as other
};

struct Counts {
    GdiObjects gdi;
    int windows = 0;
    DWORD handles = 0;
    SIZE_T working_set = 0, private_bytes = 0;
};

// Empty (and why) when the process's table cannot be read.
std::optional<GdiObjects> gdi_objects(HANDLE process, std::wstring* why = nullptr);
int window_count(DWORD pid);
std::optional<DWORD> handle_count(DWORD pid);
SIZE_T private_bytes(HANDLE process);
std::optional<Counts> counts(HANDLE process, std::wstring* why = nullptr);

// The type of a GDI object as its table entry gives it (0x09 a bitmap, 0x10 a brush, 0x30 a pen,
// ...); empty when the entry is free or the table cannot be read.
std::optional<int> gdi_entry_type(HANDLE process, HGDIOBJ object);

// Makes the process create `count` 1x1 bitmaps that it never deletes: each one by a thread of
// its own, started in it on gdi32's CreateBitmapIndirect with a BITMAP written into its memory.
// Refused (false, and why) when gdi32 is not loaded at this process's address in the target.
bool leak_bitmaps(HANDLE process, int count, std::wstring* why = nullptr);

// "dc 12 bitmap 3 ... type 0x06 2" for the kinds that are nonzero, other kinds by their type.
std::wstring describe(const GdiObjects& gdi);
// From one count to the next: "+10 (dc +5 bitmap +5)", the kinds that changed; "0" for none.
std::wstring describe_change(const GdiObjects& from, const GdiObjects& to);

} // namespace counters
