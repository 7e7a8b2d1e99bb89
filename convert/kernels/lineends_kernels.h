#pragma once

// The line-ending converters that have vector forms, as templates over the
// instruction set (isa.h): the set's fast path, then the steps. Internal to
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
    V::ToWindowsBlocks(in, end, out, limit);
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

}  // namespace GLYPHMILL_ISA_NS
}  // namespace lineendkernels
