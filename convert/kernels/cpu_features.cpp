#include "convert/kernels/cpu_features.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <cpuid.h>
#endif

namespace cpufeatures {

namespace {

constexpr bool IsReadLeaf(unsigned leaf)
{
    return leaf == 1 || leaf == 7 || leaf == 0x80000001u;
}

constexpr bool ReadsEveryLeaf()
{
    for (const Feature& feature : kFeatures) {
        if (!IsReadLeaf(feature.m_leaf)) {
            return false;
        }
    }
    return true;
}
static_assert(ReadsEveryLeaf(), "a feature is in a cpuid leaf that Machine does not hold");

const uint32_t* Registers(const Machine& machine, unsigned leaf)
{
    return leaf == 1 ? machine.m_leaf1 : leaf == 7 ? machine.m_leaf7 : machine.m_extendedLeaf1;
}

bool Has(const Machine& machine, const Feature& feature)
{
    const uint32_t* const registers = Registers(machine, feature.m_leaf);
    if ((registers[feature.m_register] >> feature.m_bit & 1) == 0) {
        return false;
    }
    if (feature.m_osState == 0) {
        return true;
    }
    const bool osXsave = (machine.m_leaf1[kEcx] >> kOsXsaveBit & 1) != 0;
    return osXsave && (machine.m_xcr0 & feature.m_osState) == feature.m_osState;
}

bool HasNamed(const Machine& machine, const char* from, const char* to)
{
    for (const Feature& feature : kFeatures) {
        if (IsName(from, to, feature.m_name)) {
            return Has(machine, feature);
        }
    }
    return false;
}

}  // namespace

bool Supports(const Machine& machine, const char* list)
{
    if (*list == '\0') {
        return true;
    }
    const char* from = list;
    for (const char* at = list;; ++at) {
        if (*at != ',' && *at != '\0') {
            continue;
        }
        if (at == from || !HasNamed(machine, from, at)) {
            return false;
        }
        if (*at == '\0') {
            return true;
        }
        from = at + 1;
    }
}

#if defined(__x86_64__) || defined(_M_X64)
namespace {

// A leaf beyond the processor's highest reads as zeros.
void ReadLeaf(unsigned leaf, uint32_t* registers)
{
    unsigned values[4] = {};
    if (__get_cpuid_count(leaf, 0, &values[kEax], &values[kEbx], &values[kEcx], &values[kEdx]) != 0) {
        for (int i = 0; i < 4; ++i) {
            registers[i] = values[i];
        }
    }
}

}  // namespace

Machine ReadMachine()
{
    Machine machine;
    ReadLeaf(1, machine.m_leaf1);
    ReadLeaf(7, machine.m_leaf7);
    ReadLeaf(0x80000001u, machine.m_extendedLeaf1);
    if ((machine.m_leaf1[kEcx] >> kOsXsaveBit & 1) != 0) {
        unsigned low = 0;
        unsigned high = 0;
        __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        machine.m_xcr0 = uint64_t{high} << 32 | low;
    }
    return machine;
}
#else
// No check for another architecture's levels: only a level without features
// passes (neon, which every AArch64 processor has).
Machine ReadMachine()
{
    return {};
}
#endif

}  // namespace cpufeatures
