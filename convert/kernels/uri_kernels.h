#pragma once

// The URI converters as templates over the instruction set (isa.h): the
// tables, the steps and the chunk scans; each converter is the set's fast
// path (FastPath below), then the steps. Internal to the
// converters library.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>

#include "convert/bytescan.h"
#include "convert/kernels/isa.h"
#include "convert/kernels/shuffle_rows.h"
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

// The set's fast paths: FastPath<V>::EncodeChunks (-i) and DecodeChunks
// (-i-) convert whole chunks from the front while their bounds allow, advance
// the pointers past what they did and leave the rest to the steps. None by
// default; a set that does better has its specialisation below, compiled
// where the set is (GLYPHMILL_SET_<SET>, from its isa header).
template <typename V>
struct FastPath {
    template <typename ReservedBits, typename EscapeStep>
    static void EncodeChunks(const unsigned char*&, const unsigned char*, unsigned char*&, const unsigned char*,
                             ReservedBits, EscapeStep)
    {
    }

    static void DecodeChunks(const unsigned char*&, const unsigned char*, unsigned char*&, const unsigned char*) {}
};

// -i's chunk paths: a chunk with at most kFewEscapes bytes to escape goes
// by RunsAndSteps, which costs less there than converting it whole.
constexpr int kFewEscapes = 2;

// -i for the sets that escape eight bytes with one row of kEscapeRows
// (shuffle_rows.h): whole chunks while the output has room for every byte
// escaped and the last group's full stores; Pieces::EscapeGroup(in, out,
// mask) writes the group at `in` with the bytes of `mask` escaped (up to
// 32 bytes) and returns the output's new end.
template <typename Set, typename Pieces, typename ReservedBits, typename EscapeStep>
GLYPHMILL_INLINE void EscapeChunksByGroups(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                           const unsigned char* limit, ReservedBits reservedBits, EscapeStep step)
{
    while (end - in >= 2 * bytescan::kChunk && limit - out >= 4 * bytescan::kChunk) {
        const uint64_t reserved = reservedBits(in);
        if (__builtin_popcountll(reserved) <= kFewEscapes) {
            steploop::RunsAndSteps<Set>(in, out, reserved, step);
            continue;
        }
        for (int group = 0; group < bytescan::kChunk / 8; ++group) {
            out = Pieces::EscapeGroup(in + 8 * group, out, static_cast<unsigned>(reserved >> (8 * group)) & 0xFF);
        }
        in += bytescan::kChunk;
    }
}

// -i- for the sets that decode a chunk's escapes in place and compact it
// by shuffles: whole chunks while the two bytes after a chunk can be read
// and the output has room for a full chunk. The escapes of a chunk are
// found at once (a digit is never a '%', so they never overlap):
// Pieces::DecodeEscapes(in, merged) writes the chunk with each escape's byte
// in place of its '%' and returns the escapes' lanes;
// Pieces::CompactDecoded(out, merged, drop) drops the digits. The digits of
// an escape at the end of a chunk are dropped from the front of the next
// one; the cursor ends past the last escape's digits.
template <typename Set, typename Pieces>
GLYPHMILL_INLINE void DecodeChunksInPlace(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                                          const unsigned char* limit)
{
    uint64_t carried = 0;  // lanes of this chunk that are digits of the last one's escape
    while (end - in >= bytescan::kChunk + 2 && limit - out >= bytescan::kChunk) {
        if (Set::template Equal64<'%'>(in) == 0 && carried == 0) {
            Set::CopyRun(out, in, bytescan::kChunk);
            out += bytescan::kChunk;
            in += bytescan::kChunk;
            continue;
        }
        alignas(32) unsigned char merged[bytescan::kChunk];
        const uint64_t escapes = Pieces::DecodeEscapes(in, merged);
        out = Pieces::CompactDecoded(out, merged, escapes << 1 | escapes << 2 | carried);
        in += bytescan::kChunk;
        // Two digits past an escape in the last lane, one past one in the lane before.
        carried = escapes >> 62 | escapes >> 63;
    }
    in += carried == 0 ? 0 : 64 - __builtin_clzll(carried);
}

#if defined(GLYPHMILL_SET_AVX2)
// As Avx512 converts whole chunks, with pshufb: eight bytes per shuffle and a
// row of shuffle_rows.h, no branch on the bytes.
template <>
struct FastPath<isa::Avx2> {
    using S = isa::Avx2;

    template <typename ReservedBits, typename EscapeStep>
    static void EncodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                             const unsigned char* limit, ReservedBits reservedBits, EscapeStep step)
    {
        EscapeChunksByGroups<S, FastPath>(in, end, out, limit, reservedBits, step);
    }

    static void DecodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                             const unsigned char* limit)
    {
        DecodeChunksInPlace<S, FastPath>(in, end, out, limit);
    }

    // Eight bytes, those in `mask` escaped: two shuffles per 16 bytes out, one
    // from the bytes with their high digits, one from their low digits with
    // '%' (a shuffle reads one register, and an index with its top bit set
    // gives 0, so each side's lanes are zeroed in the other's shuffle).
    GLYPHMILL_INLINE static unsigned char* EscapeGroup(const unsigned char* in, unsigned char* out, unsigned mask)
    {
        const __m128i digits =
            _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f');
        const __m128i nibble = _mm_set1_epi8(0x0F);
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in));
        const __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble));
        const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(bytes, nibble));
        const __m128i first = _mm_unpacklo_epi64(bytes, high);
        const __m128i second = _mm_unpacklo_epi64(low, _mm_set1_epi8('%'));
        for (int half = 0; half < 2; ++half) {
            const __m128i indices = S::Load(isa::kEscapeRows.m_rows[mask] + S::kBlock * half);
            const __m128i fromFirst = _mm_or_si128(indices, _mm_cmpgt_epi8(indices, _mm_set1_epi8(15)));
            const __m128i fromSecond = _mm_sub_epi8(indices, _mm_set1_epi8(16));
            S::Store(out + S::kBlock * half,
                     _mm_or_si128(_mm_shuffle_epi8(first, fromFirst), _mm_shuffle_epi8(second, fromSecond)));
        }
        return out + isa::kEscapeRows.m_length[mask];
    }

    // The chunk at `in` into `merged` with each escape's byte in place of its
    // '%'; returns the escapes' lanes.
    GLYPHMILL_INLINE static uint64_t DecodeEscapes(const unsigned char* in, unsigned char* merged)
    {
        uint64_t escapes = 0;
        for (int half = 0; half < 2; ++half) {
            const unsigned char* const at = in + 32 * half;
            __m256i high;
            __m256i low;
            const __m256i digits =
                _mm256_and_si256(HexDigits(S::Load256(at + 1), high), HexDigits(S::Load256(at + 2), low));
            const __m256i bytes = S::Load256(at);
            const __m256i escapeLanes = _mm256_and_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('%')), digits);
            // Shifted as 16-bit lanes, so only the digit's own four bits may stay.
            const __m256i highNibbles = _mm256_slli_epi16(_mm256_and_si256(high, _mm256_set1_epi8(0x0F)), 4);
            S::Store256(merged + 32 * half, _mm256_blendv_epi8(bytes, _mm256_or_si256(highNibbles, low), escapeLanes));
            escapes |= S::Bits256(escapeLanes) << (32 * half);
        }
        return escapes;
    }

    // The digits dropped without a branch on the bytes: most blocks drop
    // several, so every group is one shuffle by the row of kDropRows for its
    // bits in `drop` (S::Compact64 favours blocks that drop at most one).
    GLYPHMILL_INLINE static unsigned char* CompactDecoded(unsigned char* out, const unsigned char* in, uint64_t drop)
    {
        for (int group = 0; group < bytescan::kChunk / 8; ++group) {
            const unsigned mask = static_cast<unsigned>(drop >> (8 * group)) & 0xFF;
            const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 8 * group));
            const __m128i row = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(isa::kDropRows.m_rows[mask]));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(bytes, row));
            out += isa::kDropRows.m_kept[mask];
        }
        return out;
    }

private:
    // The lanes holding a hex digit (either case), and in `values` each such
    // lane's value.
    static __m256i HexDigits(__m256i bytes, __m256i& values)
    {
        const __m256i decimal = _mm256_sub_epi8(bytes, _mm256_set1_epi8('0'));
        const __m256i letter = _mm256_sub_epi8(_mm256_or_si256(bytes, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
        const __m256i isDecimal = _mm256_cmpeq_epi8(_mm256_min_epu8(decimal, _mm256_set1_epi8(9)), decimal);
        const __m256i isLetter = _mm256_cmpeq_epi8(_mm256_min_epu8(letter, _mm256_set1_epi8(5)), letter);
        values = _mm256_blendv_epi8(_mm256_add_epi8(letter, _mm256_set1_epi8(10)), decimal, isDecimal);
        return _mm256_or_si256(isDecimal, isLetter);
    }
};
#endif

#if defined(GLYPHMILL_SET_AVX512)
template <>
struct FastPath<isa::Avx512> {
    using S = isa::Avx512;

    // -i: whole chunks while the output has room for every byte escaped and
    // the last block's full store. A chunk with few bytes to escape is copied
    // in runs between the kernel's steps; for one with many, its first 63
    // bytes go as three blocks without a step, and the next chunk starts at
    // the 64th. A run copy may read a chunk from the last byte of the chunk
    // on.
    template <typename ReservedBits, typename EscapeStep>
    static void EncodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                             const unsigned char* limit, ReservedBits reservedBits, EscapeStep step)
    {
        while (end - in >= 2 * bytescan::kChunk && limit - out >= 4 * bytescan::kChunk) {
            const uint64_t reserved = reservedBits(in);
            if (__builtin_popcountll(reserved) <= kFewEscapes) {
                steploop::RunsAndSteps<S>(in, out, reserved, step);
                continue;
            }
            for (unsigned block = 0; block + kEscapeBlock <= bytescan::kChunk; block += kEscapeBlock) {
                EscapeBlock(in, out, reserved >> block);
            }
        }
    }

    // -i-: whole chunks while the two bytes after a chunk can be read and the
    // output has room for a full store: the escapes of a chunk are found at
    // once (a digit is never a '%', so escapes never overlap), their bytes put
    // in place of the '%' and the digits compressed away. The digits of an
    // escape at the end of a chunk are dropped from the front of the next
    // one; the chunks themselves follow one another at a fixed stride, so
    // that the loads never wait for the decoding. A step is never divided:
    // the cursor ends past the last escape's digits.
    static void DecodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                             const unsigned char* limit)
    {
        uint64_t carried = 0;  // lanes of this chunk that are digits of the last one's escape
        while (end - in >= bytescan::kChunk + 2 && limit - out >= bytescan::kChunk) {
            const __m512i bytes = S::Load512(in);
            const uint64_t percents = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(kPercent)) & ~carried;
            if (percents == 0 && carried == 0) {
                S::Store512(out, bytes);
                out += bytescan::kChunk;
                in += bytescan::kChunk;
                continue;
            }
            __m512i high;
            __m512i low;
            const __mmask64 highDigits = HexDigits(S::Load512(in + 1), high);
            const __mmask64 lowDigits = HexDigits(S::Load512(in + 2), low);
            const uint64_t escapes = percents & highDigits & lowDigits;
            // Shifted as 16-bit lanes, so only the digit's own four bits may stay.
            const __m512i highNibbles = _mm512_slli_epi16(_mm512_and_si512(high, _mm512_set1_epi8(0x0F)), 4);
            const __m512i merged = _mm512_mask_mov_epi8(bytes, escapes, _mm512_or_si512(highNibbles, low));
            const uint64_t drop = escapes << 1 | escapes << 2 | carried;
            S::Store512(out, _mm512_maskz_compress_epi8(~drop, merged));
            out += bytescan::kChunk - __builtin_popcountll(drop);
            in += bytescan::kChunk;
            // Two digits past an escape in the last lane, one past one in the lane before.
            carried = escapes >> 62 | escapes >> 63;
        }
        in += carried == 0 ? 0 : 64 - __builtin_clzll(carried);
    }

private:
    // The most bytes whose three-byte slots fill one register.
    static constexpr unsigned kEscapeBlock = 21;

    // kEscapeBlock bytes, `reserved` flagging those to escape, as one
    // permute from two registers into three-byte slots ('%', high digit, low
    // digit; or the byte alone) and one compress of the lanes in use. Reads 32
    // bytes at `in`, writes 64 at `out`.
    GLYPHMILL_INLINE static void EscapeBlock(const unsigned char*& in, unsigned char*& out, uint64_t reserved)
    {
        // Lane 3i of each slot i, and the two digit lanes after it.
        constexpr uint64_t kFirstLanes = 0x1249249249249249u;
        constexpr uint64_t kBlockBytes = (uint64_t{1} << kEscapeBlock) - 1;
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        const __m256i digits =
            _mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f', '0', '1',
                             '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f');
        const __m256i nibble = _mm256_set1_epi8(0x0F);
        const __m256i high = _mm256_shuffle_epi8(digits, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble));
        const __m256i low = _mm256_shuffle_epi8(digits, _mm256_and_si256(bytes, nibble));
        // Sources: bytes 0-31, high digits 32-63, low digits 64-95, '%' 96-127.
        const __m512i bytesAndHigh = _mm512_maskz_inserti64x4(0xFF, _mm512_castsi256_si512(bytes), high, 1);
        const __m512i lowAndPercent =
            _mm512_maskz_inserti64x4(0xFF, _mm512_castsi256_si512(low), _mm256_set1_epi8(kPercent), 1);
        alignas(64) static constexpr unsigned char kEscapeIndex[64] = {
            96, 32, 64, 96, 33, 65, 96, 34, 66, 96, 35, 67, 96, 36, 68, 96, 37, 69, 96, 38, 70, 96,
            39, 71, 96, 40, 72, 96, 41, 73, 96, 42, 74, 96, 43, 75, 96, 44, 76, 96, 45, 77, 96, 46,
            78, 96, 47, 79, 96, 48, 80, 96, 49, 81, 96, 50, 82, 96, 51, 83, 96, 52, 84, 0};
        alignas(64) static constexpr unsigned char kByteIndex[64] = {
            0, 0,  0, 1, 0,  0, 2, 0,  0, 3, 0,  0, 4, 0,  0, 5, 0,  0, 6, 0,  0, 7, 0,  0, 8, 0,  0, 9, 0,  0, 10, 0,
            0, 11, 0, 0, 12, 0, 0, 13, 0, 0, 14, 0, 0, 15, 0, 0, 16, 0, 0, 17, 0, 0, 18, 0, 0, 19, 0, 0, 20, 0, 0,  0};
        const uint64_t plain = _pdep_u64(~reserved & kBlockBytes, kFirstLanes);
        const __m512i index =
            _mm512_mask_mov_epi8(_mm512_load_si512(kEscapeIndex), plain, _mm512_load_si512(kByteIndex));
        const __m512i slots = _mm512_permutex2var_epi8(bytesAndHigh, index, lowAndPercent);
        const uint64_t escaped = _pdep_u64(reserved & kBlockBytes, kFirstLanes);
        const uint64_t keep = kFirstLanes | escaped << 1 | escaped << 2;
        _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, slots));
        out += kEscapeBlock + 2 * static_cast<unsigned>(__builtin_popcountll(reserved & kBlockBytes));
        in += kEscapeBlock;
    }

    // The lanes of a chunk that hold a hexadecimal digit, and their values.
    GLYPHMILL_INLINE static __mmask64 HexDigits(__m512i bytes, __m512i& values)
    {
        const __m512i decimal = _mm512_sub_epi8(bytes, _mm512_set1_epi8('0'));
        const __m512i letter = _mm512_sub_epi8(_mm512_or_si512(bytes, _mm512_set1_epi8(0x20)), _mm512_set1_epi8('a'));
        const __mmask64 isDecimal = _mm512_cmple_epu8_mask(decimal, _mm512_set1_epi8(9));
        const __mmask64 isLetter = _mm512_cmple_epu8_mask(letter, _mm512_set1_epi8(5));
        values = _mm512_mask_mov_epi8(_mm512_add_epi8(letter, _mm512_set1_epi8(10)), isDecimal, decimal);
        return isDecimal | isLetter;
    }
};
#endif

#if defined(GLYPHMILL_SET_NEON)
// As Avx512 converts whole chunks, with table shuffles: eight bytes per
// shuffle and a row of shuffle_rows.h, no branch on the bytes.
template <>
struct FastPath<isa::Neon> {
    using S = isa::Neon;

    template <typename ReservedBits, typename EscapeStep>
    static void EncodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                             const unsigned char* limit, ReservedBits reservedBits, EscapeStep step)
    {
        EscapeChunksByGroups<S, FastPath>(in, end, out, limit, reservedBits, step);
    }

    static void DecodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                             const unsigned char* limit)
    {
        DecodeChunksInPlace<S, FastPath>(in, end, out, limit);
    }

    // Eight bytes, those in `mask` escaped: two table shuffles from the
    // bytes, their hex digits and '%'.
    GLYPHMILL_INLINE static unsigned char* EscapeGroup(const unsigned char* in, unsigned char* out, unsigned mask)
    {
        static constexpr unsigned char kLowerHex[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                        '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
        const uint8x16_t digits = vld1q_u8(kLowerHex);
        const uint8x8_t bytes = vld1_u8(in);
        const uint8x8_t high = vqtbl1_u8(digits, vshr_n_u8(bytes, 4));
        const uint8x8_t low = vqtbl1_u8(digits, vand_u8(bytes, vdup_n_u8(0x0F)));
        const uint8x16x2_t sources = {vcombine_u8(bytes, high), vcombine_u8(low, vdup_n_u8('%'))};
        S::Store(out, vqtbl2q_u8(sources, S::Load(isa::kEscapeRows.m_rows[mask])));
        S::Store(out + S::kBlock, vqtbl2q_u8(sources, S::Load(isa::kEscapeRows.m_rows[mask] + S::kBlock)));
        return out + isa::kEscapeRows.m_length[mask];
    }

    // The chunk at `in` into `merged` with each escape's byte in place of its
    // '%'; returns the escapes' lanes.
    GLYPHMILL_INLINE static uint64_t DecodeEscapes(const unsigned char* in, unsigned char* merged)
    {
        uint8x16_t escapeLanes[4];
        for (int block = 0; block < 4; ++block) {
            const unsigned char* const at = in + block * S::kBlock;
            uint8x16_t high;
            uint8x16_t low;
            const uint8x16_t digits = vandq_u8(HexDigits(S::Load(at + 1), high), HexDigits(S::Load(at + 2), low));
            escapeLanes[block] = vandq_u8(S::Equal<'%'>(S::Load(at)), digits);
            const uint8x16_t decoded = vorrq_u8(vshlq_n_u8(high, 4), low);
            S::Store(merged + block * S::kBlock, vbslq_u8(escapeLanes[block], decoded, S::Load(at)));
        }
        return S::Bits64(escapeLanes[0], escapeLanes[1], escapeLanes[2], escapeLanes[3]);
    }

    static unsigned char* CompactDecoded(unsigned char* out, const unsigned char* in, uint64_t drop)
    {
        return S::Compact64(out, in, drop);
    }

private:
    // The lanes holding a hex digit (either case), and in `values` each such
    // lane's value.
    static uint8x16_t HexDigits(uint8x16_t bytes, uint8x16_t& values)
    {
        const uint8x16_t decimal = vsubq_u8(bytes, vdupq_n_u8('0'));
        const uint8x16_t letter = vsubq_u8(vorrq_u8(bytes, vdupq_n_u8(0x20)), vdupq_n_u8('a'));
        const uint8x16_t isDecimal = vcleq_u8(decimal, vdupq_n_u8(9));
        const uint8x16_t isLetter = vcleq_u8(letter, vdupq_n_u8(5));
        values = vbslq_u8(isDecimal, decimal, vaddq_u8(letter, vdupq_n_u8(10)));
        return vorrq_u8(isDecimal, isLetter);
    }
};
#endif

template <typename V>
uint32_t Encode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    const auto steps = [](const unsigned char** at, unsigned char* to, uint32_t* left, uint32_t room) {
        return steploop::Encode<V, kEscapeLength>(at, to, left, room, ReservedBits<V>, EncodeStep);
    };
    const auto chunks = [](const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                           const unsigned char* limit) {
        FastPath<V>::EncodeChunks(in, end, out, limit, ReservedBits<V>, EncodeStep);
    };
    return steploop::ChunksThenSteps(cursor, output, remaining, capacity, chunks, steps);
}

template <typename V>
uint32_t Decode(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    const auto steps = [](const unsigned char** at, unsigned char* to, uint32_t* left, uint32_t room) {
        return steploop::Decode<V, kPercent>(at, to, left, room, DecodeStep);
    };
    return steploop::ChunksThenSteps(cursor, output, remaining, capacity, FastPath<V>::DecodeChunks, steps);
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace urikernels
