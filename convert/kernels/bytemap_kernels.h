#pragma once

// The byte map as a template over the instruction set (isa.h). Internal to
// the converters library.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/bytescan.h"
#include "convert/kernels/isa.h"

namespace bytemapkernels {
inline namespace GLYPHMILL_ISA_NS {

// Eight bytes, four pairs, each looked up where it sits in the word. The
// pair table is built from the bytes as they sit in memory, so the result is
// the same on hosts of either byte order.
GLYPHMILL_INLINE uint64_t MapWord(const uint16_t* pairs, uint64_t word)
{
    uint64_t mapped = 0;
    for (unsigned shift = 0; shift < 64; shift += 16) {
        mapped |= uint64_t{pairs[(word >> shift) & 0xFFFF]} << shift;
    }
    return mapped;
}

#if defined(GLYPHMILL_X86_KERNELS) && defined(__AVX512VBMI__)
// The upper half of the table in two registers; a chunk's bytes from 0x80
// up are looked up in both at once by their low seven bits.
inline unsigned char* MapChunksPermute(const unsigned char* table, unsigned char* at, const unsigned char* end)
{
    const __m512i first = _mm512_loadu_si512(table + 128);
    const __m512i second = _mm512_loadu_si512(table + 192);
    for (; end - at >= bytescan::kChunk; at += bytescan::kChunk) {
        const __m512i bytes = _mm512_loadu_si512(at);
        const __mmask64 high = _mm512_movepi8_mask(bytes);
        const __m512i mapped = _mm512_permutex2var_epi8(first, bytes, second);
        _mm512_storeu_si512(at, _mm512_mask_mov_epi8(bytes, high, mapped));
    }
    return at;
}
#endif

template <typename V>
void MapBytes(const unsigned char* table, const uint16_t* pairs, unsigned char* buffer, uint32_t length)
{
    unsigned char* at = buffer;
    unsigned char* const end = buffer + length;
#if defined(GLYPHMILL_X86_KERNELS) && defined(__AVX512VBMI__)
    if constexpr (V::kHasCompress) {
        at = MapChunksPermute(table, at, end);
    }
#endif
    for (; end - at >= bytescan::kChunk; at += bytescan::kChunk) {
        // Plain ASCII, the most of most text, is only looked at.
        if (V::High64(at) == 0) {
            continue;
        }
        for (ptrdiff_t i = 0; i < bytescan::kChunk; i += 8) {
            uint64_t word = 0;
            std::memcpy(&word, at + i, sizeof word);
            word = MapWord(pairs, word);
            std::memcpy(at + i, &word, sizeof word);
        }
    }
    for (; at < end; ++at) {
        *at = table[*at];
    }
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace bytemapkernels
