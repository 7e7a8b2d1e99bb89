#pragma once

// The checks of one instruction set's primitives, built once per level of the
// registry with that level's compiler flags (isa_level_checks.cpp), and what
// they report: a plain struct, so that nothing compiled for a level crosses
// into code built for another.

#include <cstdint>

#include "convert/kernels/levels.inc"

struct IsaCheckFailure {
    const char* m_what = nullptr;  // the primitive and its arguments; null when every check passed
    uint64_t m_expected = 0;
    uint64_t m_actual = 0;
    uint64_t m_case = 0;  // the chunk, drop mask or table that showed it
};

#define GLYPHMILL_DECLARE_ISA_CHECK(name, Set, features) \
    namespace isachecks {                                \
    namespace isa_##name                                 \
    {                                                    \
        IsaCheckFailure CheckPrimitives();               \
    }                                                    \
    }
GLYPHMILL_LEVEL_REGISTRY(GLYPHMILL_DECLARE_ISA_CHECK)
#undef GLYPHMILL_DECLARE_ISA_CHECK
