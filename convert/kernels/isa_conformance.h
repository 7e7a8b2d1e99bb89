#pragma once

// What every instruction-set struct provides, checked when the set is
// defined: a set that lacks a primitive (or inherits one without saying so)
// fails to build. Portable is the model; each set header ends with
// static_assert(Conforms<Set>()). Internal to the converters library.
//
//   Traits
//     kHasWideCompare          compares 16 or more bytes in one instruction, so
//                              a test per member of a byte set beats a table
//                              lookup per byte
//     kHasTableLookup          looks a chunk up in a 256-entry table in a few
//                              instructions (Lookup64), which beats a test per
//                              member of a large byte set
//   Chunk scans: one bit per byte of a kChunk-byte chunk, byte 0 in bit 0
//     Equal64<kByte>(in)       the bytes equal to kByte
//     High64(in)               the bytes from 0x80 up
//     InRange64<kFirst, kLast>(in)  the bytes in [kFirst, kLast]
//     Lookup64(in, table)      the bytes whose table entry is non-zero
//   Moves
//     CopyRun(out, in, length) a run of at most a chunk; reads and writes up to
//                              kChunk bytes
//     Compact64(out, in, drop) a chunk without the bytes flagged in `drop`,
//                              towards the front (out <= in); returns the end;
//                              writes up to kChunk bytes
//
// A set derives privately from the set whose members it shares and names
// each one it takes (`using Sse2::Load;`): the check sees only what a set
// declares or names.

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace isa {
inline namespace GLYPHMILL_ISA_NS {
namespace conformance {

inline const unsigned char* In();
inline unsigned char* Out();

#define GLYPHMILL_PRIMITIVE(Name, ...)                                         \
    template <typename V, typename = void>                                     \
    struct Has##Name : std::false_type {                                       \
    };                                                                         \
    template <typename V>                                                      \
    struct Has##Name<V, std::void_t<decltype(__VA_ARGS__)>> : std::true_type { \
    };

GLYPHMILL_PRIMITIVE(WideCompare, bool{V::kHasWideCompare})
GLYPHMILL_PRIMITIVE(TableLookup, bool{V::kHasTableLookup})
GLYPHMILL_PRIMITIVE(Equal64, uint64_t{V::template Equal64<'a'>(In())})
GLYPHMILL_PRIMITIVE(High64, uint64_t{V::High64(In())})
GLYPHMILL_PRIMITIVE(InRange64, uint64_t{V::template InRange64<'a', 'z'>(In())})
GLYPHMILL_PRIMITIVE(Lookup64, uint64_t{V::Lookup64(In(), In())})
GLYPHMILL_PRIMITIVE(CopyRun, V::CopyRun(Out(), In(), ptrdiff_t{}))
GLYPHMILL_PRIMITIVE(Compact64, std::add_pointer_t<unsigned char>{V::Compact64(Out(), In(), uint64_t{})})

#undef GLYPHMILL_PRIMITIVE

}  // namespace conformance

template <typename V>
constexpr bool Conforms()
{
    using namespace conformance;
    static_assert(HasWideCompare<V>::value, "the set must state kHasWideCompare");
    static_assert(HasTableLookup<V>::value, "the set must state kHasTableLookup");
    static_assert(HasEqual64<V>::value, "the set must provide Equal64<kByte>(in)");
    static_assert(HasHigh64<V>::value, "the set must provide High64(in)");
    static_assert(HasInRange64<V>::value, "the set must provide InRange64<kFirst, kLast>(in)");
    static_assert(HasLookup64<V>::value, "the set must provide Lookup64(in, table)");
    static_assert(HasCopyRun<V>::value, "the set must provide CopyRun(out, in, length)");
    static_assert(HasCompact64<V>::value, "the set must provide Compact64(out, in, drop)");
    return true;
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isa
