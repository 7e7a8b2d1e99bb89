#include "convert/lineends.h"

#include <algorithm>
#include <cstring>

#include "convert/bytescan.h"
#include "convert/kernels/kernels.h"
#include "convert/kernels/lineends_kernels.h"
#include "convert/simd.h"

using bytescan::kCR;
using lineendkernels::Find;

// Dropping CR needs no vector form: the library's search finds the rare CR
// that the reader left, and the runs between are copied whole.
uint32_t ToUnixLineEnds(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
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
    return bytescan::Finish(cursor, remaining, in, output, out);
}

bool HasNoCR(const unsigned char* text, uint32_t length)
{
    return bytescan::FindFirst(text, length, kCR) == nullptr;
}

uint32_t ToWindowsLineEnds(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return kernels::Chosen().m_toWindows(cursor, output, remaining, capacity);
}

uint32_t ToMacLineEnds(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return kernels::Chosen().m_toMac(cursor, output, remaining, capacity);
}
