#include "bench/process_counters.h"

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <iterator>
#include <vector>

#include "ui/handles.h"

namespace counters {

namespace {

// One entry of the GDI handle table as Wine lays it out (the Windows layout), the same size in
// 32- and 64-bit processes.
struct TableEntry {
    uint64_t object;
    uint32_t owner;
    uint8_t ext_type; // the handle's type bits (7) and the stock flag
    uint8_t generation;
    uint8_t type; // the base type; 0 marks a free entry
    uint8_t flags;
    uint64_t user_pointer;
};
static_assert(sizeof(TableEntry) == 24);
constexpr size_t kTableEntries = 0x10000;
constexpr size_t kChunkEntries = 0x1000;

// PEB::GdiSharedHandleTable.
#ifdef _WIN64
constexpr size_t kPebGdiTable = 0xF8;
#else
constexpr size_t kPebGdiTable = 0x94;
#endif

void tell(std::wstring* why, const std::wstring& text) {
    if (why != nullptr)
        *why = text;
}

std::optional<uintptr_t> gdi_table(HANDLE process, std::wstring* why) {
    PROCESS_BASIC_INFORMATION info{};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &info, sizeof info, nullptr) !=
        0) {
        tell(why, L"NtQueryInformationProcess failed");
        return std::nullopt;
    }
    uintptr_t table = 0;
    SIZE_T read = 0;
    if (!ReadProcessMemory(process,
                           reinterpret_cast<const BYTE*>(info.PebBaseAddress) + kPebGdiTable,
                           &table, sizeof table, &read) ||
        read != sizeof table || table == 0) {
        tell(why, L"the process's PEB has no GDI handle table");
        return std::nullopt;
    }
    return table;
}

// The kinds by the entry's type bits.
struct Kind {
    const wchar_t* name;
    int GdiObjects::*field;
    uint8_t types[4];
};
constexpr Kind kKinds[] = {
    {L"dc", &GdiObjects::dc, {0x01, 0x21, 0x41, 0x66}}, // DC, enhanced metafile, memory, metafile
    {L"region", &GdiObjects::region, {0x04}},
    {L"bitmap", &GdiObjects::bitmap, {0x09}},
    {L"palette", &GdiObjects::palette, {0x08}},
    {L"font", &GdiObjects::font, {0x0A}},
    {L"brush", &GdiObjects::brush, {0x10}},
    {L"pen", &GdiObjects::pen, {0x30, 0x50}}, // pen, extended pen
};

const Kind* kind_of(int type) {
    for (const Kind& kind : kKinds)
        if (std::find(std::begin(kind.types), std::end(kind.types), type) != std::end(kind.types))
            return &kind;
    return nullptr;
}

void count_entry(const TableEntry& e, GdiObjects& gdi) {
    if (e.type == 0)
        return;
    const int type = e.ext_type & 0x7F;
    ++gdi.total;
    ++gdi.by_type[type];
    const Kind* kind = kind_of(type);
    ++(kind != nullptr ? gdi.*kind->field : gdi.other);
}

// NtQuerySystemInformation's list of every open handle of the system (class 16).
struct HandleEntry {
    ULONG owner_pid;
    BYTE object_type;
    BYTE flags;
    USHORT value;
    void* object;
    ULONG access;
};
struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};
constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
constexpr NTSTATUS kLengthMismatch = static_cast<NTSTATUS>(0xC0000004);

BOOL CALLBACK count_child(HWND, LPARAM n) {
    ++*reinterpret_cast<int*>(n);
    return TRUE;
}

void add_windows(HWND top, int& n) {
    ++n;
    EnumChildWindows(top, count_child, reinterpret_cast<LPARAM>(&n));
}

struct WindowWalk {
    DWORD pid;
    int n;
};

bool owned_by(HWND hwnd, DWORD pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    return owner == pid;
}

BOOL CALLBACK count_top(HWND hwnd, LPARAM p) {
    auto* walk = reinterpret_cast<WindowWalk*>(p);
    if (owned_by(hwnd, walk->pid))
        add_windows(hwnd, walk->n);
    return TRUE;
}

} // namespace

std::optional<GdiObjects> gdi_objects(HANDLE process, std::wstring* why) {
    const std::optional<uintptr_t> table = gdi_table(process, why);
    if (!table)
        return std::nullopt;
    GdiObjects gdi;
    std::vector<TableEntry> chunk(kChunkEntries);
    bool any = false;
    for (size_t first = 0; first < kTableEntries; first += kChunkEntries) {
        SIZE_T read = 0;
        if (!ReadProcessMemory(process,
                               reinterpret_cast<const void*>(*table + first * sizeof(TableEntry)),
                               chunk.data(), chunk.size() * sizeof(TableEntry), &read))
            break; // the rest of the table was never committed
        any = true;
        for (size_t i = 0; i < read / sizeof(TableEntry); ++i)
            count_entry(chunk[i], gdi);
    }
    if (!any) {
        tell(why, L"the GDI handle table cannot be read");
        return std::nullopt;
    }
    return gdi;
}

std::optional<int> gdi_entry_type(HANDLE process, HGDIOBJ object) {
    const std::optional<uintptr_t> table = gdi_table(process, nullptr);
    TableEntry e{};
    SIZE_T read = 0;
    const uintptr_t index = reinterpret_cast<uintptr_t>(object) & 0xFFFF;
    if (!table ||
        !ReadProcessMemory(process, reinterpret_cast<const void*>(*table + index * sizeof e), &e,
                           sizeof e, &read) ||
        read != sizeof e || e.type == 0)
        return std::nullopt;
    return e.ext_type & 0x7F;
}

int window_count(DWORD pid) {
    WindowWalk walk{pid, 0};
    EnumWindows(count_top, reinterpret_cast<LPARAM>(&walk));
    // Message-only windows are not among the top-level windows.
    for (HWND hwnd = nullptr; (hwnd = FindWindowExW(HWND_MESSAGE, hwnd, nullptr, nullptr));)
        if (owned_by(hwnd, pid))
            add_windows(hwnd, walk.n);
    return walk.n;
}

std::optional<DWORD> handle_count(DWORD pid) {
    std::vector<BYTE> buffer(1 << 20);
    NTSTATUS status = kLengthMismatch;
    for (int tries = 0; status == kLengthMismatch && tries < 8; ++tries) {
        ULONG needed = 0;
        status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                          static_cast<ULONG>(buffer.size()), &needed);
        if (status == kLengthMismatch)
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
    if (status != 0)
        return std::nullopt;
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    const size_t fit = (buffer.size() - offsetof(HandleList, entries)) / sizeof(HandleEntry);
    DWORD n = 0;
    for (size_t i = 0; i < list->count && i < fit; ++i)
        n += list->entries[i].owner_pid == pid ? 1 : 0;
    return n;
}

SIZE_T private_bytes(HANDLE process) {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const BYTE* at = nullptr;
         VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= at)
            break;
        at = next;
    }
    return total;
}

std::optional<Counts> counts(HANDLE process, std::wstring* why) {
    Counts c;
    const std::optional<GdiObjects> gdi = gdi_objects(process, why);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (!gdi)
        return std::nullopt;
    const std::optional<DWORD> handles = handle_count(GetProcessId(process));
    if (!handles) {
        tell(why, L"the system's handle list cannot be read");
        return std::nullopt;
    }
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                              sizeof memory)) {
        tell(why, L"GetProcessMemoryInfo failed");
        return std::nullopt;
    }
    c.gdi = *gdi;
    c.handles = *handles;
    c.windows = window_count(GetProcessId(process));
    c.working_set = memory.WorkingSetSize;
    // Wine gives PrivateUsage as the swap in use: the private committed memory is counted here.
    c.private_bytes = private_bytes(process);
    return c;
}

bool leak_bitmaps(HANDLE process, int count, std::wstring* why) {
    HMODULE gdi32 = GetModuleHandleW(L"gdi32.dll");
    auto create = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(
        gdi32 != nullptr ? GetProcAddress(gdi32, "CreateBitmapIndirect") : nullptr));
    if (create == nullptr) {
        tell(why, L"no CreateBitmapIndirect in this process");
        return false;
    }
    // The function's address holds in the target only where gdi32 sits where it sits here.
    HMODULE modules[512];
    DWORD bytes = 0;
    bool same_base = false;
    if (EnumProcessModules(process, modules, sizeof modules, &bytes))
        for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; ++i) {
            wchar_t name[MAX_PATH] = {};
            if (GetModuleBaseNameW(process, modules[i], name, MAX_PATH) &&
                lstrcmpiW(name, L"gdi32.dll") == 0)
                same_base = modules[i] == gdi32;
        }
    if (!same_base) {
        tell(why, L"gdi32.dll is not loaded at the same address in the target");
        return false;
    }
    void* remote =
        VirtualAllocEx(process, nullptr, sizeof(BITMAP), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == nullptr) {
        tell(why, L"VirtualAllocEx failed");
        return false;
    }
    const BITMAP bitmap{0, 1, 1, 2, 1, 1, nullptr};
    bool ok = WriteProcessMemory(process, remote, &bitmap, sizeof bitmap, nullptr) != 0;
    if (!ok)
        tell(why, L"WriteProcessMemory failed");
    for (int i = 0; ok && i < count; ++i) {
        ui::Handle thread(CreateRemoteThread(process, nullptr, 0, create, remote, 0, nullptr));
        DWORD made = 0;
        ok = thread.get() != nullptr && WaitForSingleObject(thread.get(), 10000) == WAIT_OBJECT_0 &&
             GetExitCodeThread(thread.get(), &made) && made != 0;
        if (!ok)
            tell(why, L"the remote CreateBitmapIndirect made no bitmap");
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return ok;
}

std::wstring describe(const GdiObjects& gdi) {
    std::wstring out;
    auto add = [&](const std::wstring& name, int n) {
        if (n != 0)
            out += (out.empty() ? L"" : L" ") + name + L" " + std::to_wstring(n);
    };
    for (const Kind& kind : kKinds)
        add(kind.name, gdi.*kind.field);
    for (int type = 1; type < 0x80; ++type)
        if (kind_of(type) == nullptr) {
            wchar_t name[16];
            std::swprintf(name, 16, L"type 0x%02x", type);
            add(name, gdi.by_type[type]);
        }
    return out;
}

std::wstring describe_change(const GdiObjects& from, const GdiObjects& to) {
    const auto change = [](int a, int b) { return (b > a ? L"+" : L"") + std::to_wstring(b - a); };
    std::wstring kinds;
    for (const Kind& kind : kKinds)
        if (to.*kind.field != from.*kind.field)
            kinds +=
                L" " + std::wstring(kind.name) + L" " + change(from.*kind.field, to.*kind.field);
    if (to.other != from.other)
        kinds += L" other " + change(from.other, to.other);
    return change(from.total, to.total) + (kinds.empty() ? L"" : L" (" + kinds.substr(1) + L")");
}

} // namespace counters
