#include "convert/entities.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "convert/bytescan.h"
#include "convert/steploop.h"

constexpr EntityRow HtmlEntityTable[kHtmlEntityCount + 1] = {
    // ASCII
    {0x26, "&amp;"}, {0x22, "&quot;"}, {0x2F, "&frasl;"}, {0x3C, "&lt;"}, {0x3E, "&gt;"},
    // Symbols
    {0xA2, "&cent;"}, {0xA9, "&copy;"}, {0xAB, "&laquo;"}, {0xBB, "&raquo;"},
    {0xB0, "&deg;"}, {0xB1, "&plusmn;"}, {0xA3, "&pound;"}, {0xA5, "&yen;"},
    {0xA4, "&curren;"}, {0xA7, "&sect;"}, {0xB2, "&sup2;"}, {0xB5, "&micro;"},
    {0xB6, "&para;"}, {0xAA, "&ordf;"}, {0xBA, "&ordm;"}, {0xBD, "&frac12;"},
    {0xBC, "&frac14;"}, {0xBF, "&iquest;"}, {0xA1, "&iexcl;"},
    // Letters, in order of code
    {0xC0, "&Agrave;"}, {0xC1, "&Aacute;"}, {0xC2, "&Acirc;"}, {0xC3, "&Atilde;"},
    {0xC4, "&Auml;"}, {0xC5, "&Aring;"}, {0xC6, "&AElig;"}, {0xC7, "&Ccedil;"},
    {0xC8, "&Egrave;"}, {0xC9, "&Eacute;"}, {0xCA, "&Ecirc;"}, {0xCB, "&Euml;"},
    {0xCC, "&Igrave;"}, {0xCD, "&Iacute;"}, {0xCE, "&Icirc;"}, {0xCF, "&Iuml;"},
    {0xD0, "&ETH;"}, {0xD1, "&Ntilde;"}, {0xD2, "&Ograve;"}, {0xD3, "&Oacute;"},
    {0xD4, "&Ocirc;"}, {0xD5, "&Otilde;"}, {0xD6, "&Ouml;"}, {0xD7, "&times;"},
    {0xD8, "&Oslash;"}, {0xD9, "&Ugrave;"}, {0xDA, "&Uacute;"}, {0xDB, "&Ucirc;"},
    {0xDC, "&Uuml;"}, {0xDD, "&Yacute;"}, {0xDE, "&THORN;"}, {0xDF, "&szlig;"},
    {0xE0, "&agrave;"}, {0xE1, "&aacute;"}, {0xE2, "&acirc;"}, {0xE3, "&atilde;"},
    {0xE4, "&auml;"}, {0xE5, "&aring;"}, {0xE6, "&aelig;"}, {0xE7, "&ccedil;"},
    {0xE8, "&egrave;"}, {0xE9, "&eacute;"}, {0xEA, "&ecirc;"}, {0xEB, "&euml;"},
    {0xEC, "&igrave;"}, {0xED, "&iacute;"}, {0xEE, "&icirc;"}, {0xEF, "&iuml;"},
    {0xF0, "&eth;"}, {0xF1, "&ntilde;"}, {0xF2, "&ograve;"}, {0xF3, "&oacute;"},
    {0xF4, "&ocirc;"}, {0xF5, "&otilde;"}, {0xF6, "&ouml;"}, {0xF7, "&divide;"},
    {0xF8, "&oslash;"}, {0xF9, "&ugrave;"}, {0xFA, "&uacute;"}, {0xFB, "&ucirc;"},
    {0xFC, "&uuml;"}, {0xFD, "&yacute;"}, {0xFE, "&thorn;"}, {0xFF, "&yuml;"},
    {0, nullptr},
};

constexpr EntityRow XmlEntityTable[kXmlEntityCount + 1] = {
    {0x26, "&amp;"}, {0x3C, "&lt;"}, {0x3E, "&gt;"}, {0x22, "&quot;"}, {0x27, "&apos;"},
    {0, nullptr},
};

namespace {

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
    // Decoding eight bytes at a time: every entity text as a little-endian
    // number, and a perfect hash table of row numbers (kNoRow: free).
    uint64_t m_key[kMaxRows] = {};
    unsigned char m_slotRow[kHashSlots] = {};
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
        index.m_longest = std::max<size_t>(index.m_longest, index.m_length[row]);
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
    for (size_t slot = 0; slot < kHashSlots; ++slot) {
        index.m_slotRow[slot] = kNoRow;
    }
    for (size_t row = 0; row + 1 < N; ++row) {
        // The text as a little-endian number, first byte lowest: what
        // bytescan::LoadLittleEndian64 gives DecodeWordStep on every host.
        for (size_t i = 0; i < index.m_length[row]; ++i) {
            index.m_key[row] |= uint64_t{static_cast<unsigned char>(index.m_text[row][i])} << (8 * i);
        }
        const size_t slot = HashSlot(index.m_key[row]);
        index.m_hashIsPerfect = index.m_hashIsPerfect && index.m_slotRow[slot] == kNoRow;
        index.m_slotRow[slot] = static_cast<unsigned char>(row);
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

constexpr EntityIndex kHtmlIndex = BuildIndex(HtmlEntityTable);
constexpr EntityIndex kXmlIndex = BuildIndex(XmlEntityTable);
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
    const size_t window = std::min(static_cast<size_t>(end - at), kIndex.m_longest);
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

// A decoding step for a '&' with at least eight bytes from it on: the first
// ';' found in a word fixes the length, and the text up to it is one hash
// key. The length comes from the ';' rather than from the row found, so that
// the next step need not wait for the table lookups when, as usual, the text
// is an entity. The word is loaded little-endian on every host (the first
// byte lowest), so the first ';' is the lowest flagged byte and the key has
// the byte order of the table's keys.
template <const EntityIndex& kIndex>
GLYPHMILL_INLINE void DecodeWordStep(const unsigned char*& in, unsigned char*& out)
{
    constexpr uint64_t kOnes = 0x0101010101010101u;
    const uint64_t word = bytescan::LoadLittleEndian64(in);
    const uint64_t semicolons = word ^ (kOnes * kSemicolon);
    // The lowest flagged byte is the first ';' (a borrow only flags bytes above it).
    const uint64_t found = (semicolons - kOnes) & ~semicolons & (kOnes << 7);
    if (__builtin_expect(found != 0, 1)) {
        const unsigned bits = static_cast<unsigned>(__builtin_ctzll(found)) + 1;
        const uint64_t key = bits == 64 ? word : word & ((uint64_t{1} << bits) - 1);
        const unsigned char row = kIndex.m_slotRow[HashSlot(key)];
        if (__builtin_expect(row != kNoRow && kIndex.m_key[row] == key, 1)) {
            *out++ = kIndex.m_code[row];
            in += bits / 8;
            return;
        }
    }
    *out++ = kAmpersand;
    ++in;
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

#if defined(GLYPHMILL_SSE2)
// Bits of the bytes that may have a row: the ASCII codes of the table, and
// every byte from 0x80 up when the table has such codes (the step decides).
template <const EntityIndex& kIndex, size_t... kAscii>
unsigned Candidates(__m128i block, std::index_sequence<kAscii...>)
{
    __m128i lanes = kIndex.m_hasHighCodes ? block : _mm_setzero_si128();
    ((lanes = _mm_or_si128(lanes, bytescan::Equal<kIndex.m_asciiCodes[kAscii]>(block))), ...);
    return static_cast<unsigned>(_mm_movemask_epi8(lanes));
}
#endif

// One bit per byte of a chunk that may need a step when encoding.
template <const EntityIndex& kIndex>
GLYPHMILL_INLINE uint64_t CandidateBits(const unsigned char* chunk)
{
#if defined(GLYPHMILL_SSE2)
    constexpr auto kAsciiCodes = std::make_index_sequence<kIndex.m_asciiCount>();
    uint64_t bits = 0;
    for (ptrdiff_t block = 0; block < bytescan::kChunk; block += bytescan::kBlock) {
        bits |= uint64_t{Candidates<kIndex>(bytescan::Load(chunk + block), kAsciiCodes)} << block;
    }
    return bits;
#else
    return bytescan::ChunkBitsWhere(chunk, [](unsigned char byte) { return kIndex.m_encodedLength[byte] != 1; });
#endif
}

template <const EntityIndex& kIndex>
void EncodeStep(const unsigned char*& in, unsigned char*& out)
{
    const unsigned char byte = *in++;
    std::memcpy(out, kIndex.m_encoded[byte], kMaxEntityLength);
    out += kIndex.m_encodedLength[byte];
}

template <const EntityIndex& kIndex>
uint32_t EncodeEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                        uint32_t capacity)
{
    return steploop::Encode<kMaxEntityLength>(cursor, output, remaining, capacity, CandidateBits<kIndex>,
                                              EncodeStep<kIndex>);
}

template <const EntityIndex& kIndex>
uint32_t DecodeEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                        uint32_t capacity)
{
    return steploop::Decode<kAmpersand>(cursor, output, remaining, capacity, DecodeStep<kIndex>);
}

}  // namespace

uint32_t EncodeHtmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                            uint32_t capacity)
{
    return EncodeEntities<kHtmlIndex>(cursor, output, remaining, capacity);
}

uint32_t DecodeHtmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                            uint32_t capacity)
{
    return DecodeEntities<kHtmlIndex>(cursor, output, remaining, capacity);
}

uint32_t EncodeXmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                           uint32_t capacity)
{
    return EncodeEntities<kXmlIndex>(cursor, output, remaining, capacity);
}

uint32_t DecodeXmlEntities(const unsigned char** cursor, unsigned char* output, uint32_t* remaining,
                           uint32_t capacity)
{
    return DecodeEntities<kXmlIndex>(cursor, output, remaining, capacity);
}

uint32_t EntityDecodeHoldback(const unsigned char* piece, uint32_t length)
{
    // A '&' further back than this starts a text that ends inside the piece.
    const size_t reach = std::max(kHtmlIndex.m_longest, kXmlIndex.m_longest) - 1;
    return steploop::Holdback(piece, length, kAmpersand, static_cast<uint32_t>(reach));
}
