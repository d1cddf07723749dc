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
#include "ui/late_bound.h"
#include "ui/text_api.h"

namespace {
constexpr size_t kRegistryTextLimit = 255;

std::string cut_gbk(std::string text, size_t limit) {
    text.resize(gbk_fit_length(text, limit));
    return text;
}

class RegistryKey {
public:
    RegistryKey(HKEY root, const char* path) {
        key_ = ui::registry_open(root, path, KEY_READ);
    }
    ~RegistryKey() {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    explicit operator bool() const { return key_ != nullptr; }

    bool number(const char* name, DWORD& value) const {
        const std::optional<uint32_t> number = ui::registry_dword(key_, name);
        if (number)
            value = *number;
        return number.has_value();
    }
    // A text or a list of texts, its NULs kept; empty when missing.
    std::string text(const char* name) const {
        return ui::registry_text(key_, name, kRegistryTextLimit).value_or(std::string());
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
        return cut_gbk(ui::computer_name(), 63);
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
        return ui::drive_type(root(letter).c_str()) == DRIVE_FIXED;
    }
    bool disk_space(char letter, uint64_t& total, uint64_t& free) override {
        uint64_t available = 0;
        return ui::disk_free_space(root(letter).c_str(), available, total, free);
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
    static std::string root(char letter) {
        return std::string(1, letter) + ":\\";
    }
};
} // namespace

MemoryFacts memory_status() {
    // The extended status where there is one: the plain one caps each amount at 2 GB in 32-bit
    // code.
    const ui::MemoryAmounts amounts = ui::memory_amounts();
    MemoryFacts facts;
    facts.total_physical = amounts.total_physical;
    facts.available_physical = amounts.available_physical;
    facts.total_page_file = amounts.total_page_file;
    facts.available_page_file = amounts.available_page_file;
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
