#pragma once

// The SSE2 set: 16-byte blocks, which every x86-64 has. Defines
// GLYPHMILL_SET_SSE2 where it exists. Internal to the converters library.

#include "convert/kernels/isa_portable.h"

#if defined(GLYPHMILL_X86_KERNELS) && defined(__SSE2__)
#include <immintrin.h>

namespace isa {
inline namespace GLYPHMILL_ISA_NS {

// Row n has its first n lanes set: a mask from a table load is cheaper than
// one broadcast from a lane number and a compare.
struct LaneMasks {
    alignas(16) unsigned char m_rows[18][16] = {};
};

constexpr LaneMasks BuildLaneMasks()
{
    LaneMasks masks;
    for (int row = 0; row < 18; ++row) {
        for (int lane = 0; lane < 16 && lane < row; ++lane) {
            masks.m_rows[row][lane] = 0xFF;
        }
    }
    return masks;
}

inline constexpr LaneMasks kLaneMasks = BuildLaneMasks();

// 16-byte blocks.
struct Sse2 : private Portable {
    using Portable::kHasTableLookup;
    using Portable::Lookup64;

    static constexpr bool kHasWideCompare = true;
    static constexpr ptrdiff_t kBlock = 16;

    static __m128i Load(const unsigned char* in) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(in)); }
    static void Store(unsigned char* out, __m128i block) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block); }
    static unsigned Bits(__m128i lanes) { return static_cast<unsigned>(_mm_movemask_epi8(lanes)); }

    template <unsigned char kByte>
    static __m128i Equal(__m128i block)
    {
        return _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(kByte)));
    }

    template <unsigned char kFirst, unsigned char kLast>
    static __m128i InRange(__m128i block)
    {
        const __m128i first = _mm_set1_epi8(static_cast<char>(kFirst));
        if constexpr (kFirst == kLast) {
            return _mm_cmpeq_epi8(block, first);
        } else {
            // byte - kFirst, as an unsigned byte, is at most kLast - kFirst.
            const __m128i offset = _mm_sub_epi8(block, first);
            return _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(static_cast<char>(kLast - kFirst))), offset);
        }
    }

    template <typename BlockBits>
    static uint64_t Chunk(const unsigned char* in, BlockBits blockBits)
    {
        uint64_t bits = 0;
        for (ptrdiff_t block = 0; block < kChunk; block += kBlock) {
            bits |= uint64_t{blockBits(Load(in + block))} << block;
        }
        return bits;
    }

    template <unsigned char kByte>
    static uint64_t Equal64(const unsigned char* in)
    {
        return Chunk(in, [](__m128i block) { return Bits(Equal<kByte>(block)); });
    }

    static uint64_t High64(const unsigned char* in)
    {
        return Chunk(in, [](__m128i block) { return Bits(block); });
    }

    template <unsigned char kFirst, unsigned char kLast>
    static uint64_t InRange64(const unsigned char* in)
    {
        return Chunk(in, [](__m128i block) { return Bits(InRange<kFirst, kLast>(block)); });
    }

    static void CopyRun(unsigned char* out, const unsigned char* in, ptrdiff_t length)
    {
        CopyRunInBlocks<Sse2>(out, in, length);
    }

    // The lanes before `lane`, for lane 0 to 17.
    static __m128i LanesBefore(unsigned lane)
    {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(kLaneMasks.m_rows[lane]));
    }

    // The block with the byte at `at` removed (the last lane is left over).
    static __m128i WithoutByte(__m128i bytes, unsigned at)
    {
        const __m128i before = LanesBefore(at);
        return _mm_or_si128(_mm_and_si128(before, bytes), _mm_andnot_si128(before, _mm_srli_si128(bytes, 1)));
    }

    // A block with at most one byte to drop is one store without a branch on
    // where the byte is; others go byte by byte.
    static unsigned char* Compact64(unsigned char* out, const unsigned char* in, uint64_t drop)
    {
        for (ptrdiff_t block = 0; block < kChunk; block += kBlock) {
            const unsigned bits = static_cast<unsigned>(drop >> block) & 0xFFFF;
            if ((bits & (bits - 1)) != 0) {
                out = Portable::CompactBytes(out, in + block, kBlock, bits);
                continue;
            }
            const unsigned at = bits != 0 ? bytescan::LowestBit(bits) : kBlock;
            Store(out, WithoutByte(Load(in + block), at));
            out += kBlock - (bits != 0 ? 1 : 0);
        }
        return out;
    }
};

static_assert(Conforms<Sse2>());

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isa
#define GLYPHMILL_SET_SSE2 1
#endif
