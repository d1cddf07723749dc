#include <gtest/gtest.h>
#include <algorithm>

#include <cstring>
#include <ctime>
#include <string>

#include "tests/native/local_time_support.h"
#include "sysinfo/cpu_clock.h"
#include "sysinfo/cpu_id.h"

namespace {
std::string name_of(uint32_t family, uint32_t model, const char* vendor) {
    char name[64];
    std::memset(name, 'x', sizeof name);
    cpu_model_name(family, model, vendor, name);
    return name;
}

CpuidLeaves leaves_of(const char* vendor, uint32_t signature, uint32_t flags,
                      uint32_t max_extended, uint32_t extended_flags) {
    CpuidLeaves l{};
    std::memcpy(l.vendor, vendor, 12);
    l.signature = signature;
    l.flags = flags;
    l.max_extended = max_extended;
    l.extended_flags = extended_flags;
    return l;
}
} // namespace

TEST(CpuModelName, TablesRowByRow) {
    struct Row {
        const char* vendor;
        uint32_t family, model;
        const char* name;
    } rows[] = {
        {"AuthenticAMD", 4, 9, "AMD Am486"},
        {"AuthenticAMD", 5, 3, "AMD K5"},
        {"AuthenticAMD", 5, 4, ""},
        {"AuthenticAMD", 5, 7, "AMD K6"},
        {"AuthenticAMD", 5, 8, "AMD K6-2"},
        {"AuthenticAMD", 5, 15, "AMD K6-3"},
        {"AuthenticAMD", 6, 3, "AMD Duron Model 3"},
        {"AuthenticAMD", 6, 5, "AMD Opteron"},
        {"AuthenticAMD", 6, 10, "AMD ATHLON XP Model 10"},
        {"AuthenticAMD", 6, 11, "AMD ATHLON XP Model 11"},
        {"AuthenticAMD", 15, 12, "AMD Opteron Model 12"},
        {"AuthenticAMD", 7, 1, ""},
        {"GenuineIntel", 4, 0, "INTEL 486DX"},
        {"GenuineIntel", 4, 5, "INTEL 486SX2"},
        {"GenuineIntel", 4, 6, "Unknown"},
        {"GenuineIntel", 4, 7, "INTEL 486DX2E"},
        {"GenuineIntel", 4, 8, "INTEL 486DX4"},
        {"GenuineIntel", 5, 0, "Unknown"},
        {"GenuineIntel", 5, 3, "INTEL Pentium"},
        {"GenuineIntel", 5, 4, "INTEL Pentium-MMX"},
        {"GenuineIntel", 6, 1, "INTEL Pentium-Pro"},
        {"GenuineIntel", 6, 5, "INTEL Pentium-II"},
        {"GenuineIntel", 6, 8, "Pentium-III/Celeron-II"},
        {"GenuineIntel", 6, 9, "PIII Coppermine Model 9"},
        {"GenuineIntel", 6, 11, "PIII Coppermine/CIII Tualatin"},
        {"GenuineIntel", 15, 1, "INTEL Pentium-IV Celeron"},
        {"GenuineIntel", 15, 2, "INTEL Pentium-IV model 2"},
        {"GenuineIntel", 14, 2, ""},
        {"CyrixInstead", 5, 4, "Unknown"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(name_of(r.family, r.model, r.vendor), r.name)
            << r.vendor << " " << r.family << "/" << r.model;
}

TEST(IdentifyCpu, RegistersGiveFieldsAndFeatureBits) {
    // Family 15 with an extended family and model: only the base fields count.
    CpuidLeaves p4 = leaves_of("GenuineIntel", 0x0FFFFF29u,
                               (1u << 23) | (1u << 25) | (1u << 26) | (1u << 4) | (1u << 5),
                               0x80000008u, 1u << 31);
    CpuIdentity r;
    std::memset(&r, 0x55, sizeof r);
    EXPECT_EQ(identity_from_leaves(p4, &r), 0x3Fu);
    EXPECT_STREQ(r.vendor, "GenuineIntel");
    EXPECT_STREQ(r.name, "INTEL Pentium-IV model 2");
    EXPECT_EQ(r.family, 15u);
    EXPECT_EQ(r.model, 2u);
    EXPECT_EQ(r.stepping, 9u);
    EXPECT_EQ(r.vendor[13], '\0'); // cleared beyond the vendor text
    EXPECT_EQ(identity_from_leaves(p4, nullptr), 0x3Fu);

    // An AMD K6 of model 4 has no name but keeps its bits; a highest extended leaf below
    // 0x80000000 leaves the 3DNow! bit clear whatever leaf 0x80000001 would say.
    struct Case {
        uint32_t flags, max_extended, extended_flags, bits;
    } cases[] = {
        {1u << 23, 0x80000001u, 1u << 31, kCpuMmx | kCpu3DNow},
        {1u << 23, 0x7FFFFFFFu, 1u << 31, kCpuMmx},
        {1u << 25, 0x80000000u, 1u << 30, kCpuSse},
        {1u << 26, 0, 0, kCpuSse2},
        {1u << 4, 0, 0, kCpuTsc},
        {1u << 5, 0, 0, kCpuMsr},
        {~((1u << 23) | (1u << 25) | (1u << 26) | (1u << 4) | (1u << 5)), 0x80000001u,
         ~(1u << 31), 0},
    };
    for (const Case& c : cases) {
        CpuidLeaves k6 = leaves_of("AuthenticAMD", 0x541, c.flags, c.max_extended,
                                   c.extended_flags);
        CpuIdentity k{};
        EXPECT_EQ(identity_from_leaves(k6, &k), c.bits) << std::hex << c.flags;
        EXPECT_EQ(k.features, c.bits);
        EXPECT_STREQ(k.name, "");
        EXPECT_EQ(k.family * 100 + k.model * 10 + k.stepping, 541u);
    }
}

TEST(IdentifyCpu, ThisProcessor) {
    CpuIdentity r{};
    uint32_t bits = identify_cpu(&r);
    EXPECT_EQ(identify_cpu(nullptr), bits);
    EXPECT_EQ(r.features, bits);
    EXPECT_EQ(std::strlen(r.vendor), 12u);
    // Every processor that runs this has SSE2 and a time-stamp counter.
    EXPECT_EQ(bits & (kCpuSse | kCpuSse2 | kCpuTsc), kCpuSse | kCpuSse2 | kCpuTsc);
}

TEST(CpuClock, MeasureMhz) {
    struct Case {
        ClockSample a, b;
        uint32_t mhz;
    } cases[] = {
        {{100, 0, 0}, {1100, 2000000000u, 0}, 2000},
        {{100, 5, 0}, {600, 1005, 0}, 8590},
        // The low word wraps between the samples.
        {{0, 0xFFFFFFFFu - 999999u, 3}, {1, 1000000u, 4}, 2000},
        // The millisecond clock wraps as well.
        {{0xFFFFFFFFu, 0, 0}, {999, 1000000000u, 0}, 1000},
        // No time between the samples: no value, nothing divided.
        {{700, 0, 0}, {700, 5000000u, 0}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(measure_mhz(c.a, c.b), c.mhz) << c.a.ms << " " << c.b.ms;
}

TEST(CpuClock, AverageAndTextInPlace) {
    mhz_average = 0;
    mhz_count = 0;
    // Each step truncates: 800, 900, 1000 average 900; a fourth value of 903 gives 900.75, so 900.
    const uint32_t measured[] = {800, 900, 1000, 903};
    const uint32_t shown[] = {800, 850, 900, 900};
    for (int i = 0; i < 4; ++i) {
        add_to_mhz_average(measured[i]);
        EXPECT_EQ(mhz_average, shown[i]);
    }
    EXPECT_EQ(mhz_count, 4u);
    mhz_average = 0;
    mhz_count = 0;

    char clock[kMhzTextWidth + 1];
    format_mhz(99999, clock);
    EXPECT_STREQ(clock, "99999MHz    ");
    format_mhz(866, clock);
    EXPECT_STREQ(clock, "866  MHz    ");

    char text[64] = "PC\nname\n\n2000 MHz    \nnext\n";
    mhz_text_offset = 9;
    ASSERT_TRUE(rewrite_mhz_text(text, sizeof text, 933));
    EXPECT_STREQ(text, "PC\nname\n\n933  MHz    \nnext\n");
    // Outside the text, or not all of the width inside it: nothing is written.
    char short_text[16] = "PC\n12345";
    for (uint32_t offset : {3u, 9u, 200u}) {
        mhz_text_offset = offset;
        EXPECT_FALSE(rewrite_mhz_text(short_text, sizeof short_text, 933)) << offset;
        EXPECT_STREQ(short_text, "PC\n12345");
    }
    mhz_text_offset = 0;
}

TEST(CpuClock, TickerAndShownValue) {
    MhzTicker ticker;
    uint32_t mhz = 0;
    EXPECT_FALSE(ticker.tick({1000, 0, 0}, mhz));
    EXPECT_TRUE(ticker.tick({2000, 1500000000u, 0}, mhz));
    EXPECT_EQ(mhz, 1500u);
    // The next value covers one period again, not two.
    EXPECT_FALSE(ticker.tick({3000, 2000000000u, 0}, mhz));
    EXPECT_TRUE(ticker.tick({4000, 3000000000u, 0}, mhz));
    EXPECT_EQ(mhz, 1000u);
    // A tick over 0 ms brings no value.
    EXPECT_FALSE(ticker.tick({5000, 0, 0}, mhz));
    EXPECT_FALSE(ticker.tick({5000, 9, 0}, mhz));
    EXPECT_EQ(ticker.ticks, 6u);

    struct Case {
        uint32_t shown, measured, next;
    } cases[] = {
        {0, 1000, 1000}, {1000, 1200, 1200}, {1000, 960, 960}, {1000, 953, 1000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(next_shown_mhz(c.shown, c.measured), c.next) << c.shown << " " << c.measured;
}

#include <map>

#include "sysinfo/machine_text.h"

TEST(MachineText, ItemFormats) {
    struct Memory {
        uint64_t bytes;
        uint32_t mb;
    } memories[] = {
        {static_cast<uint64_t>(127.7 * 1048576), 128}, {128ull << 20, 128},
        {129ull << 20, 132}, {(6ull << 30) + 1, 6144}, {0, 0},
    };
    for (const Memory& m : memories)
        EXPECT_EQ(rounded_memory_mb(m.bytes), m.mb) << m.bytes;

    struct Os {
        uint32_t platform, major, minor;
        const char* name;
    } systems[] = {
        {1, 4, 9, "Win95"}, {1, 4, 10, "Win98"}, {1, 4, 19, "Win98"}, {1, 4, 20, "WinMe"},
        {2, 4, 0, "WinNT"}, {2, 5, 0, "Win2000"}, {2, 5, 1, "WinXP"}, {2, 6, 1, "WinXP"},
    };
    for (const Os& o : systems)
        EXPECT_STREQ(os_name(o.platform, o.major, o.minor), o.name) << o.major << "." << o.minor;

    char words[32];
    feature_words(0x3F, words, sizeof words);
    EXPECT_STREQ(words, "MMX SSE SSE2 3DNOW ");
    feature_words(0x30, words, sizeof words);
    EXPECT_STREQ(words, "");

    // 1024 × 768 at 16 bits: 1 671 168 bytes of primary surface.
    EXPECT_EQ(video_memory_mb(30u << 20, 1024, 768, 16, 2), 31u);  // 30 MB + 2 089 960
    EXPECT_EQ(video_memory_mb(30u << 20, 1024, 768, 16, 1), 32u);  // 30 MB + 2 506 752
    EXPECT_EQ(video_memory_mb(0, 1024, 768, 32, 2), 3u);

    char when[32];
    format_collection_time(local_time_of(2003, 5, 6, 8, 9, 10), when, sizeof when);
    EXPECT_STREQ(when, "2003-05-06 08:09:10");

    const char bios[] = "ACPI 1.0\0BIOS Date: 05/06/03\0\0ignored";
    char joined[64];
    join_multi_string(bios, sizeof bios, joined, sizeof joined);
    EXPECT_STREQ(joined, "ACPI 1.0 BIOS Date: 05/06/03");
    join_multi_string("ABC", 3, joined, sizeof joined); // no terminator within the bytes
    EXPECT_STREQ(joined, "ABC");
    join_multi_string(bios, sizeof bios, joined, 5);
    EXPECT_STREQ(joined, "ACPI");
}

TEST(MachineText, DiskWalkStopsAtTheFirstAbsentLetter) {
    std::map<char, uint64_t> sizes = {{'C', 10ull << 30}, {'D', 20ull << 30}, {'F', 40ull << 30},
                                      {'E', 1}};
    std::string asked;
    auto fixed = [&](char letter) {
        asked += letter;
        return true;
    };
    auto space = [&](char letter, uint64_t& total, uint64_t& free) {
        total = sizes[letter];
        free = sizes[letter] / 2;
        return true;
    };
    auto mask_of = [](const char* letters) {
        uint32_t mask = 0;
        for (const char* p = letters; *p; ++p)
            mask |= 1u << (*p - 'A');
        return mask;
    };
    DiskTotals cdf = walk_fixed_drives(mask_of("ACDF"), fixed, space);
    EXPECT_EQ(asked, "CD");
    EXPECT_EQ(cdf.total_bytes, 30ull << 30);
    EXPECT_EQ(cdf.free_bytes, 15ull << 30);
    asked.clear();
    DiskTotals no_c = walk_fixed_drives(mask_of("ADEF"), fixed, space);
    EXPECT_EQ(asked, "");
    EXPECT_EQ(no_c.total_bytes, 0u);
    EXPECT_EQ(no_c.free_bytes, 0u);
    // A drive that is not fixed, or whose query fails, adds nothing; the walk goes on past it.
    DiskTotals some = walk_fixed_drives(
        mask_of("CDEF"), [](char letter) { return letter != 'D'; },
        [&](char letter, uint64_t& total, uint64_t& free) {
            total = free = sizes[letter];
            return letter != 'E';
        });
    EXPECT_EQ(some.total_bytes, (10ull << 30) + (40ull << 30));
    // All of Z: too.
    DiskTotals all = walk_fixed_drives(0xFFFFFFFFu, [](char) { return true; },
                                       [](char, uint64_t& total, uint64_t& free) {
                                           total = free = 1;
                                           return true;
                                       });
    EXPECT_EQ(all.total_bytes, 24u);
}

TEST(MachineText, TheLimitCutsWholeCharacters) {
    char text[1024];
    InfoText info(text, sizeof text);
    std::memset(text, 'x', sizeof text);
    info.clear();
    EXPECT_EQ(text[1023], '\0');
    EXPECT_EQ(info.length(), 0u);
    info.append("PC\n");
    info.appendf("%-5dMHz    \n", 2000);
    EXPECT_STREQ(text, "PC\n2000 MHz    \n");

    // Over-long items of double-byte characters after every odd and even start: the text stays
    // within 1023 bytes and is whole GBK characters throughout.
    for (int lead = 0; lead < 4; ++lead) {
        info.clear();
        info.append(std::string(lead, 'a').c_str());
        std::string description;
        for (int i = 0; i < 300; ++i)
            description += "显卡";
        info.append(description.c_str());
        info.append("\n");
        info.append(description.c_str());
        size_t n = std::strlen(text);
        EXPECT_LE(n, 1023u);
        EXPECT_GE(n, 1022u);
        size_t i = static_cast<size_t>(lead);
        while (i < n)
            i += static_cast<unsigned char>(text[i]) >= 0x81 ? 2 : 1;
        EXPECT_EQ(i, n) << "half a character at the end after " << lead;
        // Once full, nothing more goes in, not even a single byte.
        info.append("\n");
        info.append("z");
        EXPECT_EQ(std::strlen(text), n);
    }
    // The labels: sixteen in their order, then sixteen empty fields.
    EXPECT_STREQ(kInfoLabels[4], "显  卡");
    EXPECT_STREQ(kInfoLabels[15], "测试设置");
    for (int i = 0; i < kInfoLabelCount; ++i)
        EXPECT_EQ(kInfoLabels[i][0] == '\0', i >= 16) << i;
}

#include <vector>

#include "engine/model.h"
#include "sysinfo/machine_info.h"

namespace {
// A machine described by its facts; it records what the collection asks.
struct FakeMachine : MachinePlatform {
    std::string name = "KALVIT-PC";
    CpuidLeaves leaves = leaves_of("GenuineIntel", 0x683,
                                   (1u << 23) | (1u << 25) | (1u << 4), 0x80000004u, 0);
    bool has_cpuid = true;
    // Each sample advances the clock: 500 ms and 433 M cycles across the sleep, then 200 ms and
    // 200 M cycles to the refinement.
    std::vector<ClockSample> samples = {{1000, 0xF0000000u, 7}, {1500, 0x09CF0E40u, 8},
                                        {1700, 0x15BAB840u, 8}};
    size_t next_sample = 0;
    bool registry_ok = true;
    uint32_t registry_value = 733;
    std::vector<int> disabled;
    bool display_ok = true;
    DisplayFacts facts{"WineD3D DirectDraw Emulation", 0x10DE, 0x0110, 30u << 20, 1024, 768, 16};
    uint32_t drives = (1u << 2) | (1u << 3) | (1u << 25);
    int drive_walks = 0;
    bool bios_ok = true;
    std::string bios_version = std::string("ACPI 1.0\0Award BIOS\0\0", 21);
    std::string bios_date = "05/06/03";
    std::string bios_key;
    VersionFacts os{2, 5, 1, 0x0A280A28u};
    MemoryFacts memory_facts{static_cast<uint64_t>(127.7 * 1048576), 50ull << 20, 300ull << 20,
                             200ull << 20};
    std::vector<std::string> calls;

    std::string computer_name() override {
        calls.push_back("name");
        return name;
    }
    uint32_t identify(CpuIdentity& record) override {
        calls.push_back("cpu");
        return has_cpuid ? identity_from_leaves(leaves, &record) : 0;
    }
    ClockSample sample() override {
        calls.push_back("sample");
        return samples.at(next_sample++);
    }
    void sleep_ms(uint32_t ms) override { calls.push_back("sleep " + std::to_string(ms)); }
    bool registry_mhz(uint32_t& mhz) override {
        calls.push_back("~MHz");
        mhz = registry_value;
        return registry_ok;
    }
    void disable_option_box(int id) override { disabled.push_back(id); }
    bool display(DisplayFacts& out) override {
        calls.push_back("display");
        out = facts;
        return display_ok;
    }
    uint32_t logical_drives() override {
        ++drive_walks;
        return drives;
    }
    bool fixed_drive(char letter) override { return letter != 'Z'; }
    bool disk_space(char letter, uint64_t& total, uint64_t& free) override {
        total = (letter == 'C' ? 40000ull : 2000ull) << 20;
        free = (letter == 'C' ? 12345ull : 1000ull) << 20;
        return true;
    }
    bool registry_pair(const char* key, const char*, const char*, std::string& first,
                       std::string& second) override {
        bios_key = key;
        first = bios_version;
        second = bios_date;
        return bios_ok;
    }
    MemoryFacts memory() override { return memory_facts; }
    VersionFacts version() override { return os; }
    std::tm local_time() override {
        calls.push_back("time");
        return local_time_of(2026, 12, 8, 7, 5, 9);
    }
};

struct Collection : ::testing::Test {
    char text[1024];
    void SetUp() override {
        mhz_average = mhz_count = mhz_text_offset = 0;
        collecting = false;
        disk_space_text[0] = '\0';
        std::memset(&machine_list, 0, sizeof machine_list);
        install_base_system(machine_list);
        std::memset(text, 'x', sizeof text);
    }
    void TearDown() override { SetUp(); }
};
} // namespace

TEST_F(Collection, FifteenLinesInTheirOrderAndFormats) {
    FakeMachine m;
    MachineRecord& current = machine_list.entries[machine_list.stored_count];
    current.ddraw_width = 1024;
    current.ddraw_height = 768;
    current.ddraw_bits = 16;
    ASSERT_EQ(collect_machine_info(m, text), 1);
    EXPECT_FALSE(collecting);
    // 433 M cycles in 500 ms is 866 MHz; the refinement over 700 ms (633 M cycles) gives 904.
    EXPECT_STREQ(text, "KALVIT-PC\n"
                       "Pentium-III/Celeron-II\n"
                       "MMX SSE \n"
                       "904  MHz    \n"
                       "WineD3D DirectDraw Emulation\n"
                       "10DE 0110\n"
                       "31 MB\n"
                       "1024x768 16bit\n"
                       "总共42000M 剩余13345M\n"
                       "ACPI 1.0 Award BIOS\n"
                       "05/06/03\n"
                       "总共128M 剩余50M\n"
                       "总共300M 剩余200M\n"
                       "WinXP 5.1.2600\n"
                       "2026-12-08 07:05:09\n");
    EXPECT_EQ(m.bios_key, "HARDWARE\\DESCRIPTION\\System");
    EXPECT_EQ(m.disabled, std::vector<int>{kCheckBox3DNow});
    EXPECT_EQ(mhz_text_offset, std::strlen("KALVIT-PC\nPentium-III/Celeron-II\nMMX SSE \n"));
    EXPECT_EQ(mhz_count, 1u);
    // The first measurement comes before the display is asked, the refinement after the time.
    std::vector<std::string> order = {"name", "cpu", "sample", "sleep 500", "sample", "display",
                                      "time", "sample"};
    EXPECT_EQ(m.calls, order);
    EXPECT_EQ(text[std::strlen(text) + 1], '\0'); // the rest of the buffer was cleared
}

TEST_F(Collection, SecondCollectionKeepsTheDiskTextAndRefinesTheAverage) {
    FakeMachine m;
    ASSERT_EQ(collect_machine_info(m, text), 1);
    EXPECT_NE(std::strstr(text, "\n0x0 0bit\n"), nullptr); // no run yet
    FakeMachine later;
    later.drives = 1u << 2;
    // 1000 ms of 1 200 M cycles: the average of 904 and 1200.
    later.samples = {{0, 0, 0}, {500, 500000000u, 0}, {1000, 1200000000u, 0}};
    ASSERT_EQ(collect_machine_info(later, text), 1);
    EXPECT_EQ(later.drive_walks, 0);
    EXPECT_NE(std::strstr(text, "\n总共42000M 剩余13345M\n"), nullptr);
    EXPECT_EQ(mhz_average, (1200u + 904u) / 2);
    EXPECT_NE(std::strstr(text, "\n1052 MHz    \n"), nullptr);
}

TEST_F(Collection, PlatformVariantsAndFailures) {
    struct Case {
        const char* what;
        std::function<void(FakeMachine&)> set;
        const char* present; // a line the text holds
        int result;
    } cases[] = {
        {"no time-stamp counter: the registry",
         [](FakeMachine& m) { m.leaves.flags &= ~(1u << 4); }, "\nMMX SSE \n733 MHz\n", 1},
        {"counter and registry both give nothing",
         [](FakeMachine& m) {
             m.samples = {{0, 0, 0}, {500, 100, 0}};
             m.samples[1].ms = 0; // no time between the samples
             m.registry_value = 0;
         },
         "\n未 知\n", 1},
        {"no CPUID", [](FakeMachine& m) { m.has_cpuid = false; m.registry_ok = false; },
         "KALVIT-PC\n\n\n未 知\n", 1},
        {"no SSE: its box greyed out too",
         [](FakeMachine& m) { m.leaves.flags &= ~(1u << 25); }, "\nMMX \n904  MHz    \n", 1},
        {"a refinement over no time keeps the first value",
         [](FakeMachine& m) { m.samples[2].ms = m.samples[0].ms; }, "\nMMX SSE \n866  MHz    \n",
         1},
        {"no DirectDraw object", [](FakeMachine& m) { m.display_ok = false; }, "866  MHz    \n",
         0},
        {"no BIOS key", [](FakeMachine& m) { m.bios_ok = false; }, "\nUnknow\n总共128M", 1},
        {"no drive C:", [](FakeMachine& m) { m.drives = 1u << 3; }, "\n总共0M 剩余0M\n", 1},
        {"the current system stored: its own entry, not the one after it",
         [](FakeMachine&) {
             machine_list.stored_count = 2;
             machine_list.current_stored = 1;
             machine_list.entries[1].ddraw_width = 800;
             machine_list.entries[1].ddraw_height = 600;
             machine_list.entries[1].ddraw_bits = 32;
             machine_list.entries[2].ddraw_width = 1280;
         },
         "\n800x600 32bit\n", 1},
    };
    for (const Case& c : cases) {
        SetUp();
        FakeMachine m;
        c.set(m);
        EXPECT_EQ(collect_machine_info(m, text), c.result) << c.what;
        EXPECT_NE(std::strstr(text, c.present), nullptr) << c.what << ":\n" << text;
        EXPECT_FALSE(collecting) << c.what;
        const bool sse = m.has_cpuid && (m.leaves.flags & (1u << 25)) != 0;
        EXPECT_EQ(std::count(m.disabled.begin(), m.disabled.end(), kCheckBoxSse), sse ? 0 : 1)
            << c.what;
        if (!(m.leaves.flags & (1u << 4)) || !m.has_cpuid) {
            EXPECT_EQ(std::count(m.calls.begin(), m.calls.end(), "sample"), 0) << c.what;
        }
    }
    // Without DirectDraw the text ends after the clock.
    SetUp();
    FakeMachine none;
    none.display_ok = false;
    collect_machine_info(none, text);
    EXPECT_STREQ(text, "KALVIT-PC\nPentium-III/Celeron-II\nMMX SSE \n866  MHz    \n");
    EXPECT_EQ(mhz_count, 0u);
    // Windows 98 asks its own key and counts the primary surface as 1.5.
    SetUp();
    FakeMachine w98;
    w98.os = {1, 4, 10, 0x040A08AEu};
    w98.bios_version = "4.51 PG";
    collect_machine_info(w98, text);
    EXPECT_EQ(w98.bios_key, "Enum\\Root\\*PNP0C01\\0000");
    EXPECT_NE(std::strstr(text, "\n32 MB\n"), nullptr);
    EXPECT_NE(std::strstr(text, "\n4.51 PG\n05/06/03\n"), nullptr);
    EXPECT_NE(std::strstr(text, "\nWin98 4.10.2222\n"), nullptr);
}

#include "sysinfo/info_rows.h"

TEST(InfoRows, OptionWordsInTheirOrder) {
    char buffer[64];
    option_words(0, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "标准设置 ");
    option_words(0x1 | 0x10 | 0x100 | 0x1000, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "CACHED BIG_BLOCK SSE 3DNOW ");
}

TEST(InfoRows, LinesSplitAtLineFeedsAndTheOptionWordsFollowTheLongerText) {
    static InfoRows one, two;
    std::memset(one, 'x', sizeof one);
    std::string fifteen;
    for (int i = 0; i < 15; ++i)
        fifteen += "line" + std::to_string(i) + "\n";
    // The shorter text's last line has no line feed: the words go behind row 15 of both.
    EXPECT_EQ(fill_info_columns(fifteen.c_str(), 0, "a\nb\nc", 0x11, one, two), 15);
    EXPECT_STREQ(one[0], "line0");
    EXPECT_STREQ(one[14], "line14");
    EXPECT_STREQ(one[15], "标准设置 ");
    EXPECT_STREQ(one[16], "");
    EXPECT_STREQ(two[2], "c");
    EXPECT_STREQ(two[15], "CACHED BIG_BLOCK ");
    EXPECT_STREQ(two[3], "");

    // The second text longer: the first machine's words go down to its row.
    EXPECT_EQ(fill_info_columns("a\nb", 0, fifteen.c_str(), 0x1000, one, two), 15);
    EXPECT_STREQ(one[15], "标准设置 ");
    EXPECT_STREQ(two[15], "SSE ");

    // The text without a line feed at its end: the words are appended to its last line.
    EXPECT_EQ(fill_info_columns("a\nb", 0, "", 0, one, two), 1);
    EXPECT_STREQ(one[1], "b标准设置 ");
    EXPECT_STREQ(two[0], "");
    EXPECT_STREQ(two[1], "标准设置 ");
}

TEST(InfoRows, LongTextsStayInsideTheTables) {
    static InfoRows one, two;
    // 40 lines: 32 rows are kept and the words stand at the end of the last one.
    std::string forty;
    for (int i = 0; i < 40; ++i)
        forty += "L" + std::to_string(i) + "\n";
    EXPECT_EQ(fill_info_columns(forty.c_str(), 0x1000, "", 0, one, two), 40);
    EXPECT_STREQ(one[31], "L31SSE ");
    EXPECT_STREQ(two[31], "标准设置 ");
    // Exactly 32 line feeds: the row after the last is past the table, so the last one.
    std::string thirty_two;
    for (int i = 0; i < 32; ++i)
        thirty_two += "M" + std::to_string(i) + "\n";
    std::memset(two, 'x', sizeof two);
    EXPECT_EQ(fill_info_columns(thirty_two.c_str(), 0, "", 0x100, one, two), 32);
    EXPECT_STREQ(one[31], "M31标准设置 ");
    EXPECT_STREQ(two[31], "3DNOW ");

    // A line of exactly 255 bytes reaches the limit: the split ends with it.
    EXPECT_EQ(split_info_rows((std::string(255, 'w') + "\nnext\n").c_str(), one), 2);
    EXPECT_EQ(std::strlen(one[0]), 255u);
    EXPECT_STREQ(one[1], "");

    // A line of 300 bytes of two-byte characters ends the split at 254 bytes (whole characters).
    std::string wide_line;
    for (int i = 0; i < 150; ++i)
        wide_line += "中";
    const std::string text = "x\n" + wide_line + "\nafter\n";
    EXPECT_EQ(split_info_rows(text.c_str(), one), 3);
    EXPECT_EQ(std::strlen(one[1]), 254u);
    EXPECT_STREQ(one[2], "");

    // A full row makes room for the words by losing its end, never half a character.
    split_info_rows(("a" + wide_line).c_str(), one);
    append_option_words(one, 0, 0x11);
    const size_t n = std::strlen(one[0]);
    EXPECT_LE(n, 255u);
    EXPECT_EQ(std::string(one[0] + n - 17), "CACHED BIG_BLOCK ");
    EXPECT_EQ((n - 17 - 1) % 2, 0u) << "a half character before the words";
    EXPECT_EQ(n, 254u);
}
