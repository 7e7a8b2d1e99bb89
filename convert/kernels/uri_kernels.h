#pragma once

// The URI converters as templates over the instruction set (isa.h): the
// tables, the steps and the chunk scans; each converter is the set's fast
// path (UriEncodeChunks, UriDecodeChunks), then the steps. Internal to the
// converters library.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>

#include "convert/bytescan.h"
#include "convert/kernels/isa.h"
#include "convert/kernels/steploop.h"

namespace urikernels {
inline namespace GLYPHMILL_ISA_NS {

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
    {'A', 'Z'}, {'a', 'z'}, {'0', '9'}, {'\'', '*'},  // ' ( ) *
    {'-', '.'}, {'!', '!'}, {'_', '_'}, {'~', '~'},  {'\r', '\r'}, {'\n', '\n'},
};

// What the encoder writes for one byte: the byte itself or its escape, then
// its length, so that a step is one four-byte copy (the length byte lands
// past the step and is overwritten by the next).
struct Encoded {
    unsigned char m_bytes[kEscapeLength] = {};
    unsigned char m_length = 0;
};
static_assert(sizeof(Encoded) == 4, "a step copies one Encoded whole");
static_assert(sizeof(Encoded) <= CONVERT_HEADROOM, "an encoding step must fit in the output headroom");

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

inline constexpr UriTables kTables = BuildTables();

// Bits of the bytes of a chunk outside the unreserved set.
template <typename V, size_t... kRange>
GLYPHMILL_INLINE uint64_t Reserved(const unsigned char* chunk, std::index_sequence<kRange...>)
{
    uint64_t unreserved = 0;
    ((unreserved |= V::template InRange64<kUnreserved[kRange].m_first, kUnreserved[kRange].m_last>(chunk)), ...);
    return ~unreserved;
}

// Whether each byte is escaped, for the portable scan (one lookup beats ten
// range tests without vectors) and the sets that look a chunk up at once.
struct ReservedTable {
    unsigned char m_reserved[256] = {};
};

constexpr ReservedTable BuildReservedTable()
{
    ReservedTable table;
    for (unsigned byte = 0; byte < 256; ++byte) {
        table.m_reserved[byte] = IsUnreserved(byte) ? 0 : 1;
    }
    return table;
}

inline constexpr ReservedTable kReservedTable = BuildReservedTable();

template <typename V>
GLYPHMILL_INLINE uint64_t ReservedBits(const unsigned char* chunk)
{
    if constexpr (V::kHasWideCompare && !V::kHasTableLookup) {
        return Reserved<V>(chunk, std::make_index_sequence<std::size(kUnreserved)>());
    } else {
        return V::Lookup64(chunk, kReservedTable.m_reserved);
    }
}

inline void EncodeStep(const unsigned char*& in, unsigned char*& out)
{
    const Encoded& encoded = kTables.m_encoded[*in++];
    std::memcpy(out, &encoded, sizeof encoded);
    out += encoded.m_length;
}

// The byte of the escape at `at`, or -1 when the '%' there is not followed by
// two hexadecimal digits before `end`.
inline int EscapedByte(const unsigned char* at, const unsigned char* end)
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

template <typename V>
uint32_t Encode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    const auto steps = [](const unsigned char** at, unsigned char* to, uint32_t* left, uint32_t room) {
        return steploop::Encode<V, kEscapeLength>(at, to, left, room, ReservedBits<V>, EncodeStep);
    };
    const auto chunks = [](const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                           const unsigned char* limit) {
        V::UriEncodeChunks(in, end, out, limit, ReservedBits<V>, EncodeStep);
    };
    return steploop::ChunksThenSteps(cursor, output, remaining, capacity, chunks, steps);
}

template <typename V>
uint32_t Decode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    const auto steps = [](const unsigned char** at, unsigned char* to, uint32_t* left, uint32_t room) {
        return steploop::Decode<V, kPercent>(at, to, left, room, DecodeStep);
    };
    return steploop::ChunksThenSteps(cursor, output, remaining, capacity, V::UriDecodeChunks, steps);
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace urikernels
