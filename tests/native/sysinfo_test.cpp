#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
        {"AuthenticAMD", 5, 5, ""},
        {"AuthenticAMD", 5, 7, "AMD K6"},
        {"AuthenticAMD", 5, 8, "AMD K6-2"},
        {"AuthenticAMD", 5, 9, "AMD K6-3"},
        {"AuthenticAMD", 5, 15, "AMD K6-3"},
        {"AuthenticAMD", 6, 3, "AMD Duron Model 3"},
        {"AuthenticAMD", 6, 5, "AMD Opteron"},
        {"AuthenticAMD", 6, 10, "AMD ATHLON XP Model 10"},
        {"AuthenticAMD", 6, 0, "AMD ATHLON XP Model 0"},
        {"AuthenticAMD", 6, 11, "AMD ATHLON XP Model 11"},
        {"AuthenticAMD", 15, 12, "AMD Opteron Model 12"},
        {"AuthenticAMD", 7, 1, ""},
        {"AuthenticAMD", 3, 1, ""},
        {"GenuineIntel", 4, 0, "INTEL 486DX"},
        {"GenuineIntel", 4, 1, "INTEL 486DX"},
        {"GenuineIntel", 4, 5, "INTEL 486SX2"},
        {"GenuineIntel", 4, 6, "Unknown"},
        {"GenuineIntel", 4, 7, "INTEL 486DX2E"},
        {"GenuineIntel", 4, 8, "INTEL 486DX4"},
        {"GenuineIntel", 4, 9, "Unknown"},
        {"GenuineIntel", 5, 0, "Unknown"},
        {"GenuineIntel", 5, 3, "INTEL Pentium"},
        {"GenuineIntel", 5, 4, "INTEL Pentium-MMX"},
        {"GenuineIntel", 5, 5, "Unknown"},
        {"GenuineIntel", 6, 1, "INTEL Pentium-Pro"},
        {"GenuineIntel", 6, 5, "INTEL Pentium-II"},
        {"GenuineIntel", 6, 8, "Pentium-III/Celeron-II"},
        {"GenuineIntel", 6, 9, "PIII Coppermine Model 9"},
        {"GenuineIntel", 6, 11, "PIII Coppermine/CIII Tualatin"},
        {"GenuineIntel", 6, 15, "PIII Coppermine Model 15"},
        {"GenuineIntel", 15, 1, "INTEL Pentium-IV Celeron"},
        {"GenuineIntel", 15, 2, "INTEL Pentium-IV model 2"},
        {"GenuineIntel", 14, 2, ""},
        {"CyrixInstead", 5, 4, "Unknown"},
        {"CentaurHauls", 6, 9, "Unknown"},
        {"HygonGenuine", 15, 1, "Unknown"},
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
        EXPECT_EQ(k.family, 5u);
        EXPECT_EQ(k.model, 4u);
        EXPECT_EQ(k.stepping, 1u);
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
    // The MMX state is empty afterwards: x87 arithmetic is exact.
    volatile double third = 1.0 / 3.0;
    EXPECT_DOUBLE_EQ(third * 3.0, 1.0);
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
    const uint32_t measured[] = {800, 900, 1000};
    const uint32_t shown[] = {800, 850, 900};
    for (int i = 0; i < 3; ++i) {
        add_to_mhz_average(measured[i]);
        EXPECT_EQ(mhz_average, shown[i]);
    }
    EXPECT_EQ(mhz_count, 3u);
    mhz_average = 0;
    mhz_count = 0;

    char clock[kMhzTextWidth + 1];
    for (uint32_t mhz : {0u, 7u, 2000u, 99999u}) {
        format_mhz(mhz, clock);
        EXPECT_EQ(std::strlen(clock), 12u) << mhz;
        EXPECT_EQ(std::string(clock).substr(5), "MHz    ");
    }
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
        {0, 1000, 1000}, {1000, 1200, 1200}, {1000, 985, 985},
        {1000, 960, 960}, {1000, 900, 1000}, {1000, 981, 981}, {1000, 953, 1000},
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
        {1, 4, 0, "Win95"}, {1, 4, 9, "Win95"}, {1, 4, 10, "Win98"}, {1, 4, 19, "Win98"},
        {1, 4, 20, "WinMe"}, {1, 4, 90, "WinMe"}, {2, 4, 0, "WinNT"},
        {2, 5, 0, "Win2000"}, {2, 5, 1, "WinXP"}, {2, 6, 1, "WinXP"}, {2, 3, 51, "WinNT"},
    };
    for (const Os& o : systems)
        EXPECT_STREQ(os_name(o.platform, o.major, o.minor), o.name) << o.major << "." << o.minor;

    char words[32];
    feature_words(0x3F, words, sizeof words);
    EXPECT_STREQ(words, "MMX SSE SSE2 3DNOW ");
    feature_words(0x09, words, sizeof words);
    EXPECT_STREQ(words, "MMX 3DNOW ");
    feature_words(0x30, words, sizeof words);
    EXPECT_STREQ(words, "");

    // 1024 × 768 at 16 bits: 1 671 168 bytes of primary surface.
    EXPECT_EQ(video_memory_mb(30u << 20, 1024, 768, 16, 2), 31u);  // 30 MB + 2 089 960
    EXPECT_EQ(video_memory_mb(30u << 20, 1024, 768, 16, 1), 32u);  // 30 MB + 2 506 752
    EXPECT_EQ(video_memory_mb(0, 1024, 768, 32, 2), 3u);

    std::tm t{};
    t.tm_year = 103;
    t.tm_mon = 4;
    t.tm_mday = 6;
    t.tm_hour = 8;
    t.tm_min = 9;
    t.tm_sec = 10;
    char when[32];
    format_collection_time(t, when, sizeof when);
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
