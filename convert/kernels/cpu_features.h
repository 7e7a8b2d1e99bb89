#pragma once

// What the x86-64 processor and the operating system report, for the choice
// of a level: the reading (ReadMachine) apart from the check (Supports), which
// is a function of the values read. Internal to the converters library.

#include <cstdint>

namespace cpufeatures {

enum Register : unsigned { kEax, kEbx, kEcx, kEdx };

// The register states an operating system must save for a vector extension
// (XCR0): SSE and AVX; and for AVX-512, the mask registers and both upper
// parts of the 512-bit registers as well.
constexpr uint64_t kAvxState = 0x06;
constexpr uint64_t kAvx512State = 0xE6;

struct Feature {
    const char* m_name;
    unsigned m_leaf;
    Register m_register;
    unsigned m_bit;
    uint64_t m_osState;
};

// Leaf 7 is read with sub-leaf 0.
constexpr Feature kFeatures[] = {
    {"sse2", 1, kEdx, 26, 0},
    {"sse3", 1, kEcx, 0, 0},
    {"ssse3", 1, kEcx, 9, 0},
    {"sse4.1", 1, kEcx, 19, 0},
    {"sse4.2", 1, kEcx, 20, 0},
    {"popcnt", 1, kEcx, 23, 0},
    {"avx", 1, kEcx, 28, kAvxState},
    {"avx2", 7, kEbx, 5, kAvxState},
    {"fma", 1, kEcx, 12, kAvxState},
    {"f16c", 1, kEcx, 29, kAvxState},
    {"bmi", 7, kEbx, 3, 0},
    {"bmi2", 7, kEbx, 8, 0},
    {"lzcnt", 0x80000001u, kEcx, 5, 0},
    {"avx512f", 7, kEbx, 16, kAvx512State},
    {"avx512bw", 7, kEbx, 30, kAvx512State},
    {"avx512vl", 7, kEbx, 31, kAvx512State},
    {"avx512vbmi", 7, kEcx, 1, kAvx512State},
    {"avx512vbmi2", 7, kEcx, 6, kAvx512State},
};

// The name in [from, to) is `name`.
constexpr bool IsName(const char* from, const char* to, const char* name)
{
    while (from < to && *name != '\0' && *from == *name) {
        ++from;
        ++name;
    }
    return from == to && *name == '\0';
}

// Whether every name of `list` (as for Supports) is one of kFeatures.
constexpr bool KnowsEvery(const char* list)
{
    if (*list == '\0') {
        return true;
    }
    const char* from = list;
    for (const char* at = list;; ++at) {
        if (*at != ',' && *at != '\0') {
            continue;
        }
        bool known = false;
        for (const Feature& feature : kFeatures) {
            known = known || IsName(from, at, feature.m_name);
        }
        if (!known) {
            return false;
        }
        if (*at == '\0') {
            return true;
        }
        from = at + 1;
    }
}

// What cpuid and XGETBV report: the registers of the leaves kFeatures reads
// (a leaf the processor lacks reads as zeros), and the register states the
// operating system saves (XCR0, zero unless cpuid's OSXSAVE bit allows
// XGETBV).
struct Machine {
    uint32_t m_leaf1[4] = {};          // leaf 1
    uint32_t m_leaf7[4] = {};          // leaf 7, sub-leaf 0
    uint32_t m_extendedLeaf1[4] = {};  // leaf 0x80000001
    uint64_t m_xcr0 = 0;
};

// Leaf 1, ECX: the operating system has turned XSAVE on, so XGETBV may be used
// and XCR0 says which registers it saves.
constexpr unsigned kOsXsaveBit = 27;

// Whether `machine` has every feature of `list` (the names as the compiler's
// -m options take them, separated by commas: "avx2,bmi2") and its operating
// system saves the registers they use. True for the empty list; false for a
// name not in kFeatures, which simd.cpp refuses at compile time (KnowsEvery).
// A function of its arguments alone, so that made-up machines test it.
bool Supports(const Machine& machine, const char* list);

// This processor, as cpuid and XGETBV report it; on another architecture a
// machine without any of kFeatures.
Machine ReadMachine();

}  // namespace cpufeatures
