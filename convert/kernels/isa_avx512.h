#pragma once

// The AVX-512 set (BW, VL, VBMI, VBMI2): 64-byte registers with byte masks,
// byte compress and two-register permutes, which let a chunk be compacted in
// one instruction and looked up in a 256-entry table. Defines
// GLYPHMILL_SET_AVX512 where it exists. Internal to the converters library.

#include "convert/kernels/isa_avx2.h"

#if defined(GLYPHMILL_X86_KERNELS) && defined(__AVX512BW__) && defined(__AVX512VBMI__) && defined(__AVX512VBMI2__)
namespace isa {
inline namespace GLYPHMILL_ISA_NS {

struct Avx512 : private Avx2 {
    using Avx2::kHasWideCompare;

    static __m512i Load512(const unsigned char* in) { return _mm512_loadu_si512(in); }
    static void Store512(unsigned char* out, __m512i block) { _mm512_storeu_si512(out, block); }

    template <unsigned char kByte>
    static uint64_t Equal64(const unsigned char* in)
    {
        return _mm512_cmpeq_epi8_mask(Load512(in), _mm512_set1_epi8(static_cast<char>(kByte)));
    }

    static uint64_t High64(const unsigned char* in) { return _mm512_movepi8_mask(Load512(in)); }

    template <unsigned char kFirst, unsigned char kLast>
    static uint64_t InRange64(const unsigned char* in)
    {
        const __m512i offset = _mm512_sub_epi8(Load512(in), _mm512_set1_epi8(static_cast<char>(kFirst)));
        return _mm512_cmple_epu8_mask(offset, _mm512_set1_epi8(static_cast<char>(kLast - kFirst)));
    }

    static constexpr bool kHasTableLookup = true;

    // The table in four registers: each byte looked up in the half its top
    // bit chooses, by its low seven bits.
    static uint64_t Lookup64(const unsigned char* in, const unsigned char* table)
    {
        const __m512i bytes = Load512(in);
        const __m512i low = _mm512_permutex2var_epi8(Load512(table), bytes, Load512(table + 64));
        const __m512i high = _mm512_permutex2var_epi8(Load512(table + 128), bytes, Load512(table + 192));
        const __m512i entries = _mm512_mask_mov_epi8(low, _mm512_movepi8_mask(bytes), high);
        return _mm512_test_epi8_mask(entries, entries);
    }

    static void CopyRun(unsigned char* out, const unsigned char* in, ptrdiff_t) { Store512(out, Load512(in)); }

    // One compress and one store, whatever the bytes dropped.
    static unsigned char* Compact64(unsigned char* out, const unsigned char* in, uint64_t drop)
    {
        Store512(out, _mm512_maskz_compress_epi8(~drop, Load512(in)));
        return out + (kChunk - __builtin_popcountll(drop));
    }
};

static_assert(Conforms<Avx512>());

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isa
#define GLYPHMILL_SET_AVX512 1
#endif
