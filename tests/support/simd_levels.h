#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "convert/atlevel.h"
#include "convert/simd.h"

namespace simd {
// Test names and messages show the level by name.
inline void PrintTo(Level level, std::ostream* out)
{
    *out << LevelName(level);
}
}  // namespace simd

// Every instruction-set level this build has, from the portable one up: the
// tables of kernel tests run once per level.
inline std::vector<simd::Level> CompiledLevels()
{
    std::vector<simd::Level> levels;
    for (int rank = 0; rank < simd::BuildLevelCount(); ++rank) {
        levels.push_back(simd::BuildLevel(rank));
    }
    return levels;
}

// A test fixture whose parameter is the level whose kernels it calls
// (At(UriEncode) is that level's -i); a level the processor lacks is skipped,
// and says so. Nothing of the process changes: levels may run side by side.
class CAtEveryLevel : public ::testing::TestWithParam<simd::Level> {
protected:
    void SetUp() override
    {
        if (simd::SupportedLevel() < GetParam()) {
            GTEST_SKIP() << "this processor lacks the " << simd::LevelName(GetParam())
                         << " level; the highest it runs is " << simd::LevelName(simd::SupportedLevel());
        }
    }

    // A public converter as this level's kernel.
    ConvertFn At(ConvertFn converter) const { return kernels::AtLevel(converter, GetParam()); }
    const kernels::Table& Kernels() const { return kernels::ForLevel(GetParam()); }
};

inline std::string LevelTestName(const ::testing::TestParamInfo<simd::Level>& info)
{
    return simd::LevelName(info.param);
}

// Runs the tests of `fixture` (a CAtEveryLevel) once per level this build has.
#define GLYPHMILL_AT_EVERY_LEVEL(fixture) \
    INSTANTIATE_TEST_SUITE_P(Levels, fixture, ::testing::ValuesIn(CompiledLevels()), LevelTestName)
