#pragma once

// Vector primitives, one struct per instruction set, with the same static
// functions, so that one kernel template serves every level. A translation
// unit sees the structs of the sets it is compiled for: Portable always, the
// others only under their compiler flags (the kernels_<level>.cpp files).
// Every struct works on chunks of kChunk bytes and gives one bit per byte,
// byte 0 in bit 0. Internal to the converters library.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/bytescan.h"

#if defined(GLYPHMILL_X86_KERNELS)
#include <immintrin.h>
#endif

namespace isa {
inline namespace GLYPHMILL_ISA_NS {

using bytescan::kChunk;

// Plain C++ for every host; compilers vectorise what they can.
struct Portable {
    static constexpr int kLevel = 0;
    static constexpr bool kHasCompress = false;

    // Eight bytes at a time in a 64-bit word (SWAR): the top bit of each byte
    // lane says whether it matched, and one multiplication gathers the eight
    // top bits. The word is loaded lowest byte first on every host, so that
    // bit i is byte i whatever the byte order.
    static constexpr uint64_t kOnes = 0x0101010101010101u;
    static constexpr uint64_t kTops = 0x8080808080808080u;

    static uint64_t TopBits(uint64_t lanes) { return ((lanes & kTops) >> 7) * 0x0102040810204080u >> 56; }

    // Top bit set in each lane of `word` that is zero (exact: no borrow
    // crosses a lane).
    static uint64_t ZeroLanes(uint64_t word) { return ~(((word & ~kTops) + ~kTops) | word) & kTops; }

    template <typename Lanes>
    static uint64_t Chunk(const unsigned char* in, Lanes lanes)
    {
        uint64_t bits = 0;
        for (ptrdiff_t i = 0; i < kChunk; i += 8) {
            bits |= TopBits(lanes(bytescan::LoadLittleEndian64(in + i))) << i;
        }
        return bits;
    }

    template <unsigned char kByte>
    static uint64_t Equal64(const unsigned char* in)
    {
        return Chunk(in, [](uint64_t word) { return ZeroLanes(word ^ (kOnes * kByte)); });
    }

    // Bytes from 0x80 up.
    static uint64_t High64(const unsigned char* in)
    {
        return Chunk(in, [](uint64_t word) { return word; });
    }

    // Bytes in [kFirst, kLast], a range shorter than 128: each lane's
    // byte - kFirst (no borrow crosses a lane) is at most kLast - kFirst.
    template <unsigned char kFirst, unsigned char kLast>
    static uint64_t InRange64(const unsigned char* in)
    {
        static_assert(kLast - kFirst < 128, "one lane holds the test");
        return Chunk(in, [](uint64_t word) {
            constexpr uint64_t kFirsts = kOnes * kFirst;
            const uint64_t offset = ((word | kTops) - (kFirsts & ~kTops)) ^ ((word ^ ~kFirsts) & kTops);
            return ~(((offset & ~kTops) + kOnes * (0x7F - (kLast - kFirst))) | offset) & kTops;
        });
    }

    // Bytes whose entry in `table` is non-zero: cheaper than several SWAR
    // tests when a set has many members.
    static uint64_t Lookup64(const unsigned char* in, const unsigned char* table)
    {
        uint64_t bits = 0;
        for (ptrdiff_t i = 0; i < kChunk; ++i) {
            bits |= uint64_t{table[in[i]] != 0} << i;
        }
        return bits;
    }

    // Copies a run of at most a chunk; up to kChunk bytes are read and written.
    static void CopyRun(unsigned char* out, const unsigned char* in, ptrdiff_t) { std::memcpy(out, in, kChunk); }

    // Moves a chunk towards the front (out <= in) without the bytes flagged in
    // `drop`; returns the new end. Bytes are never stored ahead of a load.
    static unsigned char* Compact64(unsigned char* out, const unsigned char* in, uint64_t drop)
    {
        return CompactBytes(out, in, kChunk, drop);
    }

    // The same for the first `count` bytes, without a branch on the bytes.
    static unsigned char* CompactBytes(unsigned char* out, const unsigned char* in, ptrdiff_t count, uint64_t drop)
    {
        for (ptrdiff_t i = 0; i < count; ++i) {
            *out = in[i];
            out += 1 - ((drop >> i) & 1);
        }
        return out;
    }
};

#if defined(GLYPHMILL_X86_KERNELS) && defined(__SSE2__)
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

// 16-byte blocks; every x86-64 has them.
struct Sse2 {
    static constexpr int kLevel = 1;
    static constexpr bool kHasCompress = false;
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

    // Whole-block stores: cheaper than a branch on a length no predictor knows.
    static void CopyRun(unsigned char* out, const unsigned char* in, ptrdiff_t length)
    {
        Store(out, Load(in));
        Store(out + kBlock, Load(in + kBlock));
        if (length > 2 * kBlock) {
            Store(out + 2 * kBlock, Load(in + 2 * kBlock));
            Store(out + 3 * kBlock, Load(in + 3 * kBlock));
        }
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
#endif

#if defined(GLYPHMILL_X86_KERNELS) && defined(__AVX2__) && defined(__BMI2__)
// 32-byte blocks.
struct Avx2 : Sse2 {
    static constexpr int kLevel = 2;
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
};
#endif

#if defined(GLYPHMILL_X86_KERNELS) && defined(__AVX512BW__) && defined(__AVX512VBMI__) && defined(__AVX512VBMI2__)
// 64-byte registers with byte masks, compress and two-register permutes.
struct Avx512 : Avx2 {
    static constexpr int kLevel = 3;
    static constexpr bool kHasCompress = true;

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

    static void CopyRun(unsigned char* out, const unsigned char* in, ptrdiff_t) { Store512(out, Load512(in)); }

    // One compress and one store, whatever the bytes dropped.
    static unsigned char* Compact64(unsigned char* out, const unsigned char* in, uint64_t drop)
    {
        Store512(out, _mm512_maskz_compress_epi8(~drop, Load512(in)));
        return out + (kChunk - __builtin_popcountll(drop));
    }
};
#endif

}  // namespace GLYPHMILL_ISA_NS
}  // namespace isa
