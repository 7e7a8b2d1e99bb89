#include "convert/bytemap.h"

#include <cassert>
#include <cstring>

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

// The kernels pass bytes below 0x80 through unlooked-at.
[[maybe_unused]] bool LowerHalfIsIdentity(const unsigned char* table)
{
    for (unsigned byte = 0; byte < 0x80; ++byte) {
        if (table[byte] != byte) {
            return false;
        }
    }
    return true;
}

}  // namespace

CByteMap::CByteMap(const unsigned char table[256], simd::Level level)
    : m_pairs(kPairs),
      m_map(kernels::ForLevel(level).m_mapBytes),
      m_mapUntilLoss(kernels::ForLevel(level).m_mapBytesUntilLoss)
{
    assert(LowerHalfIsIdentity(table));
    std::memcpy(m_table.data(), table, m_table.size());
    for (uint32_t pair = 0; pair < kPairs; ++pair) {
        unsigned char bytes[2];
        StorePair(bytes, static_cast<uint16_t>(pair));
        bytes[0] = table[bytes[0]];
        bytes[1] = table[bytes[1]];
        m_pairs[pair] = LoadPair(bytes);
    }
}

void CByteMap::Apply(unsigned char* buffer, uint32_t length) const
{
    m_map(m_table.data(), m_pairs.data(), buffer, length);
}

uint32_t CByteMap::ApplyUntilLoss(unsigned char* buffer, uint32_t length, uint64_t* lineFeeds) const
{
    return m_mapUntilLoss(m_table.data(), m_pairs.data(), buffer, length, lineFeeds);
}
