#include "convert/bytemap.h"

#include <cstring>

#include "convert/bytescan.h"

namespace {

constexpr uint32_t kPairs = 1u << 16;

// A pair as it sits in memory: the first byte in the low half on a
// little-endian host, in the high half on a big-endian one; the table is
// built from the same bytes either way.
uint16_t LoadPair(const unsigned char* at)
{
    uint16_t pair = 0;
    std::memcpy(&pair, at, sizeof pair);
    return pair;
}

void StorePair(unsigned char* at, uint16_t pair)
{
    std::memcpy(at, &pair, sizeof pair);
}

}  // namespace

CByteMap::CByteMap(const unsigned char table[256]) : m_table(table), m_pairs(kPairs)
{
    for (uint32_t pair = 0; pair < kPairs; ++pair) {
        unsigned char bytes[2];
        StorePair(bytes, static_cast<uint16_t>(pair));
        bytes[0] = table[bytes[0]];
        bytes[1] = table[bytes[1]];
        m_pairs[pair] = LoadPair(bytes);
    }
}

// Eight bytes, four pairs, each looked up where it sits in the word.
GLYPHMILL_INLINE uint64_t MapWord(const uint16_t* pairs, uint64_t word)
{
    uint64_t mapped = 0;
    for (unsigned shift = 0; shift < 64; shift += 16) {
        mapped |= uint64_t{pairs[(word >> shift) & 0xFFFF]} << shift;
    }
    return mapped;
}

void CByteMap::Apply(unsigned char* buffer, uint32_t length) const
{
    using bytescan::kChunk;
    unsigned char* at = buffer;
    unsigned char* const end = buffer + length;
#if defined(GLYPHMILL_SSE2)
    for (; end - at >= kChunk; at += kChunk) {
        // Plain ASCII, the most of most text, is only looked at.
        __m128i high = bytescan::Load(at);
        for (ptrdiff_t i = bytescan::kBlock; i < kChunk; i += bytescan::kBlock) {
            high = _mm_or_si128(high, bytescan::Load(at + i));
        }
        if (bytescan::Bits(high) == 0) {
            continue;
        }
        // Host order on purpose: MapWord takes the pairs where they sit in
        // the word and m_pairs is indexed by pairs loaded the same way
        // (LoadPair), so the order cancels out on either host.
        for (ptrdiff_t i = 0; i < kChunk; i += 8) {
            uint64_t word = 0;
            std::memcpy(&word, at + i, sizeof word);
            word = MapWord(m_pairs.data(), word);
            std::memcpy(at + i, &word, sizeof word);
        }
    }
#endif
    for (; at < end; ++at) {
        *at = m_table[*at];
    }
}
