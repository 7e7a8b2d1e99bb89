// The vector primitives every kernel is built from, at every level, and the
// processor check that chooses the level.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "convert/kernels/cpu_features.h"
#include "convert/kernels/kernels.h"
#include "convert/simd.h"
#include "tests/isa_level_checks.h"
#include "tests/support/simd_levels.h"

// Each level's set against plain definitions, checked by code built with the
// level's own flags (isa_level_checks.cpp): a primitive the converters reach
// only now and then is tested on every byte value and mask.
class Isa : public CAtEveryLevel {};
GLYPHMILL_AT_EVERY_LEVEL(Isa);

TEST_P(Isa, PrimitivesMatchTheDefinitions)
{
#define GLYPHMILL_ISA_CHECK(name, Set, features) &isachecks::isa_##name::CheckPrimitives,
    IsaCheckFailure (*const checks[])() = {GLYPHMILL_LEVEL_REGISTRY(GLYPHMILL_ISA_CHECK)};
#undef GLYPHMILL_ISA_CHECK
    const IsaCheckFailure failure = checks[static_cast<int>(GetParam())]();
    EXPECT_TRUE(failure.m_what == nullptr)
        << (failure.m_what != nullptr ? failure.m_what : "") << ": expected " << std::hex << failure.m_expected
        << ", got " << failure.m_actual << " (case " << failure.m_case << ")";
}

// A level this build lacks (a rank past its registry, or before it) is no
// level: nothing runs its kernels, and its name is not taken.
TEST(LevelRegistry, ALevelThisBuildLacksIsNone)
{
    for (const int rank : {-1, simd::BuildLevelCount()}) {
        const auto level = static_cast<simd::Level>(rank);
        EXPECT_FALSE(simd::HasLevel(level)) << rank;
        EXPECT_EQ(&kernels::ForLevel(level), &kernels::ForLevel(simd::Level::kPortable)) << rank;
        EXPECT_STREQ(simd::LevelName(level), "portable") << rank;
    }
    simd::Level parsed = simd::Level::kPortable;
    EXPECT_FALSE(simd::ParseLevel("avx", &parsed)) << "a prefix of a level's name";
    EXPECT_FALSE(simd::ParseLevel("portable2", &parsed)) << "a level's name and more";
    EXPECT_TRUE(simd::ParseLevel(simd::LevelName(simd::CompiledLevel()), &parsed));
    EXPECT_EQ(parsed, simd::CompiledLevel());
}

// A kernel MakeTable forgot is null; every level the build has is checked,
// whether or not this processor runs it. A member added to the table is
// added here too: the size check fails until it is.
namespace {

bool HasEveryKernel(const kernels::Table& t)
{
    return t.m_toWindows && t.m_toMac && t.m_encodeHtml && t.m_decodeHtml && t.m_encodeXml && t.m_decodeXml &&
           t.m_uriEncode && t.m_uriDecode && t.m_countLineFeeds && t.m_mapBytes && t.m_mapBytesUntilLoss &&
           t.m_translateTextMode && t.m_translateTextModeDroppingCR && t.m_oemToUtf8 && t.m_utf8ToOem;
}
static_assert(sizeof(kernels::Table) == 15 * sizeof(ConvertFn), "HasEveryKernel does not check every kernel");

}  // namespace

TEST(LevelRegistry, EveryLevelHasEveryKernel)
{
    for (int rank = 0; rank < simd::BuildLevelCount(); ++rank) {
        EXPECT_TRUE(HasEveryKernel(kernels::ForLevel(simd::BuildLevel(rank))))
            << simd::LevelName(simd::BuildLevel(rank));
    }
}

// The processor check on made-up machines: the cpuid bits and XCR0 states as
// the processor manuals give them, written here rather than taken from the
// check's own table, so that a wrong bit or mask there fails.
namespace {

using cpufeatures::Machine;

struct FeatureBit {
    const char* name;
    unsigned leaf;  // 1, 7 or 0x80000001
    cpufeatures::Register reg;
    unsigned bit;
    bool needsAvxState;     // XCR0 bits 1 and 2
    bool needsAvx512State;  // XCR0 bits 1, 2, 5, 6 and 7
};

const FeatureBit kFeatureBits[] = {
    {"sse2", 1, cpufeatures::kEdx, 26, false, false},
    {"sse3", 1, cpufeatures::kEcx, 0, false, false},
    {"ssse3", 1, cpufeatures::kEcx, 9, false, false},
    {"sse4.1", 1, cpufeatures::kEcx, 19, false, false},
    {"sse4.2", 1, cpufeatures::kEcx, 20, false, false},
    {"popcnt", 1, cpufeatures::kEcx, 23, false, false},
    {"avx", 1, cpufeatures::kEcx, 28, true, false},
    {"fma", 1, cpufeatures::kEcx, 12, true, false},
    {"f16c", 1, cpufeatures::kEcx, 29, true, false},
    {"avx2", 7, cpufeatures::kEbx, 5, true, false},
    {"bmi", 7, cpufeatures::kEbx, 3, false, false},
    {"bmi2", 7, cpufeatures::kEbx, 8, false, false},
    {"lzcnt", 0x80000001, cpufeatures::kEcx, 5, false, false},
    {"avx512f", 7, cpufeatures::kEbx, 16, true, true},
    {"avx512bw", 7, cpufeatures::kEbx, 30, true, true},
    {"avx512vl", 7, cpufeatures::kEbx, 31, true, true},
    {"avx512vbmi", 7, cpufeatures::kEcx, 1, true, true},
    {"avx512vbmi2", 7, cpufeatures::kEcx, 6, true, true},
};

constexpr uint64_t kSavesEverything = 0xE6;  // SSE, AVX, opmask, both upper ZMM parts

// A machine with every feature of kFeatureBits but `missing`, the operating
// system's XSAVE on when `osXsave`, saving `xcr0`.
Machine MadeUpMachine(const char* missing = "", uint64_t xcr0 = kSavesEverything, bool osXsave = true)
{
    Machine machine;
    for (const FeatureBit& feature : kFeatureBits) {
        uint32_t* const registers = feature.leaf == 1   ? machine.m_leaf1
                                    : feature.leaf == 7 ? machine.m_leaf7
                                                        : machine.m_extendedLeaf1;
        if (std::string(feature.name) != missing) {
            registers[feature.reg] |= uint32_t{1} << feature.bit;
        }
    }
    machine.m_leaf1[cpufeatures::kEcx] |= osXsave ? uint32_t{1} << 27 : 0;
    machine.m_xcr0 = osXsave ? xcr0 : 0;
    return machine;
}

}  // namespace

TEST(ProcessorCheck, EveryFeatureIsItsOwnBitAndNeedsTheStateItUses)
{
    // The lists as the registry gives them: every name must be had.
    EXPECT_TRUE(cpufeatures::Supports(Machine{}, "")) << "a level without features";
    EXPECT_TRUE(cpufeatures::Supports(MadeUpMachine(), "avx2,bmi2"));
    EXPECT_FALSE(cpufeatures::Supports(MadeUpMachine(), "avx2,mmx")) << "a name the check does not know";
    EXPECT_FALSE(cpufeatures::Supports(MadeUpMachine(), "avx2,")) << "an empty name";
    for (const FeatureBit& feature : kFeatureBits) {
        SCOPED_TRACE(feature.name);
        EXPECT_TRUE(cpufeatures::Supports(MadeUpMachine(), feature.name));
        EXPECT_FALSE(cpufeatures::Supports(MadeUpMachine(feature.name), feature.name));
        EXPECT_EQ(cpufeatures::Supports(MadeUpMachine("", 0, false), feature.name), !feature.needsAvxState)
            << "without the operating system's XSAVE";
        for (const uint64_t lacking : {0x02u, 0x04u, 0x20u, 0x40u, 0x80u}) {
            const bool needed = lacking <= 0x04 ? feature.needsAvxState : feature.needsAvx512State;
            EXPECT_EQ(cpufeatures::Supports(MadeUpMachine("", kSavesEverything & ~lacking), feature.name), !needed)
                << "XCR0 without " << std::hex << lacking;
        }
    }
}

// The level each machine gets: the highest of the registry whose features it
// has, and whose registers its operating system saves.
TEST(ProcessorCheck, MadeUpMachinesGetTheirLevel)
{
    simd::Level avx512;
    if (!simd::ParseLevel("avx512", &avx512)) {
        GTEST_SKIP() << "this build has no x86-64 levels";
    }
    const auto level = [](const char* name) {
        simd::Level parsed = simd::Level::kPortable;
        EXPECT_TRUE(simd::ParseLevel(name, &parsed)) << name;
        return parsed;
    };
    struct Case {
        const char* name;
        Machine machine;
        const char* level;
    };
    const Case cases[] = {
        {"everything", MadeUpMachine(), "avx512"},
        {"AVX-512 bits, no ZMM state saved", MadeUpMachine("", 0x06), "avx2"},
        {"AVX-512 bits, no opmask state saved", MadeUpMachine("", 0xC6), "avx2"},
        {"OSXSAVE clear", MadeUpMachine("", kSavesEverything, false), "sse2"},
        {"no VBMI2", MadeUpMachine("avx512vbmi2"), "avx2"},
        {"no BMI2", MadeUpMachine("bmi2"), "sse2"},
        {"no SSE2", MadeUpMachine("sse2"), "portable"},
        {"nothing at all", Machine{}, "portable"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(simd::LevelName(kernels::LevelFor(c.machine)), std::string(c.level)) << c.name;
    }
    // Each feature of each level's list, missing: the level is the highest
    // whose list lacks it.
#define GLYPHMILL_LEVEL_FEATURES(name, Set, features) {#name, features},
    const std::pair<const char*, std::string> lists[] = {GLYPHMILL_LEVEL_REGISTRY(GLYPHMILL_LEVEL_FEATURES)};
#undef GLYPHMILL_LEVEL_FEATURES
    for (const auto& [name, features] : lists) {
        for (size_t from = 0; from < features.size();) {
            const size_t to = std::min(features.find(',', from), features.size());
            const std::string missing = features.substr(from, to - from);
            const char* expected = "portable";
            for (const auto& [other, otherFeatures] : lists) {
                if (("," + otherFeatures + ",").find("," + missing + ",") == std::string::npos) {
                    expected = other;
                }
            }
            EXPECT_EQ(simd::LevelName(kernels::LevelFor(MadeUpMachine(missing.c_str()))), std::string(expected))
                << "without " << missing;
            EXPECT_LT(kernels::LevelFor(MadeUpMachine(missing.c_str())), level(name)) << "without " << missing;
            from = to + 1;
        }
    }
}
