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

// The set's fast path: FastPath<V>::MapHighBytes(table, at, end) maps whole
// blocks from `at` on and returns where it stopped; none by default. A set
// that does better has its specialisation below, compiled where the set is.
template <typename V>
struct FastPath {
    static unsigned char* MapHighBytes(const unsigned char*, unsigned char* at, const unsigned char*) { return at; }
};

#if defined(GLYPHMILL_SET_AVX512)
template <>
struct FastPath<isa::Avx512> {
    // The upper half of the table in two registers; a chunk's
    // bytes from 0x80 up are looked up in both at once by their low seven bits.
    static unsigned char* MapHighBytes(const unsigned char* table, unsigned char* at, const unsigned char* end)
    {
        const __m512i first = _mm512_loadu_si512(table + 128);
        const __m512i second = _mm512_loadu_si512(table + 192);
        for (; end - at >= bytescan::kChunk; at += bytescan::kChunk) {
            const __m512i bytes = isa::Avx512::Load512(at);
            const __mmask64 high = _mm512_movepi8_mask(bytes);
            const __m512i mapped = _mm512_permutex2var_epi8(first, bytes, second);
            isa::Avx512::Store512(at, _mm512_mask_mov_epi8(bytes, high, mapped));
        }
        return at;
    }
};
#endif

#if defined(GLYPHMILL_SET_NEON)
template <>
struct FastPath<isa::Neon> {
    // The upper half is 128 entries: two 64-entry lookups
    // (vqtbl4q_u8), each 0 for an index beyond its entries; the lower half is
    // the identity, so those bytes are kept.
    static unsigned char* MapHighBytes(const unsigned char* table, unsigned char* at, const unsigned char* end)
    {
        const uint8x16x4_t first = vld1q_u8_x4(table + 128);
        const uint8x16x4_t second = vld1q_u8_x4(table + 192);
        const uint8x16_t top = vdupq_n_u8(0x80);
        const uint8x16_t sixtyFour = vdupq_n_u8(64);
        for (; end - at >= isa::Neon::kBlock; at += isa::Neon::kBlock) {
            const uint8x16_t bytes = isa::Neon::Load(at);
            // 0x80-0xFF to 0-127; 0-0x7F to 128-255, beyond both lookups.
            const uint8x16_t index = veorq_u8(bytes, top);
            const uint8x16_t mapped =
                vorrq_u8(vqtbl4q_u8(first, index), vqtbl4q_u8(second, vsubq_u8(index, sixtyFour)));
            isa::Neon::Store(at, vbslq_u8(vcgeq_u8(bytes, top), mapped, bytes));
        }
        return at;
    }
};
#endif

template <typename V>
void MapBytes(const unsigned char* table, const uint16_t* pairs, unsigned char* buffer, uint32_t length)
{
    unsigned char* at = buffer;
    unsigned char* const end = buffer + length;
    at = FastPath<V>::MapHighBytes(table, at, end);
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
