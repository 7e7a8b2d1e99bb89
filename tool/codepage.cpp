#include "tool/codepage.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Length of the leading run of bytes below 0x80, which the tables leave alone.
uint32_t AsciiPrefix(const unsigned char* buffer, uint32_t length)
{
    uint32_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= length; i += 16) {
        __m128i block;
        std::memcpy(&block, buffer + i, sizeof block);
        const int high = _mm_movemask_epi8(block);
        if (high != 0) {
            return i + static_cast<uint32_t>(__builtin_ctz(static_cast<unsigned>(high)));
        }
    }
#endif
    while (i < length && buffer[i] < 0x80) {
        ++i;
    }
    return i;
}

}  // namespace

void MapHighBytes(const unsigned char table[256], unsigned char* buffer, uint32_t length)
{
    uint32_t i = 0;
    while (i < length) {
        i += AsciiPrefix(buffer + i, length - i);
        for (; i < length && buffer[i] >= 0x80; ++i) {
            buffer[i] = table[buffer[i]];
        }
    }
}
