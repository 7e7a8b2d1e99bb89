#pragma once

// The instruction sets the byte kernels are built for, and the one they use.
// Every level has the same output; higher levels are faster. The level is
// chosen once, from what the processor reports, and may be lowered (never
// raised) by the user or a test, e.g. from GLYPHMILL_SIMD.

namespace simd {

enum class Level : int {
    kPortable = 0,  // plain C++: every host
    kSse2 = 1,      // x86-64 baseline
    kAvx2 = 2,      // with BMI2
    kAvx512 = 3,    // BW, VBMI and VBMI2: byte compress, expand and permute
};

constexpr int kLevelCount = 4;

// The highest level this build has.
Level CompiledLevel();

// The highest level this build has and this processor runs.
Level SupportedLevel();

// The level the kernels use now: the supported one unless lowered.
Level ActiveLevel();

// Makes the kernels use `level`, or the supported level when that is lower.
// Returns the level now in use.
Level UseLevel(Level level);

const char* LevelName(Level level);

// The level named `name` ("portable", "sse2", "avx2", "avx512"); false for
// any other text.
bool ParseLevel(const char* name, Level* level);

}  // namespace simd
