#pragma once

// The URI converters as templates over the instruction set (isa.h): the
// tables, the steps, the chunk scans and, where the processor compresses
// bytes, whole blocks converted without a step. Internal to the converters
// library.

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

// Whether each byte is escaped, for the portable scan: one lookup beats ten
// range tests without vectors.
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
    if constexpr (V::kLevel == 0) {
        return V::Lookup64(chunk, kReservedTable.m_reserved);
    } else {
        return Reserved<V>(chunk, std::make_index_sequence<std::size(kUnreserved)>());
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

#if defined(GLYPHMILL_X86_KERNELS) && defined(__AVX512VBMI2__)
// Sixteen bytes, `reserved` flagging those to escape, as one permute into
// three-byte slots ('%', high digit, low digit; or the byte alone) and one
// compress of the lanes in use. Writes 64 bytes at `out`.
GLYPHMILL_INLINE void EncodeBlock16(const unsigned char*& in, unsigned char*& out, uint64_t reserved)
{
    // Lane 3i of a slot, and the two digit lanes after it.
    constexpr uint64_t kFirstLanes = 0x0000249249249249u;
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i digits =
        _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f');
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble));
    const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(bytes, nibble));
    // Sources: bytes 0-15, high digits 16-31, low digits 32-47, '%' 48-63.
    __m512i sources = _mm512_castsi128_si512(bytes);
    sources = _mm512_inserti32x4(sources, high, 1);
    sources = _mm512_inserti32x4(sources, low, 2);
    sources = _mm512_inserti32x4(sources, _mm_set1_epi8(kPercent), 3);
    alignas(64) static constexpr unsigned char kEscapeIndex[64] = {
        48, 16, 32, 49, 17, 33, 50, 18, 34, 51, 19, 35, 52, 20, 36, 53, 21, 37, 54, 22, 38, 55,
        23, 39, 56, 24, 40, 57, 25, 41, 58, 26, 42, 59, 27, 43, 60, 28, 44, 61, 29, 45, 62, 30,
        46, 63, 31, 47, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0};
    alignas(64) static constexpr unsigned char kByteIndex[64] = {
        0, 0,  0, 1, 0,  0, 2, 0,  0, 3, 0,  0, 4, 0,  0, 5, 0, 0, 6, 0, 0, 7, 0, 0, 8, 0, 0, 9, 0, 0, 10, 0,
        0, 11, 0, 0, 12, 0, 0, 13, 0, 0, 14, 0, 0, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  0};
    const uint64_t plain = _pdep_u64(~reserved & 0xFFFF, kFirstLanes);
    const __m512i index = _mm512_mask_mov_epi8(_mm512_load_si512(kEscapeIndex), plain, _mm512_load_si512(kByteIndex));
    // The zero-masked form: the plain one trips a false maybe-uninitialized warning in GCC 12.
    const __m512i slots = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, index, sources);
    const uint64_t escaped = _pdep_u64(reserved & 0xFFFF, kFirstLanes);
    const uint64_t keep = kFirstLanes | escaped << 1 | escaped << 2;
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, slots));
    out += 16 + 2 * __builtin_popcountll(reserved & 0xFFFF);
    in += 16;
}

// Whole chunks while the output has room for every byte escaped and the
// last block's full store. A chunk with few bytes to escape is copied in runs
// between steps; one with many goes as four blocks without a step.
inline void EncodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                         const unsigned char* limit)
{
    constexpr ptrdiff_t kChunk = bytescan::kChunk;
    constexpr int kFewEscapes = 2;
    // A run copy may read a chunk from the last byte of the chunk on.
    while (end - in >= 2 * kChunk && limit - out >= 4 * kChunk) {
        const uint64_t reserved = ReservedBits<isa::Avx512>(in);
        if (__builtin_popcountll(reserved) <= kFewEscapes) {
            const unsigned char* const chunk = in;
            for (uint64_t left = reserved; left != 0; left &= left - 1) {
                const unsigned char* const next = chunk + bytescan::LowestBit64(left);
                isa::Avx512::CopyRun(out, in, next - in);
                out += next - in;
                in = next;
                EncodeStep(in, out);
            }
            isa::Avx512::CopyRun(out, in, chunk + kChunk - in);
            out += chunk + kChunk - in;
            in = chunk + kChunk;
            continue;
        }
        for (unsigned block = 0; block < kChunk; block += 16) {
            EncodeBlock16(in, out, reserved >> block);
        }
    }
}

// The lanes of a chunk that hold a hexadecimal digit, and their values.
GLYPHMILL_INLINE __mmask64 HexDigits(__m512i bytes, __m512i& values)
{
    const __m512i decimal = _mm512_sub_epi8(bytes, _mm512_set1_epi8('0'));
    const __m512i letter = _mm512_sub_epi8(_mm512_or_si512(bytes, _mm512_set1_epi8(0x20)), _mm512_set1_epi8('a'));
    const __mmask64 isDecimal = _mm512_cmple_epu8_mask(decimal, _mm512_set1_epi8(9));
    const __mmask64 isLetter = _mm512_cmple_epu8_mask(letter, _mm512_set1_epi8(5));
    values = _mm512_mask_mov_epi8(_mm512_add_epi8(letter, _mm512_set1_epi8(10)), isDecimal, decimal);
    return isDecimal | isLetter;
}

// Whole chunks while the two bytes after a chunk can be read and the output
// has room for a full store: the escapes of a chunk are found at once (a
// digit is never a '%', so escapes never overlap), their bytes put in place
// of the '%' and the digits compressed away. The digits of an escape at the
// end of a chunk are dropped from the front of the next one; the chunks
// themselves follow one another at a fixed stride, so that the loads never
// wait for the decoding. A step is never divided: the cursor ends past the
// last escape's digits.
inline void DecodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                         const unsigned char* limit)
{
    constexpr ptrdiff_t kChunk = bytescan::kChunk;
    uint64_t carried = 0;  // lanes of this chunk that are digits of the last one's escape
    while (end - in >= kChunk + 2 && limit - out >= kChunk) {
        const __m512i bytes = _mm512_loadu_si512(in);
        const uint64_t percents = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(kPercent)) & ~carried;
        if (percents == 0 && carried == 0) {
            _mm512_storeu_si512(out, bytes);
            out += kChunk;
            in += kChunk;
            continue;
        }
        __m512i high;
        __m512i low;
        const __mmask64 highDigits = HexDigits(_mm512_loadu_si512(in + 1), high);
        const __mmask64 lowDigits = HexDigits(_mm512_loadu_si512(in + 2), low);
        const uint64_t escapes = percents & highDigits & lowDigits;
        // Shifted as 16-bit lanes, so only the digit's own four bits may stay.
        const __m512i highNibbles = _mm512_slli_epi16(_mm512_and_si512(high, _mm512_set1_epi8(0x0F)), 4);
        const __m512i merged = _mm512_mask_mov_epi8(bytes, escapes, _mm512_or_si512(highNibbles, low));
        const uint64_t drop = escapes << 1 | escapes << 2 | carried;
        _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(~drop, merged));
        out += kChunk - __builtin_popcountll(drop);
        in += kChunk;
        // Two digits past an escape in the last lane, one past one in the lane before.
        carried = escapes >> 62 | escapes >> 63;
    }
    in += carried == 0 ? 0 : 64 - __builtin_clzll(carried);
}
#endif

template <typename V>
uint32_t Encode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    const auto steps = [](const unsigned char** at, unsigned char* to, uint32_t* left, uint32_t room) {
        return steploop::Encode<V, kEscapeLength>(at, to, left, room, ReservedBits<V>, EncodeStep);
    };
#if defined(GLYPHMILL_X86_KERNELS) && defined(__AVX512VBMI2__)
    if constexpr (V::kHasCompress) {
        return steploop::ChunksThenSteps(cursor, output, remaining, capacity, EncodeChunks, steps);
    }
#endif
    return steps(cursor, output, remaining, capacity);
}

template <typename V>
uint32_t Decode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    const auto steps = [](const unsigned char** at, unsigned char* to, uint32_t* left, uint32_t room) {
        return steploop::Decode<V, kPercent>(at, to, left, room, DecodeStep);
    };
#if defined(GLYPHMILL_X86_KERNELS) && defined(__AVX512VBMI2__)
    if constexpr (V::kHasCompress) {
        return steploop::ChunksThenSteps(cursor, output, remaining, capacity, DecodeChunks, steps);
    }
#endif
    return steps(cursor, output, remaining, capacity);
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace urikernels
