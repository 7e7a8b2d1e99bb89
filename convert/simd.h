#pragma once

// The instruction sets the byte kernels are built for, and the one they use.
// Every level has the same output; higher levels are faster. The level is
// chosen once, from what the processor reports (on arm64: at build time, as
// every AArch64 processor has Advanced SIMD), and may be lowered (never
// raised) by the user or a test, e.g. from GLYPHMILL_SIMD.
//
// A build has its own levels, in order: portable, sse2, avx2, avx512 on
// x86-64; portable, neon on arm64; portable elsewhere. The enumerators name
// every level of every build; "lower" means earlier in this build's order.

namespace simd {

enum class Level : int {
    kPortable = 0,  // plain C++: every host
    kSse2 = 1,      // x86-64 baseline
    kAvx2 = 2,      // with BMI2
    kAvx512 = 3,    // BW, VBMI and VBMI2: byte compress, expand and permute
    kNeon = 4,      // arm64: AArch64 Advanced SIMD, 16-byte blocks
};

constexpr int kLevelCount = 5;

// The number of levels this build has, and the one of rank `rank` (0, the
// portable level, to BuildLevelCount() - 1, the highest).
int BuildLevelCount();
Level BuildLevel(int rank);

// Whether this build has `level`.
bool HasLevel(Level level);

// The highest level this build has.
Level CompiledLevel();

// The highest level this build has and this processor runs.
Level SupportedLevel();

// The level the kernels use now: the supported one unless lowered.
Level ActiveLevel();

// Makes the kernels use `level`, or the supported level when that is lower
// (or when this build lacks `level`). Returns the level now in use.
Level UseLevel(Level level);

const char* LevelName(Level level);

// The level of this build named `name` ("portable", "sse2", "avx2", "avx512"
// on x86-64, "portable", "neon" on arm64); false for any other text,
// including the name of a level this build lacks.
bool ParseLevel(const char* name, Level* level);

}  // namespace simd
