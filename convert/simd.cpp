#include "convert/simd.h"

#include <atomic>
#include <cstring>

#include "convert/kernels/cpu_features.h"
#include "convert/kernels/kernels.h"

namespace simd {

namespace {

// One entry of the registry.
struct LevelEntry {
    const char* m_name;
    const char* m_features;  // as the compiler's -m options take them, comma-separated
    const kernels::Table* m_kernels;
};

#define GLYPHMILL_LEVEL_ENTRY(name, Set, features) {#name, features, &kernels::k##Set},
constexpr LevelEntry kLevels[] = {GLYPHMILL_LEVEL_REGISTRY(GLYPHMILL_LEVEL_ENTRY)};
#undef GLYPHMILL_LEVEL_ENTRY

constexpr int kLevelCount = static_cast<int>(sizeof kLevels / sizeof kLevels[0]);

constexpr bool KnowsEveryFeature()
{
    for (const LevelEntry& entry : kLevels) {
        if (!cpufeatures::KnowsEvery(entry.m_features)) {
            return false;
        }
    }
    return true;
}
static_assert(KnowsEveryFeature(), "a level is compiled for a feature the processor check does not know");

// The highest level whose features the machine has, from the top of the
// registry down; the portable level needs none.
Level DetectLevel(const cpufeatures::Machine& machine)
{
    for (int rank = kLevelCount - 1; rank > 0; --rank) {
        if (cpufeatures::Supports(machine, kLevels[rank].m_features)) {
            return static_cast<Level>(rank);
        }
    }
    return Level::kPortable;
}

// -1 until the first use picks the supported level.
std::atomic<int> g_chosen{-1};

}  // namespace

int BuildLevelCount()
{
    return kLevelCount;
}

Level BuildLevel(int rank)
{
    return static_cast<Level>(rank);
}

bool HasLevel(Level level)
{
    return static_cast<int>(level) >= 0 && static_cast<int>(level) < kLevelCount;
}

Level CompiledLevel()
{
    return static_cast<Level>(kLevelCount - 1);
}

Level SupportedLevel()
{
    static const Level supported = DetectLevel(cpufeatures::ReadMachine());
    return supported;
}

Level ChosenLevel()
{
    const int chosen = g_chosen.load(std::memory_order_relaxed);
    return chosen >= 0 ? static_cast<Level>(chosen) : SupportedLevel();
}

Level UseLevel(Level level)
{
    const Level used = HasLevel(level) && level < SupportedLevel() ? level : SupportedLevel();
    g_chosen.store(static_cast<int>(used), std::memory_order_relaxed);
    return used;
}

const char* LevelName(Level level)
{
    return kLevels[HasLevel(level) ? static_cast<int>(level) : 0].m_name;
}

bool ParseLevel(const char* name, Level* level)
{
    for (int rank = 0; rank < kLevelCount; ++rank) {
        if (cpufeatures::IsName(name, name + std::strlen(name), kLevels[rank].m_name)) {
            *level = static_cast<Level>(rank);
            return true;
        }
    }
    return false;
}

}  // namespace simd

namespace kernels {

const Table& ForLevel(simd::Level level)
{
    return *simd::kLevels[simd::HasLevel(level) ? static_cast<int>(level) : 0].m_kernels;
}

const Table& Chosen()
{
    return ForLevel(simd::ChosenLevel());
}

}  // namespace kernels

simd::Level kernels::LevelFor(const cpufeatures::Machine& machine)
{
    return simd::DetectLevel(machine);
}
