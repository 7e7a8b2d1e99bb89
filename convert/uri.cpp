#include "convert/uri.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <utility>

#include "convert/bytescan.h"
#include "convert/steploop.h"

namespace {

constexpr unsigned char kPercent = '%';
constexpr uint32_t kEscapeLength = 3;
constexpr unsigned char kNotHex = 0xFF;

struct ByteRange {
    unsigned char m_first;
    unsigned char m_last;
};

// The unreserved bytes of RFC 2396 and the two line-end controls. Both the
// byte table and the block scan are built from this one list.
constexpr ByteRange kUnreserved[] = {
    {'A', 'Z'}, {'a', 'z'}, {'0', '9'},
    {'\'', '*'},  // ' ( ) *
    {'-', '.'}, {'!', '!'}, {'_', '_'}, {'~', '~'},
    {'\r', '\r'}, {'\n', '\n'},
};

// What the encoder writes for one byte: the byte itself or its escape, then
// its length, so that a step is one four-byte copy (the length byte lands
// past the step and is overwritten by the next).
struct Encoded {
    unsigned char m_bytes[kEscapeLength] = {};
    unsigned char m_length = 0;
};
static_assert(sizeof(Encoded) == 4, "a step copies one Encoded whole");

struct UriTables {
    Encoded m_encoded[256] = {};
    unsigned char m_hexValue[256] = {};
};

constexpr bool IsUnreserved(unsigned byte)
{
    for (const ByteRange& range : kUnreserved) {
        if (byte >= range.m_first && byte <= range.m_last) {
            return true;
        }
    }
    return false;
}

constexpr UriTables BuildTables()
{
    constexpr char kLowerHex[] = "0123456789abcdef";
    UriTables tables;
    for (unsigned byte = 0; byte < 256; ++byte) {
        Encoded& encoded = tables.m_encoded[byte];
        if (IsUnreserved(byte)) {
            encoded.m_bytes[0] = static_cast<unsigned char>(byte);
            encoded.m_length = 1;
        } else {
            encoded.m_bytes[0] = kPercent;
            encoded.m_bytes[1] = static_cast<unsigned char>(kLowerHex[byte >> 4]);
            encoded.m_bytes[2] = static_cast<unsigned char>(kLowerHex[byte & 0xF]);
            encoded.m_length = kEscapeLength;
        }
        tables.m_hexValue[byte] = kNotHex;
    }
    for (unsigned digit = 0; digit < 10; ++digit) {
        tables.m_hexValue['0' + digit] = static_cast<unsigned char>(digit);
    }
    for (unsigned digit = 0; digit < 6; ++digit) {
        tables.m_hexValue['A' + digit] = static_cast<unsigned char>(10 + digit);
        tables.m_hexValue['a' + digit] = static_cast<unsigned char>(10 + digit);
    }
    return tables;
}

constexpr UriTables kTables = BuildTables();

#if defined(GLYPHMILL_SSE2)

// Lanes of the bytes in [kFirst, kLast]: byte - kFirst, as an unsigned byte,
// is at most kLast - kFirst.
template <unsigned char kFirst, unsigned char kLast>
__m128i InRange(__m128i block)
{
    const __m128i first = _mm_set1_epi8(static_cast<char>(kFirst));
    if constexpr (kFirst == kLast) {
        return _mm_cmpeq_epi8(block, first);
    } else {
        const __m128i offset = _mm_sub_epi8(block, first);
        return _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(static_cast<char>(kLast - kFirst))), offset);
    }
}

// Bits of the bytes outside the unreserved set.
template <size_t... kRange>
unsigned Reserved(__m128i block, std::index_sequence<kRange...>)
{
    __m128i lanes = _mm_setzero_si128();
    ((lanes = _mm_or_si128(lanes, InRange<kUnreserved[kRange].m_first, kUnreserved[kRange].m_last>(block))), ...);
    return ~static_cast<unsigned>(_mm_movemask_epi8(lanes)) & 0xFFFFu;
}
#endif

// One bit per byte of a chunk that the encoder escapes.
GLYPHMILL_INLINE uint64_t ReservedBits(const unsigned char* chunk)
{
#if defined(GLYPHMILL_SSE2)
    constexpr auto kRanges = std::make_index_sequence<std::size(kUnreserved)>();
    uint64_t bits = 0;
    for (ptrdiff_t block = 0; block < bytescan::kChunk; block += bytescan::kBlock) {
        bits |= uint64_t{Reserved(bytescan::Load(chunk + block), kRanges)} << block;
    }
    return bits;
#else
    return bytescan::ChunkBitsWhere(chunk, [](unsigned char byte) { return kTables.m_encoded[byte].m_length != 1; });
#endif
}

void EncodeStep(const unsigned char*& in, unsigned char*& out)
{
    const Encoded& encoded = kTables.m_encoded[*in++];
    std::memcpy(out, &encoded, sizeof encoded);
    out += encoded.m_length;
}

// The byte of the escape at `at`, or -1 when the '%' there is not followed by
// two hexadecimal digits before `end`.
int EscapedByte(const unsigned char* at, const unsigned char* end)
{
    if (end - at < static_cast<ptrdiff_t>(kEscapeLength)) {
        return -1;
    }
    const unsigned char high = kTables.m_hexValue[at[1]];
    const unsigned char low = kTables.m_hexValue[at[2]];
    return high == kNotHex || low == kNotHex ? -1 : high << 4 | low;
}

// One step of decoding: an escape, or a '%' that is none.
GLYPHMILL_INLINE void DecodeStep(const unsigned char*& in, const unsigned char* end, unsigned char*& out)
{
    const int byte = EscapedByte(in, end);
    *out++ = byte >= 0 ? static_cast<unsigned char>(byte) : kPercent;
    in += byte >= 0 ? kEscapeLength : 1;
}

}  // namespace

uint32_t UriEncode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return steploop::Encode<kEscapeLength>(cursor, output, remaining, capacity, ReservedBits, EncodeStep);
}

uint32_t UriDecode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return steploop::Decode<kPercent>(cursor, output, remaining, capacity, DecodeStep);
}

uint32_t UriDecodeHoldback(const unsigned char* piece, uint32_t length)
{
    // A '%' further back has both its digit places inside the piece.
    return steploop::Holdback(piece, length, kPercent, kEscapeLength - 1);
}
