#pragma once

// The byte map as a template over the instruction set (isa.h). Internal to
// the converters library.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/bytescan.h"
#include "convert/kernels/isa.h"
#include "convert/kernels/lineends_kernels.h"

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

// The top bit of each byte of a word. A byte from 0x80 up that became one
// below it is a loss, under a table that gives the default byte for what has
// no exact counterpart: an exact counterpart of a high byte is high, since
// the lower half maps to itself.
constexpr uint64_t kTopBits = 0x8080808080808080u;

// The set's fast path: FastPath<V>::MapHighBytes<kUntilLoss>(table, pairs, at,
// end, lineFeeds) maps whole blocks from `at` on and returns where it stopped;
// with kUntilLoss, in front of a block with a loss, adding the LFs of the
// blocks it mapped to `lineFeeds`. None by default. A set that does better
// has its specialisation below, compiled where the set is.
template <typename V>
struct FastPath {
    template <bool kUntilLoss>
    static unsigned char* MapHighBytes(const unsigned char*, const uint16_t*, unsigned char* at, const unsigned char*,
                                       uint64_t&)
    {
        return at;
    }
};

// Maps the words of a chunk in place and returns how many of its bytes it
// mapped: all, or (kUntilLoss) those before the first word with a loss.
template <bool kUntilLoss>
GLYPHMILL_INLINE ptrdiff_t MapChunk(const uint16_t* pairs, unsigned char* at)
{
    for (ptrdiff_t i = 0; i < bytescan::kChunk; i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, at + i, sizeof word);
        const uint64_t mapped = MapWord(pairs, word);
        if (kUntilLoss && (word & ~mapped & kTopBits) != 0) {
            return i;
        }
        std::memcpy(at + i, &mapped, sizeof mapped);
    }
    return bytescan::kChunk;
}

#if defined(GLYPHMILL_SET_AVX2)
template <>
struct FastPath<isa::Avx2> {
    // Until a loss: each chunk is looked at for one first, by its bytes'
    // nibbles (a byte from 0x80 up is lost where the bit of its high nibble
    // is set in the entry of its low nibble), so that the pair lookups need
    // no test of their own, and its LFs are counted from the same loads.
    // Otherwise the generic loop does it all.
    template <bool kUntilLoss>
    static unsigned char* MapHighBytes(const unsigned char* table, const uint16_t* pairs, unsigned char* at,
                                       const unsigned char* end, uint64_t& lineFeeds)
    {
        if (!kUntilLoss) {
            return at;
        }
        unsigned char lostByLow[16] = {};
        unsigned char bitOfHigh[16] = {};
        for (unsigned high = 8; high < 16; ++high) {
            bitOfHigh[high] = static_cast<unsigned char>(1u << (high - 8));
            for (unsigned low = 0; low < 16; ++low) {
                if (table[high << 4 | low] < 0x80) {
                    lostByLow[low] = static_cast<unsigned char>(lostByLow[low] | bitOfHigh[high]);
                }
            }
        }
        const __m256i lostBits = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<__m128i*>(lostByLow)));
        const __m256i highBits = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<__m128i*>(bitOfHigh)));
        const __m256i nibble = _mm256_set1_epi8(0x0F);
        const __m256i lf = _mm256_set1_epi8(static_cast<char>(bytescan::kLF));
        const auto lost = [&](__m256i bytes) {
            const __m256i low = _mm256_shuffle_epi8(lostBits, _mm256_and_si256(bytes, nibble));
            const __m256i high = _mm256_shuffle_epi8(highBits, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble));
            return _mm256_and_si256(low, high);
        };
        uint64_t feeds = 0;  // not the caller's, which the stores may alias
        for (; end - at >= bytescan::kChunk; at += bytescan::kChunk) {
            const __m256i first = isa::Avx2::Load256(at);
            const __m256i second = isa::Avx2::Load256(at + 32);
            if (isa::Avx2::Bits256(_mm256_or_si256(first, second)) != 0) {
                const __m256i lostHere = _mm256_or_si256(lost(first), lost(second));
                if (!_mm256_testz_si256(lostHere, lostHere)) {
                    break;
                }
                MapChunk<false>(pairs, at);
            }
            const uint64_t feedsHere = isa::Avx2::Bits256(_mm256_cmpeq_epi8(first, lf)) |
                                       isa::Avx2::Bits256(_mm256_cmpeq_epi8(second, lf)) << 32;
            feeds += static_cast<uint64_t>(__builtin_popcountll(feedsHere));
        }
        lineFeeds += feeds;
        return at;
    }
};
#endif

#if defined(GLYPHMILL_SET_AVX512)
template <>
struct FastPath<isa::Avx512> {
    // The upper half of the table in two registers; a chunk's
    // bytes from 0x80 up are looked up in both at once by their low seven bits.
    template <bool kUntilLoss>
    static unsigned char* MapHighBytes(const unsigned char* table, const uint16_t*, unsigned char* at,
                                       const unsigned char* end, uint64_t& lineFeeds)
    {
        const __m512i first = _mm512_loadu_si512(table + 128);
        const __m512i second = _mm512_loadu_si512(table + 192);
        if (kUntilLoss) {
            at = MapBlocksUntilLoss<4>(first, second, at, end, lineFeeds);
            return MapBlocksUntilLoss<1>(first, second, at, end, lineFeeds);
        }
        for (; end - at >= bytescan::kChunk; at += bytescan::kChunk) {
            const __m512i bytes = isa::Avx512::Load512(at);
            const __mmask64 high = _mm512_movepi8_mask(bytes);
            isa::Avx512::Store512(at, _mm512_mask2_permutex2var_epi8(first, bytes, high, second));
        }
        return at;
    }

    // kChunks chunks at a time are mapped, tested for a byte from 0x80 up
    // whose mapped byte is below 0x80 and their LFs counted before any is
    // stored: one branch for them all. Stops in front of those with a loss.
    template <size_t kChunks>
    static unsigned char* MapBlocksUntilLoss(__m512i first, __m512i second, unsigned char* at, const unsigned char* end,
                                             uint64_t& lineFeeds)
    {
        const __m512i lf = _mm512_set1_epi8(static_cast<char>(bytescan::kLF));
        const __m512i top = _mm512_set1_epi8(static_cast<char>(0x80));
        uint64_t feeds = 0;  // not the caller's, which the stores may alias
        constexpr ptrdiff_t kBlock = static_cast<ptrdiff_t>(kChunks) * bytescan::kChunk;
        for (; end - at >= kBlock; at += kBlock) {
            __m512i mapped[kChunks];
            __mmask64 lost = 0;
            uint64_t feedsHere = 0;
            for (size_t i = 0; i < kChunks; ++i) {
                const __m512i bytes = isa::Avx512::Load512(at + static_cast<ptrdiff_t>(i) * bytescan::kChunk);
                const __mmask64 high = _mm512_movepi8_mask(bytes);
                mapped[i] = _mm512_mask2_permutex2var_epi8(first, bytes, high, second);
                lost |= _mm512_mask_testn_epi8_mask(high, mapped[i], top);
                feedsHere += static_cast<uint64_t>(__builtin_popcountll(_mm512_cmpeq_epi8_mask(bytes, lf)));
            }
            if (lost != 0) {
                break;
            }
            feeds += feedsHere;
            for (size_t i = 0; i < kChunks; ++i) {
                isa::Avx512::Store512(at + static_cast<ptrdiff_t>(i) * bytescan::kChunk, mapped[i]);
            }
        }
        lineFeeds += feeds;
        return at;
    }
};
#endif

#if defined(GLYPHMILL_SET_NEON)
template <>
struct FastPath<isa::Neon> {
    // The upper half is 128 entries: two 64-entry lookups
    // (vqtbl4q_u8), each 0 for an index beyond its entries; the lower half is
    // the identity, so those bytes are kept. Until a loss, four blocks at a
    // time, so that the test and the count reduce across lanes once for them.
    template <bool kUntilLoss>
    static unsigned char* MapHighBytes(const unsigned char* table, const uint16_t*, unsigned char* at,
                                       const unsigned char* end, uint64_t& lineFeeds)
    {
        const uint8x16x4_t first = vld1q_u8_x4(table + 128);
        const uint8x16x4_t second = vld1q_u8_x4(table + 192);
        if (kUntilLoss) {
            at = MapBlocks<4>(first, second, at, end, lineFeeds);
        }
        return MapBlocks<1, kUntilLoss>(first, second, at, end, lineFeeds);
    }

    template <size_t kBlocks, bool kUntilLoss = true>
    static unsigned char* MapBlocks(const uint8x16x4_t& first, const uint8x16x4_t& second, unsigned char* at,
                                    const unsigned char* end, uint64_t& lineFeeds)
    {
        const uint8x16_t top = vdupq_n_u8(0x80);
        const uint8x16_t sixtyFour = vdupq_n_u8(64);
        const uint8x16_t lf = vdupq_n_u8(bytescan::kLF);
        const uint8x16_t one = vdupq_n_u8(1);
        constexpr ptrdiff_t kStride = static_cast<ptrdiff_t>(kBlocks) * isa::Neon::kBlock;
        uint64_t feeds = 0;  // not the caller's, which the stores may alias
        for (; end - at >= kStride; at += kStride) {
            uint8x16_t mapped[kBlocks];
            uint8x16_t lost = vdupq_n_u8(0);
            uint8x16_t feedsHere = vdupq_n_u8(0);
            for (size_t i = 0; i < kBlocks; ++i) {
                const uint8x16_t bytes = isa::Neon::Load(at + static_cast<ptrdiff_t>(i) * isa::Neon::kBlock);
                // 0x80-0xFF to 0-127; 0-0x7F to 128-255, beyond both lookups.
                const uint8x16_t index = veorq_u8(bytes, top);
                const uint8x16_t looked =
                    vorrq_u8(vqtbl4q_u8(first, index), vqtbl4q_u8(second, vsubq_u8(index, sixtyFour)));
                mapped[i] = vbslq_u8(vcgeq_u8(bytes, top), looked, bytes);
                // A byte below 0x80 looks up 0, and has its top bit clear.
                lost = vorrq_u8(lost, vbicq_u8(bytes, looked));
                feedsHere = vaddq_u8(feedsHere, vandq_u8(vceqq_u8(bytes, lf), one));
            }
            if (kUntilLoss) {
                if (vmaxvq_u8(lost) >= 0x80) {
                    break;
                }
                feeds += vaddlvq_u8(feedsHere);
            }
            for (size_t i = 0; i < kBlocks; ++i) {
                isa::Neon::Store(at + static_cast<ptrdiff_t>(i) * isa::Neon::kBlock, mapped[i]);
            }
        }
        lineFeeds += feeds;
        return at;
    }
};
#endif

// Maps [buffer, buffer + length) in place and returns where it stopped: at
// the end, or (kUntilLoss) in front of the first byte from 0x80 up that the
// table maps below 0x80, which is left as it was with all after it. With
// kUntilLoss it adds the LFs of what it mapped to `lineFeeds`: those of the
// blocks the fast path maps as it maps them, since the caller would have to
// read them again, and then those of the rest.
template <typename V, bool kUntilLoss>
unsigned char* MapUntil(const unsigned char* table, const uint16_t* pairs, unsigned char* buffer, uint32_t length,
                        uint64_t& lineFeeds)
{
    unsigned char* at = buffer;
    unsigned char* const end = buffer + length;
    at = FastPath<V>::template MapHighBytes<kUntilLoss>(table, pairs, at, end, lineFeeds);
    unsigned char* const uncounted = at;
    while (end - at >= bytescan::kChunk) {
        // Plain ASCII, the most of most text, is only looked at.
        const ptrdiff_t mapped = V::High64(at) == 0 ? bytescan::kChunk : MapChunk<kUntilLoss>(pairs, at);
        at += mapped;
        if (mapped < bytescan::kChunk) {
            break;  // the byte loop below finds the loss
        }
    }
    for (; at < end; ++at) {
        const unsigned char mapped = table[*at];
        if (kUntilLoss && *at >= 0x80 && mapped < 0x80) {
            break;
        }
        *at = mapped;
    }
    if (kUntilLoss) {
        lineFeeds += lineendkernels::CountLineFeeds<V>(uncounted, static_cast<uint32_t>(at - uncounted));
    }
    return at;
}

template <typename V>
void MapBytes(const unsigned char* table, const uint16_t* pairs, unsigned char* buffer, uint32_t length)
{
    uint64_t uncounted = 0;
    MapUntil<V, false>(table, pairs, buffer, length, uncounted);
}

template <typename V>
uint32_t MapBytesUntilLoss(const unsigned char* table, const uint16_t* pairs, unsigned char* buffer, uint32_t length,
                           uint64_t* lineFeeds)
{
    return static_cast<uint32_t>(MapUntil<V, true>(table, pairs, buffer, length, *lineFeeds) - buffer);
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace bytemapkernels
