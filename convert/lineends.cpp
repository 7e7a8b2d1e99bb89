#include "convert/lineends.h"

#include <algorithm>
#include <cstring>

#include "convert/bytescan.h"

namespace {

using bytescan::kCR;
using bytescan::kLF;

// The first `byte` in [from, to), or `to`.
const unsigned char* Find(const unsigned char* from, const unsigned char* to, unsigned char byte)
{
    const unsigned char* const hit = bytescan::FindFirst(from, static_cast<size_t>(to - from), byte);
    return hit != nullptr ? hit : to;
}

// Copies [from, to) without its CR bytes; returns the end of what was written.
unsigned char* CopyWithoutCR(const unsigned char* from, const unsigned char* to, unsigned char* out)
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

using bytescan::Finish;

#if defined(GLYPHMILL_SSE2)
using bytescan::kBlock;

// The block with CR inserted before lane `at` (16: none); 17 bytes are
// written, the last one left over when nothing is inserted.
void StoreWithCR(unsigned char* out, const unsigned char* in, __m128i bytes, unsigned at)
{
    const __m128i before = bytescan::LanesBefore(at);
    const __m128i through = bytescan::LanesBefore(at + 1);
    const __m128i insert = _mm_and_si128(_mm_xor_si128(before, through), _mm_set1_epi8(kCR));
    const __m128i after = _mm_andnot_si128(through, _mm_slli_si128(bytes, 1));
    bytescan::Store(out, _mm_or_si128(_mm_or_si128(_mm_and_si128(before, bytes), insert), after));
    out[kBlock] = in[kBlock - 1];
}

// One block by steps: the runs between CR and LF bytes are copied a block at
// a time. A run copy may read 16 bytes from the last byte of the block on.
void ToWindowsSteps(const unsigned char*& in, unsigned char*& out, unsigned ends)
{
    const unsigned char* const block = in;
    for (;; ends &= ends - 1) {
        const unsigned char* const next = block + (ends != 0 ? bytescan::LowestBit(ends) : kBlock);
        bytescan::Store(out, bytescan::Load(in));
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
void ToWindowsBlocks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                     const unsigned char* limit)
{
    while (end - in >= 2 * kBlock && limit - out >= 4 * kBlock) {
        const __m128i bytes = bytescan::Load(in);
        const unsigned lf = bytescan::Bits(bytescan::Equal<kLF>(bytes));
        const unsigned cr = bytescan::Bits(bytescan::Equal<kCR>(bytes));
        if ((cr | (lf & (lf - 1))) != 0) {
            ToWindowsSteps(in, out, cr | lf);
            continue;
        }
        StoreWithCR(out, in, bytes, bytescan::LowestBit(lf | 1u << kBlock));
        out += kBlock + (lf != 0 ? 1 : 0);
        in += kBlock;
    }
}

// LF becomes CR by flipping the bits in which they differ.
void ToMacBlocks(const unsigned char*& in, const unsigned char* stop, unsigned char*& out)
{
    const __m128i flip = _mm_set1_epi8(kLF ^ kCR);
    for (; stop - in >= kBlock; in += kBlock, out += kBlock) {
        const __m128i bytes = bytescan::Load(in);
        bytescan::Store(out, _mm_xor_si128(bytes, _mm_and_si128(bytescan::Equal<kLF>(bytes), flip)));
    }
}
#endif

}  // namespace

uint32_t ToUnixLineEnds(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                        uint32_t capacity)
{
    const unsigned char* in = *cursor;
    const unsigned char* const end = in + *remaining;
    unsigned char* out = output;
    const unsigned char* const outEnd = output + capacity;
    // A CR is consumed only while the output still has room, exactly as a
    // byte-at-a-time loop that checks the output before every byte would.
    while (in < end && out < outEnd) {
        const size_t window = std::min(static_cast<size_t>(end - in), static_cast<size_t>(outEnd - out));
        const unsigned char* cr = Find(in, in + window, kCR);
        const size_t run = static_cast<size_t>(cr - in);
        std::memcpy(out, in, run);
        out += run;
        in = cr < in + window ? cr + 1 : cr;
    }
    return Finish(cursor, remaining, in, output, out);
}

uint32_t ToWindowsLineEnds(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                           uint32_t capacity)
{
    const unsigned char* in = *cursor;
    const unsigned char* const end = in + *remaining;
    unsigned char* out = output;
    if (capacity == 0) {
        return 0;
    }
    const unsigned char* const limit = output + (capacity - 1);
#if defined(GLYPHMILL_SSE2)
    ToWindowsBlocks(in, end, out, limit);
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
    return Finish(cursor, remaining, in, output, out);
}

uint32_t ToMacLineEnds(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                       uint32_t capacity)
{
    const unsigned char* in = *cursor;
    const unsigned char* const end = in + *remaining;
    unsigned char* out = output;
    const size_t count = std::min(static_cast<size_t>(end - in), static_cast<size_t>(capacity));
    const unsigned char* const stop = in + count;
#if defined(GLYPHMILL_SSE2)
    ToMacBlocks(in, stop, out);
#endif
    for (; in < stop; ++in) {
        *out++ = *in == kLF ? kCR : *in;
    }
    return Finish(cursor, remaining, in, output, out);
}
