#pragma once

// The instruction sets the byte kernels are built for, and the kernels of
// each. Every level has the same output; higher levels are faster.
//
// A level is a value: kernels::ForLevel(level) is its table of kernels, which
// a job (or a worker thread) resolves once and calls without touching shared
// state. The public converters (uri.h, entities.h, ...) are a convenience
// over the level chosen at start-up: the highest this processor runs, or the
// one UseLevel chose, which a program calls once, before any thread exists.
// kernels::AtLevel (atlevel.h) gives a public converter at another level.
//
// A build has its own levels, in order (cmake/Levels.cmake): portable, sse2,
// avx2, avx512 on x86-64; portable, neon on arm64; portable elsewhere. A level
// is its rank in that order; "lower" means earlier.

#include "convert/kerneltable.h"

namespace simd {

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

// The level chosen at start-up: the supported one unless UseLevel lowered it.
Level ChosenLevel();

// Chooses `level` for the public converters, or the supported level when that
// is lower (or when this build lacks `level`); returns the level chosen. Call
// it once, at start-up, before any thread exists.
Level UseLevel(Level level);

const char* LevelName(Level level);

// The level of this build named `name` ("portable", "sse2", "avx2", "avx512"
// on x86-64, "portable", "neon" on arm64); false for any other text,
// including the name of a level this build lacks.
bool ParseLevel(const char* name, Level* level);

}  // namespace simd

namespace kernels {

// The kernels of `level`, which this build has (the portable ones otherwise).
// The processor is not asked: a caller runs a level only up to
// simd::SupportedLevel().
const Table& ForLevel(simd::Level level);

// The kernels of simd::ChosenLevel().
const Table& Chosen();

}  // namespace kernels
