#pragma once

// The AVX2 set: 32-byte blocks. Internal to the converters library.

#include "convert/kernels/isa_sse2.h"
#include "convert/kernels/shuffle_rows.h"

#if defined(GLYPHMILL_X86_KERNELS) && defined(__AVX2__) && defined(__BMI2__)
namespace isa {
inline namespace GLYPHMILL_ISA_NS {

// 32-byte blocks.
struct Avx2 : Sse2 {
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

    // -i and -i- by whole chunks, as Avx512 does them, with pshufb: eight
    // bytes per shuffle and a row of shuffle_rows.h, no branch on the bytes.
    template <typename ReservedBits, typename EscapeStep>
    static void UriEncodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                const unsigned char* limit, ReservedBits reservedBits, EscapeStep step)
    {
        EscapeChunksByGroups<Avx2>(in, end, out, limit, reservedBits, step);
    }

    static void UriDecodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                const unsigned char* limit)
    {
        DecodeChunksInPlace<Avx2>(in, end, out, limit);
    }

    // The pieces of Portable's URI chunk loops.

    // Eight bytes, those in `mask` escaped: two shuffles per 16 bytes out, one
    // from the bytes with their high digits, one from their low digits with
    // '%' (a shuffle reads one register, and an index with its top bit set
    // gives 0, so each side's lanes are zeroed in the other's shuffle).
    GLYPHMILL_INLINE static unsigned char* EscapeGroup(const unsigned char* in, unsigned char* out, unsigned mask)
    {
        const __m128i digits =
            _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f');
        const __m128i nibble = _mm_set1_epi8(0x0F);
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in));
        const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble));
        const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(bytes, nibble));
        const __m128i first = _mm_unpacklo_epi64(bytes, high);
        const __m128i second = _mm_unpacklo_epi64(low, _mm_set1_epi8('%'));
        for (int half = 0; half < 2; ++half) {
            const __m128i indices = Load(kEscapeRows.m_rows[mask] + kBlock * half);
            const __m128i fromFirst = _mm_or_si128(indices, _mm_cmpgt_epi8(indices, _mm_set1_epi8(15)));
            const __m128i fromSecond = _mm_sub_epi8(indices, _mm_set1_epi8(16));
            Store(out + kBlock * half,
                  _mm_or_si128(_mm_shuffle_epi8(first, fromFirst), _mm_shuffle_epi8(second, fromSecond)));
        }
        return out + kEscapeRows.m_length[mask];
    }

    // The chunk at `in` into `merged` with each escape's byte in place of its
    // '%'; returns the escapes' lanes.
    GLYPHMILL_INLINE static uint64_t DecodeEscapes(const unsigned char* in, unsigned char* merged)
    {
        uint64_t escapes = 0;
        for (int half = 0; half < 2; ++half) {
            const unsigned char* const at = in + 32 * half;
            __m256i high;
            __m256i low;
            const __m256i digits = _mm256_and_si256(HexDigits(Load256(at + 1), high), HexDigits(Load256(at + 2), low));
            const __m256i bytes = Load256(at);
            const __m256i escapeLanes = _mm256_and_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('%')), digits);
            // Shifted as 16-bit lanes, so only the digit's own four bits may stay.
            const __m256i highNibbles = _mm256_slli_epi16(_mm256_and_si256(high, _mm256_set1_epi8(0x0F)), 4);
            Store256(merged + 32 * half, _mm256_blendv_epi8(bytes, _mm256_or_si256(highNibbles, low), escapeLanes));
            escapes |= Bits256(escapeLanes) << (32 * half);
        }
        return escapes;
    }

    // Compact64 without a branch on the bytes: eight at a time, one shuffle
    // by the row of kDropRows for their bits in `drop`.
    GLYPHMILL_INLINE static unsigned char* CompactDecoded(unsigned char* out, const unsigned char* in, uint64_t drop)
    {
        for (int group = 0; group < kChunk / 8; ++group) {
            const unsigned mask = static_cast<unsigned>(drop >> (8 * group)) & 0xFF;
            const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 8 * group));
            const __m128i row = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kDropRows.m_rows[mask]));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(bytes, row));
            out += kDropRows.m_kept[mask];
        }
        return out;
    }

private:
    // The lanes holding a hex digit (either case), and in `values` each such
    // lane's value.
    static __m256i HexDigits(__m256i bytes, __m256i& values)
    {
        const __m256i decimal = _mm256_sub_epi8(bytes, _mm256_set1_epi8('0'));
        const __m256i letter = _mm256_sub_epi8(_mm256_or_si256(bytes, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
        const __m256i isDecimal = _mm256_cmpeq_epi8(_mm256_min_epu8(decimal, _mm256_set1_epi8(9)), decimal);
        const __m256i isLetter = _mm256_cmpeq_epi8(_mm256_min_epu8(letter, _mm256_set1_epi8(5)), letter);
        values = _mm256_blendv_epi8(_mm256_add_epi8(letter, _mm256_set1_epi8(10)), decimal, isDecimal);
        return _mm256_or_si256(isDecimal, isLetter);
    }
};

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isa
#endif
