#pragma once

// The tables of kernels, one per level of the registry (the generated
// levels.inc, from cmake/Levels.cmake): kernels::k<Set>, built in
// kernels_<level>.cpp, which is compiled for that instruction set. Internal
// to the converters library; kerneltable.h has the table's type, simd.h the
// way to it.

#include "convert/kernels/cpu_features.h"
#include "convert/kernels/levels.inc"
#include "convert/kerneltable.h"

namespace kernels {

#define GLYPHMILL_DECLARE_TABLE(name, Set, features) extern const Table k##Set;
GLYPHMILL_LEVEL_REGISTRY(GLYPHMILL_DECLARE_TABLE)
#undef GLYPHMILL_DECLARE_TABLE

// The level a machine with these cpuid and XGETBV values runs: the highest
// of the registry whose features it has.
simd::Level LevelFor(const cpufeatures::Machine& machine);

// The number of levels this build has.
#define GLYPHMILL_COUNT_LEVEL(name, Set, features) +1
constexpr int kLevelCount = 0 GLYPHMILL_LEVEL_REGISTRY(GLYPHMILL_COUNT_LEVEL);
#undef GLYPHMILL_COUNT_LEVEL

// One of the code-page converters (utf8.h) as the converter of the same page
// at `level`, for AtLevel; null for any other converter.
ConvertFn PageConverterAtLevel(ConvertFn converter, simd::Level level);

}  // namespace kernels
