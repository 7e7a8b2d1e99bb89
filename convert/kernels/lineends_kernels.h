#pragma once

// The line-ending converters that have vector forms, as templates over the
// instruction set (isa.h): the set's fast path (FastPath below), then the
// steps. Internal to
// the converters library.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/bytescan.h"
#include "convert/kernels/isa.h"

namespace lineendkernels {
inline namespace GLYPHMILL_ISA_NS {

using bytescan::kCR;
using bytescan::kLF;

// The first `byte` in [from, to), or `to`.
inline const unsigned char* Find(const unsigned char* from, const unsigned char* to, unsigned char byte)
{
    const unsigned char* const hit = bytescan::FindFirst(from, static_cast<size_t>(to - from), byte);
    return hit != nullptr ? hit : to;
}

// Copies [from, to) without its CR bytes; returns the end of what was written.
inline unsigned char* CopyWithoutCR(const unsigned char* from, const unsigned char* to, unsigned char* out)
{
    while (from < to) {
        const unsigned char* cr = Find(from, to, kCR);
        const size_t run = static_cast<size_t>(cr - from);
        std::memcpy(out, from, run);
        out += run;
        from = cr + (cr < to ? 1 : 0);
    }
    return out;
}

// -w's fast path per set: FastPath<V>::ToWindowsBlocks converts whole blocks
// from the front while the output has room for every LF of them to double,
// advances the pointers past what it did and leaves the rest to the steps.
// None by default; a set that does better has its specialisation below,
// compiled where the set is (GLYPHMILL_SET_<SET>, from its isa header).
template <typename V>
struct FastPath {
    static void ToWindowsBlocks(const unsigned char*&, const unsigned char*, unsigned char*&, const unsigned char*) {}
};

// One block of a set with 16-byte blocks (Set::Load, Set::Store) by steps,
// the runs between its CR and LF bytes (`ends`) copied a block at a time. A
// run copy may read kBlock bytes from the last byte of the block on.
template <typename Set>
void ToWindowsBlockSteps(const unsigned char*& in, unsigned char*& out, unsigned ends)
{
    constexpr ptrdiff_t kBlock = Set::kBlock;
    const unsigned char* const block = in;
    for (;; ends &= ends - 1) {
        const unsigned char* const next = block + (ends != 0 ? bytescan::LowestBit(ends) : kBlock);
        Set::Store(out, Set::Load(in));
        out += next - in;
        in = next;
        if (ends == 0) {
            return;
        }
        if (*in++ == kLF) {
            *out++ = kCR;
            *out++ = kLF;
        }
    }
}

#if defined(GLYPHMILL_SET_SSE2)
template <>
struct FastPath<isa::Sse2> {
    using S = isa::Sse2;
    static constexpr ptrdiff_t kBlock = S::kBlock;

    // Blocks of 16 bytes while the output has room for every LF of one to
    // double and for one more 16-byte store. A block without CR and with at
    // most one LF, as in most text, is one store without a branch on where
    // the LF is.
    static void ToWindowsBlocks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                const unsigned char* limit)
    {
        while (end - in >= 2 * kBlock && limit - out >= 4 * kBlock) {
            const __m128i bytes = S::Load(in);
            const unsigned lf = S::Bits(S::Equal<kLF>(bytes));
            const unsigned cr = S::Bits(S::Equal<kCR>(bytes));
            if ((cr | (lf & (lf - 1))) != 0) {
                ToWindowsBlockSteps<S>(in, out, cr | lf);
                continue;
            }
            StoreWithCR(out, in, bytes, bytescan::LowestBit(lf | 1u << kBlock));
            out += kBlock + (lf != 0 ? 1 : 0);
            in += kBlock;
        }
    }

private:
    // The block with CR inserted before lane `at` (16: none); 17 bytes are
    // written, the last one left over when nothing is inserted.
    static void StoreWithCR(unsigned char* out, const unsigned char* in, __m128i bytes, unsigned at)
    {
        const __m128i before = S::LanesBefore(at);
        const __m128i through = S::LanesBefore(at + 1);
        const __m128i insert = _mm_and_si128(_mm_xor_si128(before, through), _mm_set1_epi8(kCR));
        const __m128i after = _mm_andnot_si128(through, _mm_slli_si128(bytes, 1));
        S::Store(out, _mm_or_si128(_mm_or_si128(_mm_and_si128(before, bytes), insert), after));
        out[kBlock] = in[kBlock - 1];
    }
};
#endif

#if defined(GLYPHMILL_SET_AVX2)
// 32-byte blocks gain nothing here over SSE2's: a block of text holds an LF
// more often, and the LF-free block is already one store.
template <>
struct FastPath<isa::Avx2> : FastPath<isa::Sse2> {
};
#endif

#if defined(GLYPHMILL_SET_AVX512)
template <>
struct FastPath<isa::Avx512> {
    // 32 bytes at a time, whatever they hold: every byte widened to a
    // two-byte slot, CR LF put in the slot of each LF, and the lanes in use
    // (the first of every slot but a CR's, the second of an LF's) compressed
    // together.
    static void ToWindowsBlocks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                const unsigned char* limit)
    {
        constexpr uint64_t kFirstLanes = 0x5555555555555555u;
        constexpr uint64_t kSecondLanes = 0xAAAAAAAAAAAAAAAAu;
        while (end - in >= 32 && limit - out >= 64) {
            const __m512i slots =
                _mm512_maskz_cvtepu8_epi16(~__mmask32{0}, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)));
            const uint64_t lf = _mm512_cmpeq_epi16_mask(slots, _mm512_set1_epi16(kLF));
            const uint64_t cr = _mm512_cmpeq_epi16_mask(slots, _mm512_set1_epi16(kCR));
            // On x86 the first byte of a slot is its low half: CR, then LF.
            const __m512i pairs = _mm512_mask_mov_epi16(slots, static_cast<__mmask32>(lf), _mm512_set1_epi16(0x0A0D));
            const uint64_t keep = (kFirstLanes & ~_pdep_u64(cr, kFirstLanes)) | _pdep_u64(lf, kSecondLanes);
            _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, pairs));
            out += __builtin_popcountll(keep);
            in += 32;
        }
    }
};
#endif

#if defined(GLYPHMILL_SET_NEON)
template <>
struct FastPath<isa::Neon> {
    using S = isa::Neon;
    static constexpr ptrdiff_t kBlock = S::kBlock;

    // Blocks of 16 bytes while the output has room for every LF of one to
    // double and for one more 16-byte store. A block without CR and with at
    // most one LF, as in most text, is one shuffle and one store without a
    // branch on where the LF is.
    static void ToWindowsBlocks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                const unsigned char* limit)
    {
        static constexpr unsigned char kLanes[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
        const uint8x16_t lanes = vld1q_u8(kLanes);
        while (end - in >= 2 * kBlock && limit - out >= 4 * kBlock) {
            const uint8x16_t bytes = S::Load(in);
            const uint8x16_t lfLanes = S::Equal<kLF>(bytes);
            const uint8x16_t crLanes = S::Equal<kCR>(bytes);
            // Most blocks of text have neither: one across-lane maximum says so.
            if (vmaxvq_u8(vorrq_u8(lfLanes, crLanes)) == 0) {
                S::Store(out, bytes);
                out += kBlock;
                in += kBlock;
                continue;
            }
            const unsigned lf = S::Bits(lfLanes);
            const unsigned cr = S::Bits(crLanes);
            if ((cr | (lf & (lf - 1))) != 0) {
                ToWindowsBlockSteps<S>(in, out, cr | lf);
                continue;
            }
            const unsigned at = bytescan::LowestBit(lf | 1u << kBlock);
            // Lane i takes byte i before `at`, CR at `at` and byte i - 1 after.
            const uint8x16_t where = vdupq_n_u8(static_cast<unsigned char>(at));
            const uint8x16_t after = vcgtq_u8(lanes, where);
            const uint8x16_t index = vaddq_u8(lanes, after);  // i - 1 after `at`
            const uint8x16_t isAt = vceqq_u8(lanes, where);
            const uint8x16_t shifted = vqtbl1q_u8(bytes, index);
            S::Store(out, vbslq_u8(isAt, vdupq_n_u8(kCR), shifted));
            out[kBlock] = in[kBlock - 1];
            out += kBlock + (lf != 0 ? 1 : 0);
            in += kBlock;
        }
    }
};
#endif

// Every LF as CR LF, every lone CR dropped; stops once the output holds
// capacity - 1 bytes.
template <typename V>
uint32_t ToWindows(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    const unsigned char* in = *cursor;
    const unsigned char* const end = in + *remaining;
    unsigned char* out = output;
    if (capacity == 0) {
        return 0;
    }
    const unsigned char* const limit = output + (capacity - 1);
    FastPath<V>::ToWindowsBlocks(in, end, out, limit);
    while (in < end && out < limit) {
        // Each byte before the next LF yields at most one output byte, so a
        // window no longer than the room left keeps the check exact.
        const size_t window = bytescan::Min(static_cast<size_t>(end - in), static_cast<size_t>(limit - out));
        const unsigned char* lf = Find(in, in + window, kLF);
        out = CopyWithoutCR(in, lf, out);
        in = lf;
        if (lf < end && *lf == kLF && out < limit) {
            *out++ = kCR;
            *out++ = kLF;
            ++in;
        }
    }
    return bytescan::Finish(cursor, remaining, in, output, out);
}

// Every LF as CR; a loop the compiler vectorises for the set it compiles for.
template <typename V>
uint32_t ToMac(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    const unsigned char* in = *cursor;
    const size_t count = bytescan::Min(static_cast<size_t>(*remaining), static_cast<size_t>(capacity));
    for (size_t i = 0; i < count; ++i) {
        output[i] = in[i] == kLF ? kCR : in[i];
    }
    return bytescan::Finish(cursor, remaining, in + count, output, output + count);
}

// The LFs of [text, text + length): 64 byte counters at a time, each added
// to at most 255 times before they are summed; a loop the compiler
// vectorises for the set it compiles for.
template <typename V>
uint64_t CountLineFeeds(const unsigned char* text, uint32_t length)
{
    constexpr size_t kLanes = 64;
    const unsigned char* at = text;
    const unsigned char* const end = text + length;
    uint64_t total = 0;
    while (static_cast<size_t>(end - at) >= kLanes) {
        const size_t blocks = bytescan::Min<size_t>(255, static_cast<size_t>(end - at) / kLanes);
        unsigned char counts[kLanes] = {};
        for (size_t block = 0; block < blocks; ++block, at += kLanes) {
            for (size_t lane = 0; lane < kLanes; ++lane) {
                counts[lane] = static_cast<unsigned char>(counts[lane] + (at[lane] == kLF));
            }
        }
        for (const unsigned char count : counts) {
            total += count;
        }
    }
    for (; at < end; ++at) {
        total += *at == kLF;
    }
    return total;
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace lineendkernels
