#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "sysinfo/cpu_clock.h"
#include "sysinfo/cpu_id.h"
// Collecting the machine-information text: fifteen lines in a fixed order, from the computer
// name to the time of collection. What the platform reports comes through MachinePlatform, so
// that the order, the formats and the clock refinement are the same code on every platform.

constexpr int kCheckBox3DNow = 1055;
constexpr int kCheckBoxSse = 1056;

struct DisplayFacts {
    std::string description; // GBK
    uint32_t vendor_id = 0;
    uint32_t device_id = 0;
    uint32_t surface_bytes = 0; // total video memory for surfaces
    uint32_t width = 0, height = 0, bits = 0; // the current display mode
};

struct MemoryFacts {
    uint64_t total_physical = 0, available_physical = 0;
    uint64_t total_page_file = 0, available_page_file = 0;
};

struct VersionFacts {
    uint32_t platform_id = 0, major = 0, minor = 0, build = 0;
};

class MachinePlatform {
public:
    virtual ~MachinePlatform() = default;
    virtual std::string computer_name() = 0;
    virtual uint32_t identify(CpuIdentity& record) = 0;
    // Only called on a processor with a time-stamp counter.
    virtual ClockSample sample() = 0;
    virtual void sleep_ms(uint32_t ms) = 0;
    // The registry's "~MHz" of the first processor; false when it cannot be read.
    virtual bool registry_mhz(uint32_t& mhz) = 0;
    // Greys out a check box of the options page.
    virtual void disable_option_box(int id) = 0;
    // The display adapter through the open DirectDraw connection or an object made for the
    // question; false, after reporting it, when no object could be made.
    virtual bool display(DisplayFacts& facts) = 0;
    virtual uint32_t logical_drives() = 0;
    virtual bool fixed_drive(char letter) = 0;
    virtual bool disk_space(char letter, uint64_t& total, uint64_t& free) = 0;
    // Two values of a key under HKEY_LOCAL_MACHINE as GBK bytes (a list keeps its NULs), at most
    // 255 bytes each; false when the key cannot be opened. A missing value reads empty.
    virtual bool registry_pair(const char* key, const char* first, const char* second,
                               std::string& first_value, std::string& second_value) = 0;
    virtual MemoryFacts memory() = 0;
    virtual VersionFacts version() = 0;
    virtual std::tm local_time() = 0;
};

// The disk-space item, computed by the first collection of the process and kept.
extern char disk_space_text[256];

// Fills a 1024-byte text; 1 on success, 0 when no DirectDraw object could be made (the text then
// ends after the clock).
int collect_machine_info(MachinePlatform& platform, char* text);
