#include "convert/simd.h"

#include <atomic>

#include "convert/kernels/kernels.h"

#if defined(GLYPHMILL_X86_KERNELS)
#include "convert/kernels/cpu_features.h"
#endif

namespace simd {

namespace {

constexpr const char* kNames[kLevelCount] = {"portable", "sse2", "avx2", "avx512", "neon"};

// This build's levels, lowest first.
constexpr Level kBuildLevels[] = {
    Level::kPortable,
#if defined(GLYPHMILL_X86_KERNELS)
    Level::kSse2,
    Level::kAvx2,
    Level::kAvx512,
#elif defined(GLYPHMILL_NEON_KERNELS)
    Level::kNeon,
#endif
};
constexpr int kBuildLevelCount = static_cast<int>(sizeof kBuildLevels / sizeof kBuildLevels[0]);

// The rank of `level` in this build, or -1 when the build lacks it.
int Rank(Level level)
{
    for (int rank = 0; rank < kBuildLevelCount; ++rank) {
        if (kBuildLevels[rank] == level) {
            return rank;
        }
    }
    return -1;
}

#if defined(GLYPHMILL_X86_KERNELS)
// The features each level's object is compiled for (cmake/Levels.cmake).
static_assert(cpufeatures::KnowsEvery(GLYPHMILL_FEATURES_SSE2) && cpufeatures::KnowsEvery(GLYPHMILL_FEATURES_AVX2) &&
                  cpufeatures::KnowsEvery(GLYPHMILL_FEATURES_AVX512),
              "a level is compiled for a feature the processor check does not know");
#endif

Level DetectLevel()
{
#if defined(GLYPHMILL_X86_KERNELS)
    if (cpufeatures::Supports(GLYPHMILL_FEATURES_AVX512)) {
        return Level::kAvx512;
    }
    if (cpufeatures::Supports(GLYPHMILL_FEATURES_AVX2)) {
        return Level::kAvx2;
    }
    if (cpufeatures::Supports(GLYPHMILL_FEATURES_SSE2)) {
        return Level::kSse2;
    }
#elif defined(GLYPHMILL_NEON_KERNELS)
    // Every AArch64 processor has Advanced SIMD.
    return Level::kNeon;
#endif
    return Level::kPortable;
}

// -1 until the first use picks the supported level.
std::atomic<int> g_active{-1};

}  // namespace

int BuildLevelCount()
{
    return kBuildLevelCount;
}

Level BuildLevel(int rank)
{
    return kBuildLevels[rank];
}

bool HasLevel(Level level)
{
    return Rank(level) >= 0;
}

Level CompiledLevel()
{
    return kBuildLevels[kBuildLevelCount - 1];
}

Level SupportedLevel()
{
    static const Level supported = DetectLevel();
    return supported;
}

Level ActiveLevel()
{
    int active = g_active.load(std::memory_order_relaxed);
    if (active < 0) {
        active = static_cast<int>(SupportedLevel());
        g_active.store(active, std::memory_order_relaxed);
    }
    return static_cast<Level>(active);
}

Level UseLevel(Level level)
{
    const int rank = Rank(level);
    const Level used = rank >= 0 && rank < Rank(SupportedLevel()) ? level : SupportedLevel();
    g_active.store(static_cast<int>(used), std::memory_order_relaxed);
    return used;
}

const char* LevelName(Level level)
{
    return kNames[static_cast<int>(level)];
}

bool ParseLevel(const char* name, Level* level)
{
    for (int i = 0; i < kLevelCount; ++i) {
        const char* a = name;
        const char* b = kNames[i];
        while (*a != '\0' && *a == *b) {
            ++a;
            ++b;
        }
        if (*a == '\0' && *b == '\0' && HasLevel(static_cast<Level>(i))) {
            *level = static_cast<Level>(i);
            return true;
        }
    }
    return false;
}

}  // namespace simd

namespace kernels {

const Table& Active()
{
    switch (simd::ActiveLevel()) {
#if defined(GLYPHMILL_X86_KERNELS)
    case simd::Level::kAvx512:
        return kAvx512;
    case simd::Level::kAvx2:
        return kAvx2;
    case simd::Level::kSse2:
        return kSse2;
#elif defined(GLYPHMILL_NEON_KERNELS)
    case simd::Level::kNeon:
        return kNeon;
#endif
    default:
        return kPortable;
    }
}

}  // namespace kernels
