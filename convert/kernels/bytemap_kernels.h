#pragma once

// The byte map as a template over the instruction set (isa.h). Internal to
// the converters library.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/bytescan.h"
#include "convert/kernels/isa.h"

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

template <typename V>
void MapBytes(const unsigned char* table, const uint16_t* pairs, unsigned char* buffer, uint32_t length)
{
    unsigned char* at = buffer;
    unsigned char* const end = buffer + length;
    at = V::MapHighBytes(table, at, end);
    for (; end - at >= bytescan::kChunk; at += bytescan::kChunk) {
        // Plain ASCII, the most of most text, is only looked at.
        if (V::High64(at) == 0) {
            continue;
        }
        for (ptrdiff_t i = 0; i < bytescan::kChunk; i += 8) {
            uint64_t word = 0;
            std::memcpy(&word, at + i, sizeof word);
            word = MapWord(pairs, word);
            std::memcpy(at + i, &word, sizeof word);
        }
    }
    for (; at < end; ++at) {
        *at = table[*at];
    }
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace bytemapkernels
