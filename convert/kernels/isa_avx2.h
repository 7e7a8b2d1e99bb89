#pragma once

// The AVX2 set: 32-byte blocks and byte shuffles. Defines GLYPHMILL_SET_AVX2
// where it exists. Internal to the converters library.

#include "convert/kernels/isa_sse2.h"
#include "convert/kernels/shuffle_rows.h"

#if defined(GLYPHMILL_X86_KERNELS) && defined(__AVX2__) && defined(__BMI2__)
namespace isa {
inline namespace GLYPHMILL_ISA_NS {

// 32-byte blocks.
struct Avx2 : private Sse2 {
    using Sse2::Bits;
    using Sse2::kBlock;
    using Sse2::kHasTableLookup;
    using Sse2::kHasWideCompare;
    using Sse2::Load;
    using Sse2::Lookup64;
    using Sse2::Store;

    static __m256i Load256(const unsigned char* in) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)); }
    static void Store256(unsigned char* out, __m256i block)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), block);
    }
    static uint64_t Bits256(__m256i lanes) { return static_cast<uint32_t>(_mm256_movemask_epi8(lanes)); }

    template <typename BlockBits>
    static uint64_t Chunk(const unsigned char* in, BlockBits blockBits)
    {
        return blockBits(Load256(in)) | blockBits(Load256(in + 32)) << 32;
    }

    template <unsigned char kByte>
    static uint64_t Equal64(const unsigned char* in)
    {
        const __m256i byte = _mm256_set1_epi8(static_cast<char>(kByte));
        return Chunk(in, [byte](__m256i block) { return Bits256(_mm256_cmpeq_epi8(block, byte)); });
    }

    static uint64_t High64(const unsigned char* in)
    {
        return Chunk(in, [](__m256i block) { return Bits256(block); });
    }

    template <unsigned char kFirst, unsigned char kLast>
    static uint64_t InRange64(const unsigned char* in)
    {
        return Chunk(in, [](__m256i block) {
            const __m256i offset = _mm256_sub_epi8(block, _mm256_set1_epi8(static_cast<char>(kFirst)));
            const __m256i span = _mm256_set1_epi8(static_cast<char>(kLast - kFirst));
            return Bits256(_mm256_cmpeq_epi8(_mm256_min_epu8(offset, span), offset));
        });
    }

    static void CopyRun(unsigned char* out, const unsigned char* in, ptrdiff_t length)
    {
        Store256(out, Load256(in));
        if (length > 32) {
            Store256(out + 32, Load256(in + 32));
        }
    }

    // Without a byte loop: a 16-byte block that drops at most one byte (text
    // with a CR LF pair per line) is one store (Sse2's WithoutByte); any
    // other is two groups of eight, each one shuffle by the row of kDropRows
    // for its bits in `drop`. Each block is loaded before it is stored, and
    // out never passes in, so no store reaches a byte not yet loaded.
    static unsigned char* Compact64(unsigned char* out, const unsigned char* in, uint64_t drop)
    {
        for (ptrdiff_t block = 0; block < kChunk; block += kBlock) {
            const unsigned bits = static_cast<unsigned>(drop >> block) & 0xFFFF;
            if ((bits & (bits - 1)) != 0) {
                out = CompactGroup(out, in + block, bits & 0xFF);
                out = CompactGroup(out, in + block + 8, bits >> 8);
                continue;
            }
            const unsigned at = bits != 0 ? bytescan::LowestBit(bits) : kBlock;
            Store(out, WithoutByte(Load(in + block), at));
            out += kBlock - (bits != 0 ? 1 : 0);
        }
        return out;
    }

private:
    // Eight bytes without those flagged in `mask`, by one shuffle.
    static unsigned char* CompactGroup(unsigned char* out, const unsigned char* in, unsigned mask)
    {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in));
        const __m128i row = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kDropRows.m_rows[mask]));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(bytes, row));
        return out + kDropRows.m_kept[mask];
    }
};

static_assert(Conforms<Avx2>());

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isa
#define GLYPHMILL_SET_AVX2 1
#endif
