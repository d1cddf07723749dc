#include "sysinfo/machine_info.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "engine/model.h"
#include "shell/log.h"
#include "sysinfo/machine_text.h"

char disk_space_text[256];

namespace {
constexpr size_t kInfoCapacity = 1024;

// The entry whose display mode the item shows: the stored current system, or the one after the
// stored machines.
const MachineRecord& display_mode_entry() {
    int index = machine_list.current_stored ? machine_list.stored_count - 1
                                            : machine_list.stored_count;
    if (index < 0)
        index = 0;
    if (index > kMachineSlots - 1)
        index = kMachineSlots - 1;
    return machine_list.entries[index];
}

void log_clock(const char* label, const ClockSample& a, const ClockSample& b, uint32_t mhz) {
    QMsgLog("%s: hi=%u , low=%u , dt=%u , mf=%u", label, b.tsc_high - a.tsc_high,
            b.tsc_low - a.tsc_low, b.ms - a.ms, mhz);
}

void build_disk_text(MachinePlatform& platform) {
    DiskTotals totals = walk_fixed_drives(
        platform.logical_drives(), [&](char letter) { return platform.fixed_drive(letter); },
        [&](char letter, uint64_t& total, uint64_t& free) {
            return platform.disk_space(letter, total, free);
        });
    std::snprintf(disk_space_text, sizeof disk_space_text, "总共%" PRIu64 "M 剩余%" PRIu64 "M",
                  static_cast<uint64_t>(totals.total_bytes / 1024 / 1024),
                  static_cast<uint64_t>(totals.free_bytes / 1024 / 1024));
}

void append_bios(MachinePlatform& platform, uint32_t platform_id, InfoText& info) {
    std::string version, date;
    if (platform_id == 1 && platform.registry_pair("Enum\\Root\\*PNP0C01\\0000", "BIOSVersion",
                                                   "BIOSDate", version, date)) {
        info.append(version.c_str());
        info.append("\n");
        info.append(date.c_str());
    } else if (platform_id == 2 &&
               platform.registry_pair("HARDWARE\\DESCRIPTION\\System", "SystemBiosVersion",
                                      "SystemBiosDate", version, date)) {
        char joined[256];
        join_multi_string(version.data(), version.size(), joined, sizeof joined);
        info.append(joined);
        info.append("\n");
        info.append(date.c_str());
    } else {
        info.append("Unknow");
    }
    info.append("\n");
}
} // namespace

int collect_machine_info(MachinePlatform& platform, char* text) {
    collecting = true;
    InfoText info(text, kInfoCapacity);
    info.clear();

    info.append(platform.computer_name().c_str());
    info.append("\n");

    CpuIdentity cpu{};
    uint32_t features = platform.identify(cpu);
    bool has_tsc = (features & kCpuTsc) != 0;
    ClockSample first{}, second{};
    uint32_t mhz1 = 0;
    if (has_tsc) {
        first = platform.sample();
        platform.sleep_ms(500);
        second = platform.sample();
        mhz1 = measure_mhz(first, second);
        log_clock("CPU MF", first, second, mhz1);
    }

    char words[32];
    feature_words(features, words, sizeof words);
    info.appendf("%s\n%s\n", cpu.name, words);
    if (!(features & kCpuSse))
        platform.disable_option_box(kCheckBoxSse);
    if (!(features & kCpu3DNow))
        platform.disable_option_box(kCheckBox3DNow);

    uint32_t registry = 0;
    if (mhz1 > 0) {
        mhz_text_offset = static_cast<uint32_t>(info.length());
        char clock[kMhzTextWidth + 1];
        format_mhz(mhz1, clock);
        info.appendf("%s\n", clock);
    } else if (platform.registry_mhz(registry) && registry > 0) {
        info.appendf("%d MHz\n", static_cast<int>(registry));
    } else {
        info.append("未 知\n");
    }

    DisplayFacts display;
    if (!platform.display(display)) {
        collecting = false;
        return 0;
    }
    VersionFacts version = platform.version();
    info.append(display.description.c_str());
    info.append("\n");
    info.appendf("%04X %04X\n", display.vendor_id, display.device_id);
    QMsgLog("Video: total_vmem=%d K , %dx%dx%d", static_cast<int>(display.surface_bytes / 1024),
            static_cast<int>(display.width), static_cast<int>(display.height),
            static_cast<int>(display.bits));
    info.appendf("%d MB\n", static_cast<int>(video_memory_mb(display.surface_bytes, display.width,
                                                             display.height, display.bits,
                                                             version.platform_id)));
    const MachineRecord& mode = display_mode_entry();
    info.appendf("%dx%d %dbit\n", mode.ddraw_width, mode.ddraw_height, mode.ddraw_bits);

    if (disk_space_text[0] == '\0')
        build_disk_text(platform);
    info.appendf("%s\n", disk_space_text);

    append_bios(platform, version.platform_id, info);

    MemoryFacts memory = platform.memory();
    info.appendf("总共%dM 剩余%dM\n", static_cast<int>(rounded_memory_mb(memory.total_physical)),
                 static_cast<int>(memory.available_physical >> 20));
    info.appendf("总共%dM 剩余%dM\n", static_cast<int>(memory.total_page_file >> 20),
                 static_cast<int>(memory.available_page_file >> 20));

    info.appendf("%s %d.%d.%hu\n", os_name(version.platform_id, version.major, version.minor),
                 static_cast<int>(version.major), static_cast<int>(version.minor),
                 static_cast<unsigned short>(version.build & 0xFFFF));

    char when[32];
    format_collection_time(platform.local_time(), when, sizeof when);
    info.appendf("%s\n", when);

    if (mhz1 > 0) {
        ClockSample third = platform.sample();
        uint32_t mhz2 = measure_mhz(first, third);
        log_clock("CPU MF2", first, third, mhz2);
        // A refinement over no time at all brings no value.
        if (mhz2 > 0) {
            add_to_mhz_average(mhz2);
            rewrite_mhz_text(text, kInfoCapacity, mhz_average);
        }
    }
    collecting = false;
    return 1;
}
