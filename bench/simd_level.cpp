// The benchmarks run at the level GLYPHMILL_SIMD names, as the tool does, so
// that one binary measures every level: GLYPHMILL_SIMD=sse2 converters_bench.
#include <cstdio>
#include <cstdlib>

#include "convert/simd.h"

namespace {

const bool kLevelChosen = [] {
    simd::Level level = simd::SupportedLevel();
    const char* name = std::getenv("GLYPHMILL_SIMD");
    if (name != nullptr && name[0] != '\0' && !simd::ParseLevel(name, &level)) {
        std::fprintf(stderr, "GLYPHMILL_SIMD: unknown level '%s'\n", name);
        std::exit(2);
    }
    std::fprintf(stderr, "kernels: %s\n", simd::LevelName(simd::UseLevel(level)));
    return true;
}();

}  // namespace
