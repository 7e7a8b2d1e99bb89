#include "convert/uri.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <utility>

#include "convert/bytescan.h"

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
using bytescan::kBlock;
using bytescan::Load;

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

void EncodeStep(const unsigned char*& in, unsigned char*& out)
{
    const Encoded& encoded = kTables.m_encoded[*in++];
    std::memcpy(out, &encoded, sizeof encoded);
    out += encoded.m_length;
}

using bytescan::Finish;
using bytescan::OutputLimit;

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

#if defined(GLYPHMILL_SSE2)
// Chunks of 64 bytes while the output has room for one more and a run copy:
// every step writes one byte and consumes at least one. The places of the
// '%' bytes do not depend on the steps, so they are found for the whole chunk
// first. An escape holds no '%' after its first byte, so a step never passes
// a '%' of the chunk, and only the last step may end beyond the chunk. A run
// copy may read 64 bytes from the last byte of the chunk on.
void DecodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                  const unsigned char* limit)
{
    using bytescan::kChunk;
    while (end - in >= 2 * kChunk && limit - out >= 3 * kChunk) {
        const unsigned char* const chunk = in;
        for (uint64_t percents = bytescan::ChunkBits<kPercent>(chunk); percents != 0; percents &= percents - 1) {
            const unsigned char* const next = chunk + __builtin_ctzll(percents);
            bytescan::CopyRun(out, in, next - in);
            out += next - in;
            in = next;
            DecodeStep(in, end, out);
        }
        if (in < chunk + kChunk) {
            bytescan::CopyRun(out, in, chunk + kChunk - in);
            out += chunk + kChunk - in;
            in = chunk + kChunk;
        }
    }
}
#endif

}  // namespace

// Chunks whose steps surely all start below the limit are taken at once; the
// last bytes go step by step.
uint32_t UriEncode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    const unsigned char* in = *cursor;
    const unsigned char* const end = in + *remaining;
    unsigned char* out = output;
    unsigned char* const limit = OutputLimit(output, capacity);
#if defined(GLYPHMILL_SSE2)
    constexpr auto kRanges = std::make_index_sequence<std::size(kUnreserved)>();
    using bytescan::kChunk;
    // Chunks of 64 bytes while the output has room for 64 escapes and one
    // more run copy; a run copy may read 64 bytes from the last byte of the
    // chunk on. The runs between reserved bytes are copied a block at a time,
    // the reserved bytes are steps.
    while (end - in >= 2 * kChunk && limit - out >= kChunk * static_cast<ptrdiff_t>(kEscapeLength + 2)) {
        const unsigned char* const chunk = in;
        uint64_t reserved = 0;
        for (ptrdiff_t block = 0; block < kChunk; block += kBlock) {
            reserved |= uint64_t{Reserved(Load(chunk + block), kRanges)} << block;
        }
        for (; reserved != 0; reserved &= reserved - 1) {
            const unsigned char* const next = chunk + __builtin_ctzll(reserved);
            bytescan::CopyRun(out, in, next - in);
            out += next - in;
            in = next;
            EncodeStep(in, out);
        }
        bytescan::CopyRun(out, in, chunk + kChunk - in);
        out += chunk + kChunk - in;
        in = chunk + kChunk;
    }
#endif
    while (in < end && out < limit) {
        EncodeStep(in, out);
    }
    return Finish(cursor, remaining, in, output, out);
}

uint32_t UriDecode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    const unsigned char* in = *cursor;
    const unsigned char* const end = in + *remaining;
    unsigned char* out = output;
    unsigned char* const limit = OutputLimit(output, capacity);
#if defined(GLYPHMILL_SSE2)
    DecodeChunks(in, end, out, limit);
#endif
    while (in < end && out < limit) {
        // Every step writes one byte, so every step of a run no longer than
        // the room left starts below the limit.
        in = bytescan::CopyUntil<kPercent>(in, in + std::min(end - in, limit - out), out);
        if (in == end || out == limit) {
            break;
        }
        DecodeStep(in, end, out);
    }
    return Finish(cursor, remaining, in, output, out);
}

uint32_t UriDecodeHoldback(const unsigned char* piece, uint32_t length)
{
    // A '%' further back has both its digit places inside the piece.
    const uint32_t window = std::min(length, kEscapeLength - 1);
    for (uint32_t back = 1; back <= window; ++back) {
        if (piece[length - back] == kPercent) {
            return back;
        }
    }
    return 0;
}
