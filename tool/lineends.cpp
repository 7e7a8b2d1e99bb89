#include "tool/lineends.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned char kCR = '\r';
constexpr unsigned char kLF = '\n';

const unsigned char* Find(const unsigned char* from, const unsigned char* to, unsigned char byte)
{
    const void* hit = std::memchr(from, byte, static_cast<size_t>(to - from));
    return hit ? static_cast<const unsigned char*>(hit) : to;
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

uint32_t Finish(const unsigned char** cursor, uint32_t* remaining, const unsigned char* read,
                const unsigned char* output, const unsigned char* written)
{
    *remaining -= static_cast<uint32_t>(read - *cursor);
    *cursor = read;
    return static_cast<uint32_t>(written - output);
}

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
    while (in < stop) {
        const unsigned char* lf = Find(in, stop, kLF);
        const size_t run = static_cast<size_t>(lf - in);
        std::memcpy(out, in, run);
        out += run;
        in = lf;
        if (in < stop) {
            *out++ = kCR;
            ++in;
        }
    }
    return Finish(cursor, remaining, in, output, out);
}
