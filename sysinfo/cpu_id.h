#pragma once
#include <cstdint>
// Processor identification through CPUID: vendor, a readable model name, family, model and
// stepping, and the extensions the benchmark cares about.

constexpr uint32_t kCpuMmx = 0x01;
constexpr uint32_t kCpuSse = 0x02;
constexpr uint32_t kCpuSse2 = 0x04;
constexpr uint32_t kCpu3DNow = 0x08;
constexpr uint32_t kCpuTsc = 0x10;
constexpr uint32_t kCpuMsr = 0x20;

struct CpuIdentity {
    char vendor[32];
    char name[64];
    uint32_t family;
    uint32_t model;
    uint32_t stepping;
    uint32_t features;
};

// The registers identification reads: leaf 0's vendor (EBX, EDX, ECX), leaf 1's signature and
// feature flags, the highest extended leaf and leaf 0x80000001's EDX (0 when that leaf is absent).
struct CpuidLeaves {
    uint32_t vendor[3];
    uint32_t signature;
    uint32_t flags;
    uint32_t max_extended;
    uint32_t extended_flags;
};

// The model name of a family and model (base fields only) of a vendor, into a 64-byte text;
// empty where the table has none.
void cpu_model_name(uint32_t family, uint32_t model, const char* vendor, char* name);

// What identification makes of the registers; fills record (cleared first) when it is not null
// and returns the feature bits.
uint32_t identity_from_leaves(const CpuidLeaves& leaves, CpuIdentity* record);

// Probes for CPUID (on 32-bit processors by toggling the EFLAGS ID bit) and identifies the
// processor. Returns 0 and leaves record untouched when there is no CPUID. Leaves the MMX state
// empty, so the floating-point unit is usable afterwards.
uint32_t identify_cpu(CpuIdentity* record);
