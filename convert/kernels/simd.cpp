#include "convert/simd.h"

#include <atomic>

#include "convert/kernels/kernels.h"

#if defined(GLYPHMILL_X86_KERNELS)
#include "convert/kernels/cpu_features.h"
#endif

namespace simd {

namespace {

constexpr const char* kNames[kLevelCount] = {"portable", "sse2", "avx2", "avx512"};

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
#endif
    return Level::kPortable;
}

// -1 until the first use picks the supported level.
std::atomic<int> g_active{-1};

}  // namespace

Level CompiledLevel()
{
#if defined(GLYPHMILL_X86_KERNELS)
    return Level::kAvx512;
#else
    return Level::kPortable;
#endif
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
    const Level used = static_cast<int>(level) < static_cast<int>(SupportedLevel()) ? level : SupportedLevel();
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
        if (*a == '\0' && *b == '\0') {
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
#endif
    default:
        return kPortable;
    }
}

}  // namespace kernels
