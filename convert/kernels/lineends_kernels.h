#pragma once

// The line-ending converters that have vector forms, as templates over the
// instruction set (isa.h). Internal to the converters library.

#include <algorithm>
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

#if defined(GLYPHMILL_X86_KERNELS)
using isa::Sse2;

// The block with CR inserted before lane `at` (16: none); 17 bytes are
// written, the last one left over when nothing is inserted.
inline void StoreWithCR(unsigned char* out, const unsigned char* in, __m128i bytes, unsigned at)
{
    const __m128i before = Sse2::LanesBefore(at);
    const __m128i through = Sse2::LanesBefore(at + 1);
    const __m128i insert = _mm_and_si128(_mm_xor_si128(before, through), _mm_set1_epi8(kCR));
    const __m128i after = _mm_andnot_si128(through, _mm_slli_si128(bytes, 1));
    Sse2::Store(out, _mm_or_si128(_mm_or_si128(_mm_and_si128(before, bytes), insert), after));
    out[Sse2::kBlock] = in[Sse2::kBlock - 1];
}

// One block by steps: the runs between CR and LF bytes are copied a block at
// a time. A run copy may read 16 bytes from the last byte of the block on.
inline void ToWindowsSteps(const unsigned char*& in, unsigned char*& out, unsigned ends)
{
    const unsigned char* const block = in;
    for (;; ends &= ends - 1) {
        const unsigned char* const next = block + (ends != 0 ? bytescan::LowestBit(ends) : Sse2::kBlock);
        Sse2::Store(out, Sse2::Load(in));
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

// Blocks of 16 bytes while the output has room for every LF of one to double
// and for one more 16-byte store. A block without CR and with at most one LF,
// as in most text, is one store without a branch on where the LF is.
inline void ToWindowsBlocks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                            const unsigned char* limit)
{
    constexpr ptrdiff_t kBlock = Sse2::kBlock;
    while (end - in >= 2 * kBlock && limit - out >= 4 * kBlock) {
        const __m128i bytes = Sse2::Load(in);
        const unsigned lf = Sse2::Bits(Sse2::Equal<kLF>(bytes));
        const unsigned cr = Sse2::Bits(Sse2::Equal<kCR>(bytes));
        if ((cr | (lf & (lf - 1))) != 0) {
            ToWindowsSteps(in, out, cr | lf);
            continue;
        }
        StoreWithCR(out, in, bytes, bytescan::LowestBit(lf | 1u << kBlock));
        out += kBlock + (lf != 0 ? 1 : 0);
        in += kBlock;
    }
}
#endif

#if defined(GLYPHMILL_X86_KERNELS) && defined(__AVX512VBMI2__)
// 32 bytes at a time, whatever they hold: every byte widened to a two-byte
// slot, CR LF put in the slot of each LF, and the lanes in use (the first of
// every slot but a CR's, the second of an LF's) compressed together.
inline void ToWindowsWide(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                          const unsigned char* limit)
{
    constexpr uint64_t kFirstLanes = 0x5555555555555555u;
    constexpr uint64_t kSecondLanes = 0xAAAAAAAAAAAAAAAAu;
    while (end - in >= 32 && limit - out >= 64) {
        const __m512i slots = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)));
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
#if defined(GLYPHMILL_X86_KERNELS)
    if constexpr (V::kHasCompress) {
#if defined(__AVX512VBMI2__)
        ToWindowsWide(in, end, out, limit);
#endif
    } else if constexpr (V::kLevel >= 1) {
        ToWindowsBlocks(in, end, out, limit);
    }
#endif
    while (in < end && out < limit) {
        // Each byte before the next LF yields at most one output byte, so a
        // window no longer than the room left keeps the check exact.
        const size_t window = std::min(static_cast<size_t>(end - in), static_cast<size_t>(limit - out));
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
    const size_t count = std::min(static_cast<size_t>(*remaining), static_cast<size_t>(capacity));
    for (size_t i = 0; i < count; ++i) {
        output[i] = in[i] == kLF ? kCR : in[i];
    }
    return bytescan::Finish(cursor, remaining, in + count, output, output + count);
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace lineendkernels
