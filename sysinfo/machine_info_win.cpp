#include "sysinfo/machine_info_win.h"

#include <windows.h>
#include <ddraw.h>
#include <mmsystem.h>
#include <x86intrin.h>

#include <string>

#include "engine/directx.h"
#include "shell/bench_app.h"
#include "shell/sheet.h"
#include "sysinfo/machine_info.h"
#include "ui/gbk.h"

namespace {
constexpr size_t kRegistryTextLimit = 255;

std::string cut_gbk(std::string text, size_t limit) {
    text.resize(gbk_fit_length(text, limit));
    return text;
}

class RegistryKey {
public:
    RegistryKey(HKEY root, const char* path) {
        if (RegOpenKeyExW(root, to_wide(path).c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~RegistryKey() {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    explicit operator bool() const { return key_ != nullptr; }

    bool number(const char* name, DWORD& value) const {
        DWORD size = sizeof value, type = 0;
        return RegQueryValueExW(key_, to_wide(name).c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
               size == sizeof value;
    }
    // A text or a list of texts, its NULs kept; empty when missing.
    std::string text(const char* name) const {
        wchar_t buffer[kRegistryTextLimit + 1] = {};
        DWORD size = sizeof buffer - sizeof(wchar_t);
        if (RegQueryValueExW(key_, to_wide(name).c_str(), nullptr, nullptr,
                             reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
            return {};
        return cut_gbk(to_gbk(std::wstring_view(buffer, size / sizeof(wchar_t))),
                       kRegistryTextLimit);
    }

private:
    HKEY key_ = nullptr;
};

ClockSample read_clock() {
    ClockSample s;
    s.ms = timeGetTime();
    uint64_t tsc = __rdtsc();
    s.tsc_low = static_cast<uint32_t>(tsc);
    s.tsc_high = static_cast<uint32_t>(tsc >> 32);
    return s;
}

class WindowsMachine : public MachinePlatform {
public:
    std::string computer_name() override {
        wchar_t name[64] = {};
        DWORD size = 64;
        if (!GetComputerNameW(name, &size))
            return {};
        return cut_gbk(to_gbk(name), 63);
    }
    uint32_t identify(CpuIdentity& record) override { return identify_cpu(&record); }
    ClockSample sample() override { return read_clock(); }
    void sleep_ms(uint32_t ms) override { Sleep(ms); }
    bool registry_mhz(uint32_t& mhz) override {
        RegistryKey key(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0");
        DWORD value = 0;
        if (!key || !key.number("~MHz", value))
            return false;
        mhz = value;
        return true;
    }
    void disable_option_box(int id) override {
        if (HWND box = setup_page.item(id))
            EnableWindow(box, FALSE);
    }
    bool display(DisplayFacts& facts) override {
        IDirectDraw7* dd = directx.dd_open ? directx.dd : nullptr;
        IDirectDraw7* created = nullptr;
        if (dd == nullptr) {
            HRESULT hr = create_direct_draw(&created);
            if (FAILED(hr) || created == nullptr) {
                GetDxError("*****Error: 不能创建 DirectDraw对象!", hr);
                return false;
            }
            dd = created;
        }
        DDDEVICEIDENTIFIER2 id{};
        if (SUCCEEDED(dd->GetDeviceIdentifier(&id, 0))) {
            // The driver's description is in the system's ANSI code page.
            id.szDescription[MAX_DDDEVICEID_STRING - 1] = '\0';
            wchar_t wide[MAX_DDDEVICEID_STRING] = {};
            MultiByteToWideChar(CP_ACP, 0, id.szDescription, -1, wide, MAX_DDDEVICEID_STRING);
            facts.description = to_gbk(wide);
            facts.vendor_id = id.dwVendorId;
            facts.device_id = id.dwDeviceId;
        }
        DDSCAPS2 caps{};
        caps.dwCaps = DDSCAPS_VIDEOMEMORY;
        DWORD total = 0, free = 0;
        if (SUCCEEDED(dd->GetAvailableVidMem(&caps, &total, &free)))
            facts.surface_bytes = total;
        DDSURFACEDESC2 mode{};
        mode.dwSize = sizeof mode;
        if (SUCCEEDED(dd->GetDisplayMode(&mode))) {
            facts.width = mode.dwWidth;
            facts.height = mode.dwHeight;
            facts.bits = mode.ddpfPixelFormat.dwRGBBitCount;
        }
        if (created != nullptr)
            created->Release();
        return true;
    }
    uint32_t logical_drives() override { return GetLogicalDrives(); }
    bool fixed_drive(char letter) override {
        return GetDriveTypeW(root(letter).c_str()) == DRIVE_FIXED;
    }
    bool disk_space(char letter, uint64_t& total, uint64_t& free) override {
        ULARGE_INTEGER available{}, all{}, all_free{};
        if (!GetDiskFreeSpaceExW(root(letter).c_str(), &available, &all, &all_free))
            return false;
        total = all.QuadPart;
        free = all_free.QuadPart;
        return true;
    }
    bool registry_pair(const char* path, const char* first, const char* second,
                       std::string& first_value, std::string& second_value) override {
        RegistryKey key(HKEY_LOCAL_MACHINE, path);
        if (!key)
            return false;
        first_value = key.text(first);
        second_value = key.text(second);
        return true;
    }
    MemoryFacts memory() override { return memory_status(); }
    VersionFacts version() override {
        return {static_cast<uint32_t>(os_version.dwPlatformId),
                static_cast<uint32_t>(os_version.dwMajorVersion),
                static_cast<uint32_t>(os_version.dwMinorVersion),
                static_cast<uint32_t>(os_version.dwBuildNumber)};
    }
    std::tm local_time() override { return local_time_now(); }

private:
    static std::wstring root(char letter) {
        return std::wstring(1, static_cast<wchar_t>(letter)) + L":\\";
    }
};
} // namespace

MemoryFacts memory_status() {
    // The extended status: the plain one caps physical memory at 2 GB in 32-bit code.
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    MemoryFacts facts;
    if (GlobalMemoryStatusEx(&status)) {
        facts.total_physical = status.ullTotalPhys;
        facts.available_physical = status.ullAvailPhys;
        facts.total_page_file = status.ullTotalPageFile;
        facts.available_page_file = status.ullAvailPageFile;
    }
    return facts;
}

std::tm local_time_now() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    std::tm t{};
    t.tm_year = now.wYear - 1900;
    t.tm_mon = now.wMonth - 1;
    t.tm_mday = now.wDay;
    t.tm_hour = now.wHour;
    t.tm_min = now.wMinute;
    t.tm_sec = now.wSecond;
    return t;
}

int collect_machine_info(char* text) {
    WindowsMachine machine;
    return collect_machine_info(machine, text);
}

bool take_clock_sample(ClockSample& sample) {
    static const bool has_counter = (identify_cpu(nullptr) & kCpuTsc) != 0;
    if (!has_counter)
        return false;
    sample = read_clock();
    return true;
}
