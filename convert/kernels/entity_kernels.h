#pragma once

// The entity converters as templates over the instruction set (isa.h): the
// index every converter derives from its table at compile time, the steps,
// and the chunk scans. Internal to the converters library.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "convert/bytescan.h"
#include "convert/kernels/entity_tables.h"
#include "convert/kernels/isa.h"
#include "convert/kernels/steploop.h"

namespace entitykernels {
inline namespace GLYPHMILL_ISA_NS {

constexpr size_t kMaxEntityLength = 8;
constexpr size_t kMaxRows = 128;
constexpr size_t kMaxAsciiCodes = 8;
constexpr unsigned char kNoRow = 0xFF;
constexpr size_t kHashBits = 9;
constexpr size_t kHashSlots = size_t{1} << kHashBits;
// Chosen so that no two texts of either table share a slot (checked below):
// a lookup is one slot and one compare.
constexpr uint64_t kHashFactor = 0x0103376F6F18285Bu;
constexpr unsigned char kAmpersand = '&';
constexpr unsigned char kSemicolon = ';';

// Everything the converters need to know about a table, derived from it at
// compile time so that the table stays the one source of truth.
struct EntityIndex {
    // Encoding: what each byte becomes (its entity text, or the byte itself
    // when it has no row), padded with NULs so that a step is one fixed-size
    // copy.
    char m_encoded[256][kMaxEntityLength] = {};
    unsigned char m_encodedLength[256] = {};
    unsigned char m_encodedExtra[256] = {};  // m_encodedLength less one
    unsigned char m_isCandidate[256] = {};   // 1 for the bytes that have a row
    // The codes below 0x80 that have a row, and whether any code from 0x80 up
    // has one: what the block scan compares against.
    unsigned char m_asciiCodes[kMaxAsciiCodes] = {};
    size_t m_asciiCount = 0;
    bool m_hasHighCodes = false;
    // Decoding: the rows, and their numbers grouped by the first byte of the
    // name, each group in table order; group b is
    // [m_groupStart[b], m_groupStart[b + 1]).
    char m_text[kMaxRows][kMaxEntityLength] = {};
    unsigned char m_length[kMaxRows] = {};
    unsigned char m_code[kMaxRows] = {};
    unsigned char m_groupStart[257] = {};
    unsigned char m_groupRows[kMaxRows] = {};
    size_t m_longest = 0;
    // Decoding eight bytes at a time: a perfect hash table of the entity
    // texts as little-endian numbers (0: free, as no text is) and their codes,
    // so that a lookup is two independent loads from the slot.
    uint64_t m_slotKey[kHashSlots] = {};
    unsigned char m_slotCode[kHashSlots] = {};
    bool m_hashIsPerfect = true;
};

constexpr size_t TextLength(const char* text)
{
    size_t length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    return length;
}

// The converters rely on this shape: an entity text holds '&' only at its
// start and ';' only at its end, so no text is a prefix of another, and no
// text straddles a '&'.
constexpr bool IsWellFormed(const EntityRow& row)
{
    const size_t length = TextLength(row.m_text);
    if (row.m_code == 0 || length < 3 || length > kMaxEntityLength || row.m_text[0] != kAmpersand ||
        row.m_text[length - 1] != kSemicolon) {
        return false;
    }
    for (size_t i = 1; i + 1 < length; ++i) {
        if (row.m_text[i] == kAmpersand || row.m_text[i] == kSemicolon) {
            return false;
        }
    }
    return true;
}

template <size_t N>
constexpr bool IsWellFormed(const EntityRow (&table)[N])
{
    if (N - 1 > kMaxRows || table[N - 1].m_code != 0 || table[N - 1].m_text != nullptr) {
        return false;
    }
    for (size_t row = 0; row + 1 < N; ++row) {
        if (!IsWellFormed(table[row])) {
            return false;
        }
    }
    return true;
}

template <size_t N>
constexpr void AddRows(const EntityRow (&table)[N], EntityIndex& index)
{
    for (size_t row = 0; row + 1 < N; ++row) {
        index.m_code[row] = table[row].m_code;
        index.m_length[row] = static_cast<unsigned char>(TextLength(table[row].m_text));
        index.m_longest = bytescan::Max<size_t>(index.m_longest, index.m_length[row]);
        for (size_t i = 0; i < index.m_length[row]; ++i) {
            index.m_text[row][i] = table[row].m_text[i];
        }
    }
}

constexpr void AddCode(unsigned code, EntityIndex& index)
{
    if (code >= 0x80) {
        index.m_hasHighCodes = true;
    } else if (index.m_asciiCount < kMaxAsciiCodes) {
        index.m_asciiCodes[index.m_asciiCount++] = static_cast<unsigned char>(code);
    } else {
        index.m_asciiCount = kMaxAsciiCodes + 1;  // refused by a static_assert
    }
}

template <size_t N>
constexpr void AddEncoding(EntityIndex& index)
{
    for (unsigned byte = 0; byte < 256; ++byte) {
        size_t row = 0;
        while (row + 1 < N && index.m_code[row] != byte) {
            ++row;
        }
        if (row + 1 == N) {
            index.m_encoded[byte][0] = static_cast<char>(byte);
            index.m_encodedLength[byte] = 1;
            continue;
        }
        for (size_t i = 0; i < kMaxEntityLength; ++i) {
            index.m_encoded[byte][i] = index.m_text[row][i];
        }
        index.m_encodedLength[byte] = index.m_length[row];
        index.m_encodedExtra[byte] = static_cast<unsigned char>(index.m_length[row] - 1);
        index.m_isCandidate[byte] = 1;
        AddCode(byte, index);
    }
}

template <size_t N>
constexpr void AddDecoding(EntityIndex& index)
{
    unsigned char counts[256] = {};
    for (size_t row = 0; row + 1 < N; ++row) {
        ++counts[static_cast<unsigned char>(index.m_text[row][1])];
    }
    for (size_t byte = 0; byte < 256; ++byte) {
        index.m_groupStart[byte + 1] = static_cast<unsigned char>(index.m_groupStart[byte] + counts[byte]);
    }
    unsigned char filled[256] = {};
    for (size_t row = 0; row + 1 < N; ++row) {
        const unsigned char first = static_cast<unsigned char>(index.m_text[row][1]);
        index.m_groupRows[index.m_groupStart[first] + filled[first]++] = static_cast<unsigned char>(row);
    }
}

constexpr size_t HashSlot(uint64_t key)
{
    return static_cast<size_t>((key * kHashFactor) >> (64 - kHashBits));
}

template <size_t N>
constexpr void AddHash(EntityIndex& index)
{
    for (size_t row = 0; row + 1 < N; ++row) {
        // The text as a little-endian number, first byte lowest: what
        // bytescan::LoadLittleEndian64 gives the decoder on every host.
        uint64_t key = 0;
        for (size_t i = 0; i < index.m_length[row]; ++i) {
            key |= uint64_t{static_cast<unsigned char>(index.m_text[row][i])} << (8 * i);
        }
        const size_t slot = HashSlot(key);
        index.m_hashIsPerfect = index.m_hashIsPerfect && index.m_slotKey[slot] == 0;
        index.m_slotKey[slot] = key;
        index.m_slotCode[slot] = index.m_code[row];
    }
}

template <size_t N>
constexpr EntityIndex BuildIndex(const EntityRow (&table)[N])
{
    EntityIndex index;
    AddRows(table, index);
    AddEncoding<N>(index);
    AddDecoding<N>(index);
    AddHash<N>(index);
    return index;
}

static_assert(IsWellFormed(HtmlEntityTable) && IsWellFormed(XmlEntityTable),
              "every entity text is '&', a name and ';', at most 8 bytes");

inline constexpr EntityIndex kHtmlIndex = BuildIndex(HtmlEntityTable);
inline constexpr EntityIndex kXmlIndex = BuildIndex(XmlEntityTable);
static_assert(kHtmlIndex.m_hashIsPerfect && kXmlIndex.m_hashIsPerfect,
              "two entity texts share a hash slot: choose another kHashFactor");
static_assert(kHtmlIndex.m_asciiCount <= kMaxAsciiCodes && kXmlIndex.m_asciiCount <= kMaxAsciiCodes,
              "the block scan compares against at most kMaxAsciiCodes bytes");

// The row whose entity text stands at `at`, or kNoRow. The first ';' after
// the '&' fixes the one length that can match, and the first name byte picks
// the few rows worth comparing.
template <const EntityIndex& kIndex>
unsigned char MatchEntity(const unsigned char* at, const unsigned char* end)
{
    const size_t window = bytescan::Min(static_cast<size_t>(end - at), kIndex.m_longest);
    size_t semicolon = 1;
    while (semicolon < window && at[semicolon] != kSemicolon) {
        ++semicolon;
    }
    if (semicolon == window) {
        return kNoRow;
    }
    const size_t length = semicolon + 1;
    const unsigned char first = at[1];
    for (size_t i = kIndex.m_groupStart[first]; i < kIndex.m_groupStart[first + 1]; ++i) {
        const unsigned char row = kIndex.m_groupRows[i];
        if (kIndex.m_length[row] == length && std::memcmp(at, kIndex.m_text[row], length) == 0) {
            return row;
        }
    }
    return kNoRow;
}

// A decoding step for a '&' with at least eight bytes from it on, without a
// branch on the bytes: the first ';' found in the word fixes the length, and
// the text up to it is one hash key. Without a ';' the key is the whole word,
// which matches no text, so that case needs no test of its own. The length
// comes from the ';' rather than from the slot, so that the next step need not
// wait for the table lookups when, as usual, the text is an entity.
template <const EntityIndex& kIndex>
GLYPHMILL_INLINE void DecodeWordStep(const unsigned char*& in, unsigned char*& out)
{
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kTops = kOnes << 7;
    // The first byte lowest on every host: the keys are built that way.
    const uint64_t word = bytescan::LoadLittleEndian64(in);
    const uint64_t semicolons = word ^ (kOnes * kSemicolon);
    // The lowest flagged byte is the first ';' (a borrow only flags bytes above it).
    const uint64_t found = (semicolons - kOnes) & ~semicolons & kTops;
    // The bits up to the first ';', all of them when there is none.
    const uint64_t text = found ^ (found - 1);
    const uint64_t key = word & text;
    const size_t slot = HashSlot(key);
    const bool isEntity = kIndex.m_slotKey[slot] == key;
    const unsigned length = static_cast<unsigned>(bytescan::LowestBit64(found | uint64_t{1} << 63)) / 8 + 1;
    *out++ = isEntity ? kIndex.m_slotCode[slot] : kAmpersand;
    in += isEntity ? length : 1;
}

template <const EntityIndex& kIndex>
GLYPHMILL_INLINE void DecodeStep(const unsigned char*& in, const unsigned char* end, unsigned char*& out)
{
    if (end - in >= static_cast<ptrdiff_t>(sizeof(uint64_t))) {
        DecodeWordStep<kIndex>(in, out);
        return;
    }
    const unsigned char row = MatchEntity<kIndex>(in, end);
    *out++ = row != kNoRow ? kIndex.m_code[row] : kAmpersand;
    in += row != kNoRow ? kIndex.m_length[row] : 1;
}

// Bits of the bytes of a chunk that may have a row: the ASCII codes of the
// table, and every byte from 0x80 up when the table has such codes (the step
// decides).
template <typename V, const EntityIndex& kIndex, size_t... kAscii>
GLYPHMILL_INLINE uint64_t Candidates(const unsigned char* chunk, std::index_sequence<kAscii...>)
{
    uint64_t bits = kIndex.m_hasHighCodes ? V::High64(chunk) : 0;
    ((bits |= V::template Equal64<kIndex.m_asciiCodes[kAscii]>(chunk)), ...);
    return bits;
}

template <typename V, const EntityIndex& kIndex>
GLYPHMILL_INLINE uint64_t CandidateBits(const unsigned char* chunk)
{
    if constexpr (V::kHasWideCompare && !V::kHasTableLookup) {
        return Candidates<V, kIndex>(chunk, std::make_index_sequence<kIndex.m_asciiCount>());
    } else {
        // Without vectors one lookup per byte beats a test per code; a set
        // that looks a whole chunk up flags only the bytes with a text, not
        // every byte from 0x80 up.
        return V::Lookup64(chunk, kIndex.m_isCandidate);
    }
}

// A step copies kMaxEntityLength bytes whatever the text's length; every text
// fits in that (IsWellFormed above).
static_assert(kMaxEntityLength <= CONVERT_HEADROOM, "an encoding step must fit in the output headroom");

template <const EntityIndex& kIndex>
void EncodeStep(const unsigned char*& in, unsigned char*& out)
{
    const unsigned char byte = *in++;
    std::memcpy(out, kIndex.m_encoded[byte], kMaxEntityLength);
    out += kIndex.m_encodedLength[byte];
}

// -x's fast path per set: FastPath<V>::EncodeChunks(in, end, out, limit,
// extra, texts) converts whole chunks from the front while the output has
// room, and leaves the rest to the steps (`extra`: each byte's text length
// less one; `texts`: the texts padded to 8 bytes). None by default; a set
// that does better has its specialisation below, compiled where the set is.
template <typename V>
struct FastPath {
    static void EncodeChunks(const unsigned char*&, const unsigned char*, unsigned char*&, const unsigned char*,
                             const unsigned char*, const char (*)[8])
    {
    }
};

#if defined(GLYPHMILL_SET_AVX512)
template <>
struct FastPath<isa::Avx512> {
    // Whole chunks while the output has room for a text (8 bytes) at every
    // byte and one more run copy, as the steps' own loop. The extra length of
    // every byte's text (its length less one, at least 2; 0 for a byte without
    // one) is looked up for the whole chunk at once by two permutes, which
    // also find the bytes to encode; where each run and each text goes is the
    // chunk's start plus the extra lengths of the texts before it. `extra` has
    // 256 entries, `encoded` the texts padded to 8 bytes. Faster than the
    // steps on XML text, slower on Latin-1 text, where most chunks have
    // several texts, so -h keeps the steps (docs/BENCHMARKS.md).
    static void EncodeChunks(const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                             const unsigned char* limit, const unsigned char* extra, const char (*encoded)[8])
    {
        const __m512i low0 = _mm512_loadu_si512(extra);
        const __m512i low1 = _mm512_loadu_si512(extra + 64);
        const __m512i high0 = _mm512_loadu_si512(extra + 128);
        const __m512i high1 = _mm512_loadu_si512(extra + 192);
        while (end - in >= 2 * bytescan::kChunk && limit - out >= bytescan::kChunk * (8 + 2)) {
            const __m512i bytes = isa::Avx512::Load512(in);
            const __m512i lows = _mm512_permutex2var_epi8(low0, bytes, low1);
            const __m512i highs = _mm512_permutex2var_epi8(high0, bytes, high1);
            const __m512i extras = _mm512_mask_mov_epi8(lows, _mm512_movepi8_mask(bytes), highs);
            const uint64_t special = _mm512_test_epi8_mask(extras, extras);
            if (special == 0) {
                isa::Avx512::Store512(out, bytes);
                in += bytescan::kChunk;
                out += bytescan::kChunk;
                continue;
            }
            unsigned from = 0;   // the first byte of the chunk not yet written
            unsigned shift = 0;  // the extra bytes written for the chunk so far
            for (uint64_t left = special; left != 0; left &= left - 1) {
                const unsigned at = static_cast<unsigned>(bytescan::LowestBit64(left));
                const unsigned char byte = in[at];
                isa::Avx512::CopyRun(out + from + shift, in + from, at - from);
                std::memcpy(out + at + shift, encoded[byte], 8);
                // A running sum: one load and one add a text.
                shift += extra[byte];
                from = at + 1;
            }
            isa::Avx512::CopyRun(out + from + shift, in + from, bytescan::kChunk - from);
            in += bytescan::kChunk;
            out += bytescan::kChunk + shift;
        }
    }
};
#endif

template <typename V, const EntityIndex& kIndex>
uint32_t EncodeEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    const auto steps = [](const unsigned char** at, unsigned char* to, uint32_t* left, uint32_t room) {
        return steploop::Encode<V, kMaxEntityLength>(at, to, left, room, CandidateBits<V, kIndex>, EncodeStep<kIndex>);
    };
    // The set's chunk path pays only where few bytes have a text: not with
    // the Latin-1 letters of HTML (see FastPath<isa::Avx512>).
    if constexpr (kIndex.m_hasHighCodes) {
        return steps(cursor, output, remaining, capacity);
    } else {
        const auto chunks = [](const unsigned char*& in, const unsigned char* end, unsigned char*& out,
                               const unsigned char* limit) {
            FastPath<V>::EncodeChunks(in, end, out, limit, kIndex.m_encodedExtra, kIndex.m_encoded);
        };
        return steploop::ChunksThenSteps(cursor, output, remaining, capacity, chunks, steps);
    }
}

// Decoding stays step by step at every level: each step is a hash lookup
// whose result only the output waits for, and a compressing form measured
// slower on AVX-512 (see docs/BENCHMARKS.md).
template <typename V, const EntityIndex& kIndex>
uint32_t DecodeEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining, uint32_t capacity)
{
    return steploop::Decode<V, kAmpersand>(cursor, output, remaining, capacity, DecodeStep<kIndex>);
}

}  // namespace GLYPHMILL_ISA_NS
}  // namespace entitykernels
