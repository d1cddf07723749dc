#include "sysinfo/cpu_id.h"

#include <cpuid.h>

#include <cstdio>
#include <cstring>

namespace {
const char* amd_name(uint32_t family, uint32_t model) {
    switch (family) {
    case 4:
        return "AMD Am486";
    case 5:
        if (model <= 3)
            return "AMD K5";
        if (model <= 5)
            return "";
        if (model <= 7)
            return "AMD K6";
        return model == 8 ? "AMD K6-2" : "AMD K6-3";
    case 6:
        switch (model) {
        case 1: return "AMD ATHLON Model 1";
        case 2: return "AMD ATHLON Model 2";
        case 3: return "AMD Duron Model 3";
        case 4: return "AMD ATHLON Model 4";
        case 5: return "AMD Opteron";
        case 6: return "AMD ATHLON XP Model 6";
        case 7: return "AMD Duron Model 7";
        case 8: return "AMD ATHLON XP Model 8";
        case 10: return "AMD ATHLON XP Model 10";
        default: return "AMD ATHLON XP Model %hd";
        }
    case 15:
        return "AMD Opteron Model %hd";
    default:
        return "";
    }
}

const char* intel_name(uint32_t family, uint32_t model) {
    switch (family) {
    case 4:
        switch (model) {
        case 0:
        case 1: return "INTEL 486DX";
        case 2: return "INTEL 486SX";
        case 3: return "INTEL 486DX2";
        case 4: return "INTEL 486SL";
        case 5: return "INTEL 486SX2";
        case 7: return "INTEL 486DX2E";
        case 8: return "INTEL 486DX4";
        default: return "Unknown";
        }
    case 5:
        if (model >= 1 && model <= 3)
            return "INTEL Pentium";
        return model == 4 ? "INTEL Pentium-MMX" : "Unknown";
    case 6:
        switch (model) {
        case 1: return "INTEL Pentium-Pro";
        case 3:
        case 5: return "INTEL Pentium-II";
        case 6: return "INTEL Celeron";
        case 7: return "Pentium-III";
        case 8: return "Pentium-III/Celeron-II";
        case 10: return "INTEL Pentium-III Xeon";
        case 11: return "PIII Coppermine/CIII Tualatin";
        default: return "PIII Coppermine Model %hd";
        }
    case 15:
        return model == 1 ? "INTEL Pentium-IV Celeron" : "INTEL Pentium-IV model %hd";
    default:
        return "";
    }
}
} // namespace

void cpu_model_name(uint32_t family, uint32_t model, const char* vendor, char* name) {
    const char* format = "Unknown";
    if (std::strncmp(vendor, "AuthenticAMD", 12) == 0)
        format = amd_name(family, model);
    else if (std::strncmp(vendor, "GenuineIntel", 12) == 0)
        format = intel_name(family, model);
    // The formats print the model number where they have "%hd"; the others print as they are.
    std::snprintf(name, 64, format, static_cast<short>(model));
}

uint32_t identity_from_leaves(const CpuidLeaves& leaves, CpuIdentity* record) {
    uint32_t features = 0;
    if (leaves.flags & (1u << 23))
        features |= kCpuMmx;
    if (leaves.flags & (1u << 25))
        features |= kCpuSse;
    if (leaves.flags & (1u << 26))
        features |= kCpuSse2;
    if (leaves.max_extended >= 0x80000000u && (leaves.extended_flags & (1u << 31)))
        features |= kCpu3DNow;
    if (leaves.flags & (1u << 4))
        features |= kCpuTsc;
    if (leaves.flags & (1u << 5))
        features |= kCpuMsr;
    if (record != nullptr) {
        *record = {};
        record->features = features;
        record->family = (leaves.signature >> 8) & 0xF;
        record->model = (leaves.signature >> 4) & 0xF;
        record->stepping = leaves.signature & 0xF;
        std::memcpy(record->vendor, leaves.vendor, 12);
        record->vendor[12] = '\0';
        cpu_model_name(record->family, record->model, record->vendor, record->name);
    }
    return features;
}

namespace {
// Every x86-64 processor has CPUID. A 32-bit one has it when the ID bit (21) of EFLAGS can be
// changed; processors before it cannot, and CPUID would fault there.
bool cpuid_present() {
#if defined(__x86_64__)
    return true;
#else
    uint32_t before = 0, after = 0;
    asm volatile("pushfl\n\t"
                 "pushfl\n\t"
                 "popl %0\n\t"
                 "movl %0, %1\n\t"
                 "xorl $0x200000, %1\n\t"
                 "pushl %1\n\t"
                 "popfl\n\t"
                 "pushfl\n\t"
                 "popl %1\n\t"
                 "popfl"
                 : "=&r"(before), "=&r"(after)
                 :
                 : "cc");
    return ((before ^ after) & 0x200000u) != 0;
#endif
}
} // namespace

uint32_t identify_cpu(CpuIdentity* record) {
    if (!cpuid_present())
        return 0;
    CpuidLeaves leaves{};
    uint32_t a = 0, b = 0, c = 0, d = 0;
    __cpuid(0, a, b, c, d);
    leaves.vendor[0] = b;
    leaves.vendor[1] = d;
    leaves.vendor[2] = c;
    __cpuid(1, a, b, c, d);
    leaves.signature = a;
    leaves.flags = d;
    __cpuid(0x80000000u, a, b, c, d);
    leaves.max_extended = a;
    if (a >= 0x80000000u) {
        __cpuid(0x80000001u, a, b, c, d);
        leaves.extended_flags = d;
    }
    uint32_t features = identity_from_leaves(leaves, record);
    // EMMS is itself an MMX instruction: a processor without MMX would fault on it, and its
    // floating-point unit has no MMX state to empty.
    if (features & kCpuMmx)
        asm volatile("emms");
    return features;
}
