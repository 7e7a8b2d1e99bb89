# The instruction-set levels the kernels are built for beyond the portable
# one, and for each the features its object is compiled for. Each list is the
# one source of both the object's compiler flags (-m<feature>,
# convert/CMakeLists.txt) and the check that the processor reports every one
# of them before the level is used (convert/kernels/cpu_features.cpp). The
# test level_features_cover_the_flags fails when the flags turn on anything a
# list lacks (an implied feature such as sse4.2 under -mavx2).
set(GLYPHMILL_LEVELS "")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND NOT GLYPHMILL_PORTABLE)
  set(GLYPHMILL_LEVELS sse2 avx2 avx512)
  set(GLYPHMILL_LEVEL_FEATURES_sse2 sse2)
  set(GLYPHMILL_LEVEL_FEATURES_avx2 sse2 sse3 ssse3 sse4.1 sse4.2 popcnt avx avx2 bmi bmi2 lzcnt)
  # clang turns on fma and f16c with avx512f.
  set(GLYPHMILL_LEVEL_FEATURES_avx512 ${GLYPHMILL_LEVEL_FEATURES_avx2}
      fma f16c avx512f avx512bw avx512vl avx512vbmi avx512vbmi2)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$" AND NOT GLYPHMILL_PORTABLE)
  # Advanced SIMD is part of every AArch64 processor: the level needs no flag
  # and no check at start, and is chosen at build time as the highest.
  set(GLYPHMILL_LEVELS neon)
  set(GLYPHMILL_LEVEL_FEATURES_neon "")
endif()
