# The registry of instruction-set levels: one glyphmill_level() line per level
# above the portable one, lowest first, naming the level, its instruction-set
# struct (convert/kernels/isa_<level>.h) and the features its object is
# compiled for. Each list is the one source of the object's compiler flags
# (-m<feature>, convert/CMakeLists.txt), of the check that the processor
# reports every one of them before the level is used (the generated
# convert/kernels/levels.inc, read by convert/kernels/simd.cpp), and of the
# kernels' table of the level (kernels_<level>.cpp). The test
# level_features_cover_the_flags fails when the flags turn on anything a list
# lacks (an implied feature such as sse4.2 under -mavx2).
#
# GLYPHMILL_LEVELS lists the names; GLYPHMILL_LEVEL_SET_<name> and
# GLYPHMILL_LEVEL_FEATURES_<name> hold the rest. GLYPHMILL_LEVEL_FAMILY is the
# kind of processor the levels are for (x86, neon, or empty).
set(GLYPHMILL_LEVELS "")
set(GLYPHMILL_LEVEL_FAMILY "")
macro(glyphmill_level name set)
  list(APPEND GLYPHMILL_LEVELS ${name})
  set(GLYPHMILL_LEVEL_SET_${name} ${set})
  set(GLYPHMILL_LEVEL_FEATURES_${name} ${ARGN})
endmacro()

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND NOT GLYPHMILL_PORTABLE)
  set(GLYPHMILL_LEVEL_FAMILY x86)
  glyphmill_level(sse2 Sse2 sse2)
  glyphmill_level(avx2 Avx2 sse2 sse3 ssse3 sse4.1 sse4.2 popcnt avx avx2 bmi bmi2 lzcnt)
  # clang turns on fma and f16c with avx512f.
  glyphmill_level(avx512 Avx512 ${GLYPHMILL_LEVEL_FEATURES_avx2} fma f16c avx512f avx512bw avx512vl avx512vbmi
                  avx512vbmi2)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$" AND NOT GLYPHMILL_PORTABLE)
  # Advanced SIMD is part of every AArch64 processor: the level needs no flag,
  # and its empty list passes the check at start on every processor.
  set(GLYPHMILL_LEVEL_FAMILY neon)
  glyphmill_level(neon Neon)
endif()

# The compiler options of an object built for `level` (a name of
# GLYPHMILL_LEVELS), in `out`: -m<feature> for each feature of its list, and
# what the toolchain needs besides.
function(glyphmill_level_flags level out)
  list(TRANSFORM GLYPHMILL_LEVEL_FEATURES_${level} PREPEND -m OUTPUT_VARIABLE flags)
  # Nothing built for a level throws: without unwind tables' personality
  # pointer (which gcc's --coverage emits), the object defines nothing outside
  # its namespace in every build.
  list(APPEND flags -fno-exceptions)
  if(WIN32 AND NOT level STREQUAL "sse2")
    # mingw-w64 cannot align the stack beyond 16 bytes: vector spills must
    # not use aligned moves.
    list(APPEND flags -Wa,-muse-unaligned-vector-move)
  endif()
  set(${out} ${flags} PARENT_SCOPE)
endfunction()
