#include "convert/kernels/cpu_features.h"

#include <cpuid.h>
#include <cstdint>

namespace cpufeatures {

namespace {

constexpr unsigned kOsXsaveBit = 27;  // leaf 1, ECX: XGETBV may be used

bool Has(const Feature& feature)
{
    unsigned registers[4] = {};
    if (__get_cpuid_count(feature.m_leaf, 0, &registers[kEax], &registers[kEbx], &registers[kEcx], &registers[kEdx]) ==
        0) {
        return false;
    }
    if ((registers[feature.m_register] >> feature.m_bit & 1) == 0) {
        return false;
    }
    if (feature.m_osState == 0) {
        return true;
    }
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0 || (ecx >> kOsXsaveBit & 1) == 0) {
        return false;
    }
    unsigned low = 0;
    unsigned high = 0;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    const uint64_t saved = uint64_t{high} << 32 | low;
    return (saved & feature.m_osState) == feature.m_osState;
}

bool HasNamed(const char* from, const char* to)
{
    for (const Feature& feature : kFeatures) {
        if (IsName(from, to, feature.m_name)) {
            return Has(feature);
        }
    }
    return false;
}

}  // namespace

bool Supports(const char* list)
{
    const char* from = list;
    for (const char* at = list;; ++at) {
        if (*at != ',' && *at != '\0') {
            continue;
        }
        if (at == from || !HasNamed(from, at)) {
            return false;
        }
        if (*at == '\0') {
            return true;
        }
        from = at + 1;
    }
}

}  // namespace cpufeatures
