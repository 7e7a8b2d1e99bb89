#pragma once

// The public converters at a level of the caller's choosing, for the tests,
// the fuzzers and the benchmarks, which hold every level's kernels side by
// side without changing the level chosen at start-up. It sits above both the
// public converters, whose functions it knows, and simd.h, whose tables it
// reads, so that neither needs the other.

#include "convert/convert.h"
#include "convert/kerneltable.h"

namespace kernels {

// `converter` (one of the public converters, which call the chosen level's
// kernel) as the kernel of `level` itself; a converter without kernels per
// level (ToUnixLineEnds) is returned as it is.
ConvertFn AtLevel(ConvertFn converter, simd::Level level);

}  // namespace kernels
